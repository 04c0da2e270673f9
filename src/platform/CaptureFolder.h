#pragma once

#include "platform/PrivateFolder.h"

#include <QString>
#include <optional>

namespace platform {

// The folder that holds the program's temporary capture files: "CorvantaCaptures"
// in the temporary directory ($TMPDIR or /tmp), private to the user (0700).
// A folder of that name that is a symbolic link, not a directory, owned by
// someone else or writable by group or others is never used: a private
// folder "CorvantaCaptures-XXXXXX" is made beside it instead.
//
// Resolved once per process and cached; the cached folder is checked again on
// every use and resolved anew if it has been removed or tampered with.
class CaptureFolder {
public:
    using Result = PrivateFolder::Result;

    static constexpr QLatin1String name{"CorvantaCaptures"};

    static Result get();

    // The folder the last get() settled on, without looking at the disk.
    static std::optional<QString> current();

    // Forgets the cached folder, so that the next get() looks at the current
    // temporary directory again (tests change TMPDIR).
    static void reset();
};

} // namespace platform
