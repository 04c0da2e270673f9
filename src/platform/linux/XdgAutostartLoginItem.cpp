#include "platform/linux/XdgAutostartLoginItem.h"

#include "platform/DesktopEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace platform {

namespace {

const QString entryFileName = QStringLiteral("corvanta.desktop");

// The inverse of the string escapes of a desktop entry value.
QString unescapeValue(const QString &value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const QChar next = value[++i];
        if (next == u's')
            out += u' ';
        else if (next == u'n')
            out += u'\n';
        else if (next == u't')
            out += u'\t';
        else if (next == u'r')
            out += u'\r';
        else if (next == u'\\')
            out += u'\\';
        else
            out += QString(u'\\') + next;
    }
    return out;
}

// The program an Exec value starts: its first argument, unquoted.
QString programOfExec(const QString &rawValue)
{
    const QString exec = unescapeValue(rawValue).trimmed();
    QString program;
    if (exec.startsWith(u'"')) {
        for (qsizetype i = 1; i < exec.size() && exec[i] != u'"'; ++i) {
            if (exec[i] == u'\\' && i + 1 < exec.size())
                ++i;
            program += exec[i];
        }
    } else {
        for (const QChar c : exec) {
            if (c == u' ' || c == u'\t')
                break;
            program += c;
        }
    }
    return program.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

// The keys of the [Desktop Entry] group with their raw values.
QHash<QString, QString> desktopEntry(const QByteArray &content)
{
    QHash<QString, QString> entry;
    bool inEntryGroup = false;
    for (const QByteArray &rawLine : content.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inEntryGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (inEntryGroup && equals > 0)
            entry.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    return entry;
}

QString configHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    // A relative value is invalid and ignored.
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + QStringLiteral("/.config");
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(QString executablePath)
    : m_executablePath(std::move(executablePath))
{
}

QString XdgAutostartLoginItem::desktopFilePath()
{
    return configHome() + QStringLiteral("/autostart/") + entryFileName;
}

QString XdgAutostartLoginItem::executablePath() const
{
    return m_executablePath.isEmpty() ? QCoreApplication::applicationFilePath() : m_executablePath;
}

LoginItem::Status XdgAutostartLoginItem::status() const
{
    QFile file(desktopFilePath());
    if (!file.exists())
        return Status::notRegistered;
    if (!file.open(QIODevice::ReadOnly))
        return Status::notFound;
    const QHash<QString, QString> entry = desktopEntry(file.readAll());
    if (entry.value(QStringLiteral("Hidden")) == QLatin1String("true") ||
        entry.value(QStringLiteral("X-GNOME-Autostart-enabled")) == QLatin1String("false"))
        return Status::notRegistered;

    QString program = programOfExec(entry.value(QStringLiteral("Exec")));
    if (!program.isEmpty() && !QDir::isAbsolutePath(program))
        program = QStandardPaths::findExecutable(program);
    const QFileInfo info(program);
    if (program.isEmpty() || !info.isFile() || !info.isExecutable())
        return Status::notFound;
    return Status::enabled;
}

std::optional<QString> XdgAutostartLoginItem::registerItem()
{
    // Without a QCoreApplication the running program's path is unknown.
    if (executablePath().isEmpty())
        return QStringLiteral("The program's own executable is unknown");
    const QString program = QFileInfo(executablePath()).absoluteFilePath();

    const QString content = QStringLiteral("[Desktop Entry]\n"
                                           "Type=Application\n"
                                           "Name=Corvanta\n"
                                           "Exec=%1\n"
                                           "X-GNOME-Autostart-enabled=true\n")
                                .arg(desktopEntryExecArgument(program));
    // A session starting meanwhile never reads half an entry.
    return writeDesktopEntry(desktopFilePath(), content.toUtf8());
}

std::optional<QString> XdgAutostartLoginItem::unregisterItem()
{
    const QString path = desktopFilePath();
    if (::unlink(QFile::encodeName(path).constData()) == 0)
        return std::nullopt;
    const int reason = errno;
    if (reason == ENOENT)
        return std::nullopt;
    return QStringLiteral("Could not remove %1: %2")
        .arg(path, QString::fromLocal8Bit(std::strerror(reason)));
}

} // namespace platform
