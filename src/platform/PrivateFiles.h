#pragma once

#include <QString>

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

} // namespace platform
