#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

// Makes the desktop hand "corvanta:" URLs (the browser's sign-in callback) to this program: a
// desktop entry "corvanta.desktop" declaring the scheme handler, with the program's absolute
// path, in the user's applications folder, listed in the application launchers (starting the
// program again from there brings its main window forward); then the desktop's tools refresh their
// cache and make the entry the scheme's default, each only where it is installed. Nothing here is
// fatal: failures are logged and the program runs on.
class UrlSchemeRegistration final : public QObject {
    Q_OBJECT

public:
    static constexpr const char *entryFileName = "corvanta.desktop";
    static constexpr const char *mimeType = "x-scheme-handler/corvanta";

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
    // The entry's text; nothing for a path a desktop entry cannot name (not absolute, or with
    // control characters).
    static std::optional<QString> desktopEntry(const QString &executablePath);

    // Writes the entry (under a temporary name, renamed into place) unless it already reads
    // the same, and runs the tools when it changed. True when the entry is in place.
    bool install();

private:
    void runTools(const QString &folder);
    static void runDetachedWithLimit(const QString &program, const QStringList &arguments);

    QString m_executablePath;
    CommandRunner m_runner;
    ToolFinder m_finder;
};
