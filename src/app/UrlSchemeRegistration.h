#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Makes the desktop hand "corvanta:" URLs (the browser's sign-in callback) to this program: a
// desktop entry "corvanta.desktop" declaring the scheme handler, with the program's absolute
// path, in the user's applications folder, listed in the application launchers (starting the
// program again from there brings its main window forward) with the program's icon, installed
// beside it in the user's hicolor icon theme; then the desktop's tools refresh their cache and
// make the entry the scheme's default, each only where it is installed. Nothing here is fatal:
// failures are logged and the program runs on.
class UrlSchemeRegistration final : public QObject {
    Q_OBJECT

public:
    static constexpr const char *entryFileName = "corvanta.desktop";
    static constexpr const char *mimeType = "x-scheme-handler/corvanta";
    static constexpr const char *iconName = "corvanta";
    // The icon's sizes in the theme, in pixels.
    static constexpr int iconSizes[] = {48, 128, 256};

    // Runs a tool without waiting for it; failures are the runner's to log.
    using CommandRunner = std::function<void(const QString &program, const QStringList &arguments)>;
    // The full path of an installed tool, empty when it is not installed.
    using ToolFinder = std::function<QString(const QString &name)>;

    // Empty executable path: the running program. Empty runner and finder: QProcess and PATH.
    explicit UrlSchemeRegistration(QString executablePath = {}, QObject *parent = nullptr);

    void setCommandRunner(CommandRunner runner) { m_runner = std::move(runner); }
    void setToolFinder(ToolFinder finder) { m_finder = std::move(finder); }

    // $XDG_DATA_HOME/applications, else ~/.local/share/applications.
    static QString applicationsFolder();
    // $XDG_DATA_HOME/icons/hicolor, else ~/.local/share/icons/hicolor.
    static QString iconThemeFolder();
    // Where the icon of a size goes in the theme.
    static QString iconPath(int size);
    // The program's icon at a size, as PNG: the logo its windows show.
    static QByteArray iconPng(int size);
    // The entry's text; nothing for a path a desktop entry cannot name (not absolute, or with
    // control characters).
    static std::optional<QString> desktopEntry(const QString &executablePath);

    // Writes the entry (under a temporary name, renamed into place) unless it already reads
    // the same, and runs the tools when it changed. True when the entry is in place.
    bool install();

private:
    void runTools(const QString &folder);
    // Writes each size that is missing or differs; false when one could not be written.
    static bool installIcons();
    static void runDetachedWithLimit(const QString &program, const QStringList &arguments);

    QString m_executablePath;
    CommandRunner m_runner;
    ToolFinder m_finder;
};
