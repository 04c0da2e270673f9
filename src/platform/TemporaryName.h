#pragma once

#include <QString>

namespace platform {

// The name a file is written under before it is renamed into place: ".<name>.XXXXXX" beside
// the target, the six X replaced by letters and digits (mkstemp, QTemporaryFile). A file of
// that form that stays behind was interrupted.
class TemporaryName {
public:
    // The template for the target at path.
    static QString templateFor(const QString &path);
    // Whether fileName (without folder) has that form.
    static bool matches(const QString &fileName);
};

} // namespace platform
