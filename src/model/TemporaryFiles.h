#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

// The program's temporary capture files: where they live, how they are put in
// place, and their deferred deletion.
namespace TemporaryFiles {

// How long an interrupted write stays untouched before a later start removes it.
constexpr std::chrono::seconds leftoverAge = std::chrono::hours(1);

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
// deletion still pending when the program ends happens in deletePendingNow().
void scheduleDeletion(const QStringList &paths);

// Keeps the files while the program runs and deletes them in deletePendingNow().
void deleteAtQuit(const QStringList &paths);

// Deletes, before returning, every file whose deletion is still pending. For
// the end of the program.
void deletePendingNow();

// Removes what earlier runs left in the captures folders of the temporary
// directory: files of interrupted writes (platform::TemporaryName) and empty
// private folders "CorvantaCaptures-XXXXXX". Only entries of this user's in
// folders private to this user, and only those unchanged for minimumAge, so
// that a write going on in another instance, and the folder it uses, are left
// alone. Never a finished capture's file. Answers how many entries went.
int removeLeftovers(std::chrono::seconds minimumAge = leftoverAge);
// Keeps a file that another program may still read (a recording our clipboard offers) through
// its scheduled deletion: a deletion that comes due while the file is held happens when the last
// hold is released. Main thread.
void holdFile(const QString &path);
void releaseFile(const QString &path);

// 180 s unless changed; tests shorten it.
std::chrono::milliseconds cleanupDelay();
void setCleanupDelay(std::chrono::milliseconds delay);

} // namespace TemporaryFiles
