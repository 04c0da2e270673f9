#pragma once

#include <QString>

namespace platform {

// Creates `path` as a new file that only the user can read or write (0600), open for writing.
// Fails, with the reason in `error` when given, when anything is already there, a symbolic link
// included, so that nobody can have prepared the file or a link in its place. The descriptor,
// or -1; the caller closes it.
int createPrivateFile(const QString &path, QString *error = nullptr);

} // namespace platform
