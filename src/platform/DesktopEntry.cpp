#include "platform/DesktopEntry.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <filesystem>
#include <system_error>

namespace platform {

namespace {

// Characters that force an Exec argument into double quotes.
const QString reservedExecCharacters = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");

} // namespace

QString desktopEntryExecArgument(const QString &program)
{
    QString argument = program;
    if (std::any_of(program.cbegin(), program.cend(),
                    [](QChar c) { return reservedExecCharacters.contains(c); })) {
        argument.clear();
        for (const QChar c : program) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                argument += u'\\';
            argument += c;
        }
        argument = u'"' + argument + u'"';
    }
    argument.replace(u'%', QStringLiteral("%%"));

    QString value;
    for (const QChar c : argument) {
        if (c == u'\\')
            value += QStringLiteral("\\\\");
        else if (c == u'\n')
            value += QStringLiteral("\\n");
        else if (c == u'\t')
            value += QStringLiteral("\\t");
        else if (c == u'\r')
            value += QStringLiteral("\\r");
        else
            value += c;
    }
    return value;
}

std::optional<QString> writeDesktopEntry(const QString &path, const QByteArray &content)
{
    const QString folder = QFileInfo(path).path();
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), error);
    if (error) {
        return QStringLiteral("Could not create %1: %2")
            .arg(folder, QString::fromLocal8Bit(error.message()));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        return QStringLiteral("Could not write %1: %2").arg(path, file.errorString());
    return std::nullopt;
}

} // namespace platform
