#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace platform {

// A program's path as one argument of a desktop entry's Exec value: in double quotes (with ", `,
// $ and \ escaped inside them) where it holds a character the Exec syntax reserves, "%" doubled
// so that it is no field code, then the escapes every string value of an entry gets.
QString desktopEntryExecArgument(const QString &program);

// Writes a desktop entry, making its folder first. The text goes to a temporary file beside the
// entry that is then renamed over it, so that nobody ever reads half an entry. The reason when it
// fails: "Could not create <folder>: ..." or "Could not write <path>: ...".
std::optional<QString> writeDesktopEntry(const QString &path, const QByteArray &content);

} // namespace platform
