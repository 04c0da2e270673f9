#pragma once

#include <QString>
#include <optional>

namespace platform {

// Folders in the temporary directory that only this user can reach. The temporary directory
// is shared with every user, so a folder found there under the expected name is used only
// when it is a real directory of this user's that nobody else can write to; otherwise a fresh
// private folder "<name>-XXXXXX" is made beside it.
class PrivateFolder {
public:
    struct Result {
        std::optional<QString> path; // absent when no folder can be had
        QString notice;              // set when a fresh folder had to be made instead: why
        QString error;               // set when path is absent: why
    };

    // "<temporary directory>/<name>", created 0700 when missing and made 0700 when found
    // private, else a fresh folder beside it (see above).
    static Result claim(const QString &name);

    // The folder at path (absolute, its parent existing), created 0700 when missing and made
    // 0700 when found private; absent, with the reason in `error`, when it is not private (see
    // refusal()). Never another folder: for a place every start must find again.
    static Result claimExactly(const QString &path);

    // Why the folder at path must not hold private files, or an empty string when it is this
    // user's alone: a symbolic link, not a directory, another user's, or writable by group or
    // others. Looks at the entry itself, never through a link.
    static QString refusal(const QString &path);

    // Whether fileName is one claim(name) gives a fresh folder: name, "-" and six letters or
    // digits.
    static bool isFreshFolderName(const QString &fileName, const QString &name);
};

} // namespace platform
