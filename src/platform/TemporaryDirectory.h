#pragma once

#include <QString>

namespace platform {

// The folder temporary files go to: $TMPDIR when it names an existing folder, else the
// system's (/tmp), as other programs do. Always an absolute path, even when neither exists,
// so that nothing is ever written relative to the working directory.
class TemporaryDirectory {
public:
    static QString path();

    // Tests stand an absolute folder of their own in for /tmp; an empty one restores it.
    static void setSystemFolder(const QString &folder);
};

} // namespace platform
