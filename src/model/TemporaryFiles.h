#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

// The program's temporary capture files: where they live, how they are put in
// place, and their deferred deletion.
namespace TemporaryFiles {

// The captures folder of this process (private to the user, see
// platform::CaptureFolder). When a private folder had to be made in place
// of the shared one, that is logged once at warning level. Absent when no
// folder can be had; then *error (when given) says why.
std::optional<QString> capturesFolder(QString *error = nullptr);

// Copies source to target through a temporary file in target's folder, so
// that target never holds a partial copy. With replace an existing target is
// replaced; without, the copy fails when target exists.
bool copyIntoPlace(const QString &source, const QString &target, bool replace,
                   QString *error = nullptr);

// Deletes whichever of the files exist, cleanupDelay() after the call, off the
// main thread; returns at once. Needs the application's event loop; a
// deletion still pending when the program ends does not happen.
void scheduleDeletion(const QStringList &paths);

// Keeps a file that another program may still read (a recording our clipboard offers) through
// its scheduled deletion: a deletion that comes due while the file is held happens when the last
// hold is released. Main thread.
void holdFile(const QString &path);
void releaseFile(const QString &path);

// 180 s unless changed; tests shorten it.
std::chrono::milliseconds cleanupDelay();
void setCleanupDelay(std::chrono::milliseconds delay);

} // namespace TemporaryFiles
