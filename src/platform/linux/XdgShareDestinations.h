#pragma once

#include "platform/ShareDestinations.h"

#include <QStringList>
#include <optional>

namespace platform {

// The desktop's applications for a file type, by freedesktop.org's desktop entry and MIME
// association rules: the .desktop files under $XDG_DATA_HOME and $XDG_DATA_DIRS ("applications")
// with a matching MimeType=, ordered and filtered by the mimeapps.list files of $XDG_CONFIG_HOME,
// $XDG_CONFIG_DIRS and the data folders (the default application first, then the added
// associations, then the rest by name; removed associations left out). A new e-mail with the
// file attached comes last when xdg-email is installed. Applications are started directly,
// never through a shell. The folders are read afresh on every call.
class XdgShareDestinations final : public ShareDestinations {
public:
    // The id of the e-mail destination.
    static constexpr const char *emailId = "xdg-email";

    QList<ShareDestination> destinationsFor(const QString &mimeType) override;
    bool open(const ShareDestination &destination, const QString &filePath) override;

    // What the desktop entry's Exec= line runs for a file: the program and its arguments,
    // after the desktop entry quoting rules and with the field codes expanded (%f %F the
    // path, %u %U its file URL, %i the icon, %c the name, %k the entry's file, %% a percent
    // sign; the deprecated codes dropped). The file is added at the end when the line names it
    // nowhere. Nothing when the line is malformed or empty.
    static std::optional<QStringList> expandExec(const QString &exec, const QString &filePath,
                                                 const QString &name = {},
                                                 const QString &iconName = {},
                                                 const QString &entryPath = {});
};

} // namespace platform
