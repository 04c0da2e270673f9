#include "platform/TemporaryName.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace platform {

QString TemporaryName::templateFor(const QString &path)
{
    const QFileInfo target(path);
    return target.absolutePath() + QStringLiteral("/.") + target.fileName() +
           QStringLiteral(".XXXXXX");
}

bool TemporaryName::matches(const QString &fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^\\..+\\.[A-Za-z0-9]{6}$"));
    return pattern.match(fileName).hasMatch();
}

} // namespace platform
