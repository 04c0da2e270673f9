#include "app/UrlSchemeRegistration.h"

#include "platform/DesktopEntry.h"
#include "platform/Log.h"
#include "windows/WindowSymbols.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>

namespace {

constexpr int toolLimitMs = 10000;

QString dataHome()
{
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (!dataHome.isEmpty() && QDir::isAbsolutePath(dataHome))
        return QDir::cleanPath(dataHome);
    return QDir::homePath() + QStringLiteral("/.local/share");
}

} // namespace

UrlSchemeRegistration::UrlSchemeRegistration(QString executablePath, QObject *parent)
    : QObject(parent), m_executablePath(std::move(executablePath))
{
}

QString UrlSchemeRegistration::applicationsFolder()
{
    return dataHome() + QStringLiteral("/applications");
}

QString UrlSchemeRegistration::iconThemeFolder()
{
    return dataHome() + QStringLiteral("/icons/hicolor");
}

QString UrlSchemeRegistration::iconPath(int size)
{
    return QStringLiteral("%1/%2x%2/apps/%3.png")
        .arg(iconThemeFolder())
        .arg(size)
        .arg(QLatin1String(iconName));
}

QByteArray UrlSchemeRegistration::iconPng(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        // Inset as launcher icons are, so that the rounded square does not touch the cell.
        const double inset = size / 16.0;
        const QRectF box = QRectF(0, 0, size, size).adjusted(inset, inset, -inset, -inset);
        paintAppLogo(painter, box, box.width() * 0.22);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

bool UrlSchemeRegistration::installIcons()
{
    bool allWritten = true;
    for (const int size : iconSizes) {
        const QString path = iconPath(size);
        const QByteArray png = iconPng(size);
        QFile existing(path);
        if (existing.open(QIODevice::ReadOnly) && existing.readAll() == png)
            continue;
        existing.close();
        QSaveFile file(path);
        if (!QDir().mkpath(QFileInfo(path).path()) || !file.open(QIODevice::WriteOnly) ||
            file.write(png) != png.size() || !file.commit()) {
            qCWarning(Log::general, "Cannot install the program's icon in %s: %s",
                      qUtf8Printable(path), qUtf8Printable(file.errorString()));
            allWritten = false;
        }
    }
    return allWritten;
}

std::optional<QString> UrlSchemeRegistration::desktopEntry(const QString &executablePath)
{
    if (!QDir::isAbsolutePath(executablePath) ||
        std::any_of(executablePath.cbegin(), executablePath.cend(),
                    [](QChar c) { return c.category() == QChar::Other_Control; })) {
        return std::nullopt;
    }
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Corvanta\n"
                          "Comment=Screenshot and screen recording utility\n"
                          "Exec=%1 %u\n"
                          "Icon=%3\n"
                          "Terminal=false\n"
                          "MimeType=%2;\n")
        .arg(platform::desktopEntryExecArgument(executablePath), QLatin1String(mimeType),
             QLatin1String(iconName));
}

bool UrlSchemeRegistration::install()
{
    const QString executable =
        m_executablePath.isEmpty() ? QCoreApplication::applicationFilePath() : m_executablePath;
    const std::optional<QString> entry = desktopEntry(executable);
    if (!entry) {
        qCWarning(Log::general, "Cannot register the corvanta URL scheme: the program's path "
                                "cannot be written into a desktop entry");
        return false;
    }
    // The entry names the icon by its name: a launcher finds it in the theme.
    installIcons();
    const QString folder = applicationsFolder();
    const QString path = folder + u'/' + QLatin1String(entryFileName);
    const QByteArray content = entry->toUtf8();
    {
        QFile existing(path);
        if (existing.open(QIODevice::ReadOnly) && existing.readAll() == content)
            return true;
    }

    if (const std::optional<QString> failure = platform::writeDesktopEntry(path, content)) {
        qCWarning(Log::general, "Cannot register the corvanta URL scheme: %s",
                  qUtf8Printable(*failure));
        return false;
    }
    qCInfo(Log::general, "Registered the corvanta URL scheme in %s", qUtf8Printable(path));
    runTools(folder);
    return true;
}

void UrlSchemeRegistration::runTools(const QString &folder)
{
    const ToolFinder find = m_finder ? m_finder : [](const QString &name) {
        return QStandardPaths::findExecutable(name);
    };
    const CommandRunner run = m_runner ? m_runner : &UrlSchemeRegistration::runDetachedWithLimit;
    if (const QString tool = find(QStringLiteral("update-desktop-database")); !tool.isEmpty())
        run(tool, {folder});
    if (const QString tool = find(QStringLiteral("xdg-mime")); !tool.isEmpty()) {
        run(tool,
            {QStringLiteral("default"), QLatin1String(entryFileName), QLatin1String(mimeType)});
    }
}

void UrlSchemeRegistration::runDetachedWithLimit(const QString &program,
                                                 const QStringList &arguments)
{
    // Owned by the application and gone once finished; one that hangs is stopped.
    auto *process = new QProcess(QCoreApplication::instance());
    const QString name = QFileInfo(program).fileName();
    QObject::connect(process, &QProcess::finished, process,
                     [process, name](int exitCode, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || exitCode != 0) {
                             qCWarning(Log::general, "%s failed (exit code %d)",
                                       qUtf8Printable(name), exitCode);
                         }
                         process->deleteLater();
                     });
    QObject::connect(
        process, &QProcess::errorOccurred, process, [process, name](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) {
                qCWarning(Log::general, "%s could not be started", qUtf8Printable(name));
                process->deleteLater();
            }
        });
    QTimer::singleShot(toolLimitMs, process, [process] { process->kill(); });
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->start(program, arguments);
}
