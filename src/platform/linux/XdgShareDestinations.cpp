#include "platform/linux/XdgShareDestinations.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>
#include <algorithm>

namespace platform {
namespace {

const QString desktopEntryGroup = QStringLiteral("Desktop Entry");

// group -> key -> raw value
using KeyFile = QHash<QString, QHash<QString, QString>>;

KeyFile readKeyFile(const QString &path)
{
    KeyFile groups;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return groups;
    QTextStream in(&file);
    QString group;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0 || group.isEmpty())
            continue;
        const QString key = line.left(equals).trimmed();
        // The first occurrence of a key counts.
        QHash<QString, QString> &values = groups[group];
        if (!values.contains(key))
            values.insert(key, line.mid(equals + 1).trimmed());
    }
    return groups;
}

// The escapes of the string type: \s \n \t \r \\.
QString unescape(const QString &raw)
{
    QString value;
    value.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != QLatin1Char('\\') || i + 1 == raw.size()) {
            value += raw[i];
            continue;
        }
        const QChar next = raw[++i];
        if (next == QLatin1Char('s'))
            value += QLatin1Char(' ');
        else if (next == QLatin1Char('n'))
            value += QLatin1Char('\n');
        else if (next == QLatin1Char('t'))
            value += QLatin1Char('\t');
        else if (next == QLatin1Char('r'))
            value += QLatin1Char('\r');
        else if (next == QLatin1Char('\\'))
            value += QLatin1Char('\\');
        else
            value += QLatin1Char('\\') + QString(next);
    }
    return value;
}

// A list value: entries separated by ';' ("\;" is a literal semicolon).
QStringList splitList(const QString &raw)
{
    QStringList entries;
    QString entry;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == QLatin1Char('\\') && i + 1 < raw.size() && raw[i + 1] == QLatin1Char(';')) {
            entry += QLatin1Char(';');
            ++i;
        } else if (raw[i] == QLatin1Char(';')) {
            if (!entry.trimmed().isEmpty())
                entries << unescape(entry.trimmed());
            entry.clear();
        } else {
            entry += raw[i];
        }
    }
    if (!entry.trimmed().isEmpty())
        entries << unescape(entry.trimmed());
    return entries;
}

QStringList searchPath(const char *homeVariable, const QString &homeFallback,
                       const char *dirsVariable, const QString &dirsFallback)
{
    QString home = qEnvironmentVariable(homeVariable);
    if (home.isEmpty())
        home = QDir::homePath() + homeFallback;
    QStringList dirs =
        qEnvironmentVariable(dirsVariable).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (dirs.isEmpty())
        dirs = dirsFallback.split(QLatin1Char(':'));
    dirs.prepend(home);
    dirs.removeDuplicates();
    return dirs;
}

QStringList dataDirs()
{
    return searchPath("XDG_DATA_HOME", QStringLiteral("/.local/share"), "XDG_DATA_DIRS",
                      QStringLiteral("/usr/local/share:/usr/share"));
}

QStringList configDirs()
{
    return searchPath("XDG_CONFIG_HOME", QStringLiteral("/.config"), "XDG_CONFIG_DIRS",
                      QStringLiteral("/etc/xdg"));
}

QStringList currentDesktops()
{
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP")
        .toLower()
        .split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

struct DesktopEntry {
    QString path;
    QString name;
    QString iconName;
    QString exec; // unescaped
    QString workingDirectory;
    QStringList mimeTypes;
    bool hidden = false; // deleted: hides entries of the same id in later folders
    bool usable = false; // an application this desktop may run and list
    bool noDisplay = false;
};

QString localized(const QHash<QString, QString> &values, const QString &key)
{
    const QString locale = QLocale().name(); // "de_DE"
    for (const QString &candidate :
         {key + QLatin1Char('[') + locale + QLatin1Char(']'),
          key + QLatin1Char('[') + locale.section(QLatin1Char('_'), 0, 0) + QLatin1Char(']'),
          key}) {
        if (values.contains(candidate))
            return unescape(values.value(candidate));
    }
    return {};
}

bool isExecutable(const QString &program)
{
    if (program.contains(QLatin1Char('/'))) {
        const QFileInfo info(program);
        return info.isFile() && info.isExecutable();
    }
    return !QStandardPaths::findExecutable(program).isEmpty();
}

bool shownOnThisDesktop(const QHash<QString, QString> &values)
{
    const QStringList desktops = currentDesktops();
    const QStringList onlyShowIn = splitList(values.value(QStringLiteral("OnlyShowIn")));
    const QStringList notShowIn = splitList(values.value(QStringLiteral("NotShowIn")));
    auto named = [&desktops](const QStringList &list) {
        return std::any_of(list.begin(), list.end(), [&desktops](const QString &desktop) {
            return desktops.contains(desktop.toLower());
        });
    };
    if (!onlyShowIn.isEmpty() && !named(onlyShowIn))
        return false;
    return !named(notShowIn);
}

DesktopEntry readDesktopEntry(const QString &path)
{
    DesktopEntry entry;
    entry.path = path;
    const QHash<QString, QString> values = readKeyFile(path).value(desktopEntryGroup);
    auto flag = [&values](const char *key) {
        return values.value(QString::fromLatin1(key)).trimmed() == QLatin1String("true");
    };
    entry.hidden = flag("Hidden");
    if (entry.hidden)
        return entry;
    entry.name = localized(values, QStringLiteral("Name"));
    entry.iconName = unescape(values.value(QStringLiteral("Icon")));
    entry.exec = unescape(values.value(QStringLiteral("Exec")));
    entry.workingDirectory = unescape(values.value(QStringLiteral("Path")));
    entry.mimeTypes = splitList(values.value(QStringLiteral("MimeType")));
    entry.noDisplay = flag("NoDisplay");
    const QString tryExec = unescape(values.value(QStringLiteral("TryExec")));
    entry.usable = values.value(QStringLiteral("Type")) == QLatin1String("Application") &&
                   !entry.name.isEmpty() && !entry.exec.trimmed().isEmpty() &&
                   (tryExec.isEmpty() || isExecutable(tryExec)) && shownOnThisDesktop(values);
    return entry;
}

// Every usable application by desktop file id; an id found in an earlier folder hides the
// later ones.
QMap<QString, DesktopEntry> installedApplications()
{
    QMap<QString, DesktopEntry> found;
    QSet<QString> seen;
    for (const QString &dataDir : dataDirs()) {
        const QDir applications(dataDir + QStringLiteral("/applications"));
        if (!applications.exists())
            continue;
        QDirIterator files(applications.path(), {QStringLiteral("*.desktop")}, QDir::Files,
                           QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        QStringList paths;
        while (files.hasNext())
            paths << files.next();
        paths.sort();
        for (const QString &path : std::as_const(paths)) {
            const QString id =
                applications.relativeFilePath(path).replace(QLatin1Char('/'), QLatin1Char('-'));
            if (seen.contains(id))
                continue;
            seen.insert(id);
            DesktopEntry entry = readDesktopEntry(path);
            if (entry.usable)
                found.insert(id, std::move(entry));
        }
    }
    return found;
}

// The mimeapps.list files, the most important first.
QStringList associationFiles()
{
    QStringList names;
    for (const QString &desktop : currentDesktops())
        names << desktop + QStringLiteral("-mimeapps.list");
    names << QStringLiteral("mimeapps.list");
    QStringList files;
    for (const QString &dir : configDirs()) {
        for (const QString &name : std::as_const(names))
            files << dir + QLatin1Char('/') + name;
    }
    for (const QString &dir : dataDirs()) {
        for (const QString &name : std::as_const(names))
            files << dir + QStringLiteral("/applications/") + name;
    }
    return files;
}

bool handles(const DesktopEntry &entry, const QString &mimeType)
{
    return entry.mimeTypes.contains(mimeType) ||
           entry.mimeTypes.contains(mimeType.section(QLatin1Char('/'), 0, 0) +
                                    QStringLiteral("/*"));
}

// The ids of the applications for the type, the default first.
QStringList applicationsFor(const QString &mimeType, const QMap<QString, DesktopEntry> &installed)
{
    QString defaultId;
    QStringList added;
    QSet<QString> removed;
    for (const QString &path : associationFiles()) {
        if (!QFileInfo::exists(path))
            continue;
        const KeyFile file = readKeyFile(path);
        // A removal applies to its own file and every less important one.
        for (const QString &id :
             splitList(file.value(QStringLiteral("Removed Associations")).value(mimeType)))
            removed.insert(id);
        if (defaultId.isEmpty()) {
            for (const QString &id :
                 splitList(file.value(QStringLiteral("Default Applications")).value(mimeType))) {
                if (installed.contains(id)) {
                    defaultId = id;
                    break;
                }
            }
        }
        for (const QString &id :
             splitList(file.value(QStringLiteral("Added Associations")).value(mimeType))) {
            if (installed.contains(id) && !removed.contains(id) && !added.contains(id))
                added << id;
        }
    }

    QList<const DesktopEntry *> others;
    QStringList otherIds;
    for (auto it = installed.cbegin(); it != installed.cend(); ++it) {
        if (handles(it.value(), mimeType) && !it.value().noDisplay && !removed.contains(it.key()) &&
            !added.contains(it.key()))
            otherIds << it.key();
    }
    std::stable_sort(
        otherIds.begin(), otherIds.end(), [&installed](const QString &a, const QString &b) {
            return installed.constFind(a)->name.localeAwareCompare(installed.constFind(b)->name) <
                   0;
        });

    QStringList ordered;
    if (!defaultId.isEmpty())
        ordered << defaultId;
    for (const QString &id : added + otherIds) {
        if (!ordered.contains(id))
            ordered << id;
    }
    return ordered;
}

bool isFileCode(const QString &token)
{
    return token.size() == 2 && token[0] == QLatin1Char('%') &&
           QStringLiteral("fFuU").contains(token[1]);
}

// Splits an Exec value into arguments by the desktop entry quoting: double quotes group,
// and inside them a backslash escapes " ` $ and itself.
std::optional<QStringList> splitArguments(const QString &exec)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size() &&
                QStringLiteral("\"`$\\").contains(exec[i + 1])) {
                current += exec[++i];
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            if (inArgument)
                arguments << current;
            current.clear();
            inArgument = false;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            inArgument = true;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inArgument)
        arguments << current;
    return arguments;
}

} // namespace

std::optional<QStringList>
XdgShareDestinations::expandExec(const QString &exec, const QString &filePath, const QString &name,
                                 const QString &iconName, const QString &entryPath)
{
    const std::optional<QStringList> arguments = splitArguments(exec);
    if (!arguments || arguments->isEmpty())
        return std::nullopt;
    const QString fileUrl = QUrl::fromLocalFile(filePath).toString(QUrl::FullyEncoded);
    QStringList expanded;
    bool fileNamed = false;
    for (const QString &argument : *arguments) {
        // Codes standing alone may become several arguments, or none.
        if (isFileCode(argument)) {
            expanded << (argument[1].toLower() == QLatin1Char('f') ? filePath : fileUrl);
            fileNamed = true;
            continue;
        }
        if (argument == QLatin1String("%i")) {
            if (!iconName.isEmpty())
                expanded << QStringLiteral("--icon") << iconName;
            continue;
        }
        QString result;
        bool hadCode = false;
        for (qsizetype i = 0; i < argument.size(); ++i) {
            if (argument[i] != QLatin1Char('%') || i + 1 == argument.size()) {
                result += argument[i];
                continue;
            }
            hadCode = true;
            switch (argument[++i].unicode()) {
            case 'f':
            case 'F':
                result += filePath;
                fileNamed = true;
                break;
            case 'u':
            case 'U':
                result += fileUrl;
                fileNamed = true;
                break;
            case 'c':
                result += name;
                break;
            case 'i':
                result += iconName;
                break;
            case 'k':
                result += entryPath;
                break;
            case '%':
                result += QLatin1Char('%');
                break;
            default: // deprecated or unknown codes expand to nothing
                break;
            }
        }
        if (!result.isEmpty() || !hadCode)
            expanded << result;
    }
    if (expanded.isEmpty() || expanded.first().isEmpty())
        return std::nullopt;
    if (!fileNamed)
        expanded << filePath;
    return expanded;
}

QList<ShareDestination> XdgShareDestinations::destinationsFor(const QString &mimeType)
{
    const QMap<QString, DesktopEntry> installed = installedApplications();
    QList<ShareDestination> destinations;
    for (const QString &id : applicationsFor(mimeType, installed)) {
        const DesktopEntry &entry = *installed.constFind(id);
        destinations << ShareDestination{id, entry.name, entry.iconName};
    }
    if (!QStandardPaths::findExecutable(QString::fromLatin1(emailId)).isEmpty()) {
        destinations << ShareDestination{QString::fromLatin1(emailId), QStringLiteral("E-mail"),
                                         QStringLiteral("mail-message-new")};
    }
    return destinations;
}

bool XdgShareDestinations::open(const ShareDestination &destination, const QString &filePath)
{
    if (destination.id == QLatin1String(emailId)) {
        const QString program = QStandardPaths::findExecutable(QString::fromLatin1(emailId));
        return !program.isEmpty() &&
               QProcess::startDetached(program, {QStringLiteral("--attach"), filePath});
    }
    const QMap<QString, DesktopEntry> installed = installedApplications();
    const auto entry = installed.constFind(destination.id);
    if (entry == installed.cend())
        return false;
    const std::optional<QStringList> command =
        expandExec(entry->exec, filePath, entry->name, entry->iconName, entry->path);
    if (!command)
        return false;
    return QProcess::startDetached(command->first(), command->mid(1), entry->workingDirectory);
}

} // namespace platform
