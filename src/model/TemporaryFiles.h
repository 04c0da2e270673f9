#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

class QFile;

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

// The folder of its own that a capture's drag copy lies in, in the captures folder: the copy
// keeps the capture's file name, which is all a drop target learns of the file's name.
QString dragFolder(const QString &capturesFolder, const QString &fileName);

// Makes the drag folder at path (0700), replacing whatever else stands there under its name;
// false, with *error, when it cannot be had.
bool claimDragFolder(const QString &path, QString *error = nullptr);

// Copies source to target through a temporary file in target's folder, so
// that target never holds a partial copy. With replace an existing target is
// replaced; without, the copy fails when target exists.
bool copyIntoPlace(const QString &source, const QString &target, bool replace,
                   QString *error = nullptr);
// The same from a file already open for reading, read from where it stands.
bool copyIntoPlace(QFile &input, const QString &target, bool replace, QString *error = nullptr);

// Deletes whichever of the files exist, cleanupDelay() after the call, off the
// main thread; returns at once. A folder among them goes too once the files in it have. Needs the
// application's event loop; a deletion still pending when the program ends happens in
// deletePendingNow().
void scheduleDeletion(const QStringList &paths);

// Keeps the files while the program runs and deletes them in deletePendingNow().
void deleteAtQuit(const QStringList &paths);

// Deletes, before returning, every file whose deletion is still pending. For
// the end of the program.
void deletePendingNow();

// The moment files written from now on are stamped with, on the clock the file
// system stamps them by.
using FileTime = std::chrono::system_clock::time_point;
FileTime fileClockNow();

// Whether fileName (without folder) is one of the recordings the program writes
// in the temporary directory: "Recording-<UUID>.<mp4|mov|gif>", the ".part" of a
// GIF being made, or an interrupted write of either.
bool isRecordingFileName(const QString &fileName);

// Removes what earlier runs left in the captures folders of the temporary
// directory: files of interrupted writes (platform::TemporaryName) and empty
// private folders "CorvantaCaptures-XXXXXX". Only entries of this user's in
// folders private to this user (with the drag folders in them), and only those unchanged for
// minimumAge, so that a write going on in another instance, and the folder it uses, are left
// alone. Never a finished capture's file.
//
// With aloneSince, given when no other instance of the program runs for this
// user (see SingleInstance), every file of ours changed before that moment is
// an earlier run's, which ended without cleaning up: then every file in those
// folders, the recordings in the temporary directory (isRecordingFileName) and
// every empty private folder but the one in use go too, whatever their age.
// What this run writes from aloneSince on stays. Answers how many entries went.
int removeLeftovers(std::chrono::seconds minimumAge = leftoverAge,
                    std::optional<FileTime> aloneSince = std::nullopt);
// Keeps a file that another program may still read (a recording our clipboard offers) through
// its scheduled deletion: a deletion that comes due while the file is held happens when the last
// hold is released. Main thread.
void holdFile(const QString &path);
void releaseFile(const QString &path);

// 180 s unless changed; tests shorten it.
std::chrono::milliseconds cleanupDelay();
void setCleanupDelay(std::chrono::milliseconds delay);

} // namespace TemporaryFiles
