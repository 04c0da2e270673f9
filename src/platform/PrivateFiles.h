#pragma once

#include <QString>
#include <optional>

class QFile;

namespace platform {

// Creates `path` as a new file that only the user can read or write (0600), open for writing.
// Fails, with the reason in `error` when given, when anything is already there, a symbolic link
// included, so that nobody can have prepared the file or a link in its place. The descriptor,
// or -1; the caller closes it.
int createPrivateFile(const QString &path, QString *error = nullptr);

// Opens `path` for reading into `file` only when it is a regular file; a named pipe, a device or
// a folder put in its place is refused without waiting for anything, so a reader never blocks
// until somebody writes the pipe. False, with the reason in `error` when given, otherwise.
bool openRegularFile(QFile &file, const QString &path, QString *error = nullptr);

// Tells one state of a regular file from another: a file replaced, rewritten or touched is
// another version, even at the same size.
struct FileVersion {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    bool operator==(const FileVersion &) const = default;
    // The same file with the same contents, though another name may have been linked to it.
    bool sameContents(const FileVersion &other) const;
    // Nothing when no regular file is at the path, or behind the open descriptor.
    static std::optional<FileVersion> of(const QString &path);
    static std::optional<FileVersion> ofOpen(int fd);
};

} // namespace platform
