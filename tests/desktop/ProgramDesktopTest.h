#pragma once

#include "DesktopPreview.h"
#include "PanelDesktopSupport.h"
#include "app/AppEnvironment.h"
#include "app/CorvantaApp.h"
#include "app/DesktopPlatform.h"
#include "capture/CaptureCoordinator.h"
#include "capture/ModeSelectorView.h"
#include "capture/ScreenRecordingModeSelector.h"
#include "capture/ScreenRecordingService.h"
#include "model/CaptureQueue.h"
#include "model/StoredEnum.h"
#include "model/UserDefaults.h"
#include "pins/PinManager.h"
#include "pins/PinStackContentView.h"
#include "pins/PinStackWindowController.h"
#include "preview/PreviewControls.h"
#include "preview/QuickLookPreviewController.h"
#include "support/TempDirScope.h"
#include "support/TextLines.h"
#include "support/WaitUntil.h"
#include "support/X11DesktopTest.h"
#include "support/XclipPaste.h"
#include "tray/CaptureTrayView.h"
#include "tray/NotchWindowController.h"
#include "tray/TrayActionButton.h"
#include "windows/MainWindow.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <utility>

constexpr int programWaitLimitMs = 20000;

// The text the window of text shows, line by line.
inline const QStringList shownLines = {"Staged captures wait in the tray", "until they are saved"};

// A window of ours over most of the screen with large dark text on white: what the captures
// show. Short of the whole screen, which the window manager would stack as a full-screen window,
// above the preview.
class TextWindow final : public QWidget {
public:
    TextWindow() : QWidget(nullptr, Qt::FramelessWindowHint) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        drawTextLines(painter, shownLines, 56, QPoint(120, 300), 110);
    }
};

// The same pixels, whatever the format.
inline bool samePicture(const QImage &a, const QImage &b)
{
    return !a.isNull() &&
           a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

// A click on the shown menu's entry whose title starts with the text.
inline void clickMenuEntry(QMenu *menu, const QString &title)
{
    QAction *entry = nullptr;
    for (QAction *action : menu->actions())
        entry = action->text().startsWith(title) ? action : entry;
    ASSERT_NE(entry, nullptr) << qPrintable(title);
    clickAt(menu->mapToGlobal(menu->actionGeometry(entry).center()));
}
// The same in the tray icon's menu, opened at the point as the tray icon opens it.
inline void chooseFromMenu(QMenu *menu, const QString &title, QPoint at)
{
    menu->popup(at);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    clickMenuEntry(menu, title);
}

// The lines of a text file, none when it cannot be read.
inline QStringList linesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

// The desktop's default applications while it lives: each one a desktop entry of the test in the
// applications folder given, chosen for its types, and no defaults of the user's own. Where the
// desktop has no xdg-open, one that hands the file or address to GLib's launcher stands in; it
// stays for the rest of the run, as Qt keeps the launcher it found.
class DesktopDefaults {
public:
    explicit DesktopDefaults(QString applications)
        : m_applications(std::move(applications)), m_configHome(qgetenv("XDG_CONFIG_HOME"))
    {
        static QTemporaryDir launcher(
            QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
            QStringLiteral("/launcher-XXXXXX"));
        if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty()) {
            QFile script(launcher.filePath(QStringLiteral("xdg-open")));
            if (script.open(QIODevice::WriteOnly)) {
                script.write("#!/bin/sh\nexec gio open \"$@\"\n");
                script.close();
                script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
                qputenv("PATH", QFile::encodeName(launcher.path()) + ':' + qgetenv("PATH"));
            }
        }
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    }
    ~DesktopDefaults() { qputenv("XDG_CONFIG_HOME", m_configHome); }
    DesktopDefaults(const DesktopDefaults &) = delete;
    DesktopDefaults &operator=(const DesktopDefaults &) = delete;

    // An application called `name` that runs `exec`, the default for every one of the types.
    bool add(const QString &name, const QString &exec, const QStringList &types)
    {
        const QString id = name.toLower().replace(' ', '-') + QStringLiteral(".desktop");
        QFile entry(m_applications + '/' + id);
        QFile defaults(m_applications + QStringLiteral("/mimeapps.list"));
        const bool fresh = !defaults.exists();
        if (!entry.open(QIODevice::WriteOnly) || !defaults.open(QIODevice::Append))
            return false;
        entry.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\n"
                                   "MimeType=%3;\n")
                        .arg(name, exec, types.join(';'))
                        .toUtf8());
        if (fresh)
            defaults.write("[Default Applications]\n");
        for (const QString &type : types)
            defaults.write((type + '=' + id + '\n').toUtf8());
        return true;
    }

private:
    QString m_applications;
    QTemporaryDir m_config;
    QByteArray m_configHome;
};

// The program's environment over the real desktop with default settings and a private settings
// file, a window of text on the screen, and an application that takes shared pictures; with the
// steps a user takes in the tray, the preview and the deck, and what they check.
class ProgramDesktopTest : public X11DesktopTest {
protected:
    void SetUp() override
    {
        X11DesktopTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_screen = m_platform.displays->mainDisplay()->rootRect;
        installShareProbe();

        m_text.setGeometry(m_screen.adjusted(40, 120, -40, -120));
        m_text.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_text));

        AppEnvironment::Options options = desktop::environmentOptions();
        options.makeUserDefaults = [this] {
            return std::make_unique<UserDefaults>(settingsFile());
        };
        m_ownEnvironment = std::make_unique<AppEnvironment>(std::move(options));
        m_environment = m_ownEnvironment.get();
        ASSERT_EQ(m_environment->hotkeyProblem(), QString());
        ASSERT_NE(tray(), nullptr);
    }
    void TearDown() override
    {
        if (m_screen.isEmpty())
            return;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<QDialog *>(widget); dialog && dialog->isVisible())
                dialog->reject();
        }
        m_environment = nullptr;
        m_app.reset();
        m_ownEnvironment.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (m_hadDataHome)
            qputenv("XDG_DATA_HOME", m_dataHome);
        else
            qunsetenv("XDG_DATA_HOME");
        movePointerTo(m_screen.bottomRight());
    }

    QString settingsFile() const { return m_tmp.path() + QStringLiteral("/Corvanta.conf"); }

    // The whole program as the user starts it instead of the bare environment, its main window
    // open on the right, over whatever `makePlatform` makes (the real desktop when empty); the
    // fixture's steps then act on the program's own environment.
    void launchTheProgram(std::function<AppPlatform()> makePlatform = {})
    {
        m_environment = nullptr;
        m_ownEnvironment.reset();
        CorvantaApp::Options options;
        options.environment = desktop::environmentOptions();
        if (makePlatform)
            options.environment.makePlatform = std::move(makePlatform);
        options.environment.makeUserDefaults = [this] {
            return std::make_unique<UserDefaults>(settingsFile());
        };
        m_app = std::make_unique<CorvantaApp>(std::move(options));
        m_app->launch();
        MainWindow &window = m_app->mainWindow();
        window.move(m_screen.right() - window.frameGeometry().width() - 40, m_screen.top() + 160);
        m_environment = &m_app->environment();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    // A click on the main window's control, its page shown and the window in front.
    void clickInMainWindow(SidebarTab tab, QAbstractButton *control)
    {
        ASSERT_NE(control, nullptr);
        MainWindow &window = m_app->mainWindow();
        m_app->showMainWindow();
        window.selectTab(tab);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        const std::optional<QPoint> at = restingPlace(control);
        ASSERT_TRUE(at) << "the control shows where it stays";
        clickAt(*at);
    }
    // The middle of a control of a window, scrolled into view, once it no longer moves: a page
    // or card just shown is laid out by posted events, after the control is already visible.
    static std::optional<QPoint> restingPlace(QWidget *control)
    {
        QRect at;
        const bool rests = waitUntil([&] {
            for (QWidget *above = control->parentWidget(); above; above = above->parentWidget()) {
                if (auto *scroll = qobject_cast<QScrollArea *>(above))
                    scroll->ensureWidgetVisible(control);
            }
            const QRect now(control->mapToGlobal(QPoint()), control->size());
            return control->isVisible() && std::exchange(at, now) == now;
        });
        return rests ? std::optional(at.center()) : std::nullopt;
    }

    // The capture staged next, once there is one more than before.
    std::optional<CaptureItem> nextStaged(qsizetype before) const
    {
        if (!waitUntil([&] { return queue().items().size() == before + 1; }, programWaitLimitMs))
            return std::nullopt;
        return queue().items().first();
    }
    // A capture of the whole display taken with the key, staged.
    void expectTheKeyCaptures(const char *key)
    {
        const qsizetype before = queue().items().size();
        xdotool({"key", "--clearmodifiers", key});
        const std::optional<CaptureItem> item = nextStaged(before);
        ASSERT_TRUE(item) << key;
        EXPECT_EQ(item->mode(), CaptureMode::fullDisplay) << key;
    }

    // An application that takes shared pictures: it copies the file it is given to sharedCopy.
    void installShareProbe()
    {
        m_dataHome = qgetenv("XDG_DATA_HOME");
        m_hadDataHome = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        ASSERT_TRUE(QDir().mkpath(m_applications.path() + QStringLiteral("/applications")));
        QFile entry(m_applications.path() + QStringLiteral("/applications/share-probe.desktop"));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Share Probe\n"
                                   "Exec=cp %f %1\nMimeType=image/png;\n")
                        .arg(sharedCopy())
                        .toUtf8());
        entry.close();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_applications.path()));
    }
    QString sharedCopy() const { return m_applications.path() + QStringLiteral("/shared.png"); }
    QString applicationsFolder() const
    {
        return m_applications.path() + QStringLiteral("/applications");
    }

    CaptureQueue &queue() const { return m_environment->queue(); }
    NotchWindowController *tray() const
    {
        return dynamic_cast<NotchWindowController *>(
            m_environment->captureCoordinator().notchWindowController());
    }
    QuickLookPreviewController &preview() const { return m_environment->previewController(); }
    PinStackWindowController *deck() const { return m_environment->pinManager().stackController(); }
    bool queueHolds(const QUuid &id) const { return queuedItem(queue(), id).has_value(); }
    CaptureItem selected() const { return queue().selectedItem().value(); }

    // Captures the whole display with the program's hot key, as often as asked.
    void captureWithTheHotKey(int count)
    {
        for (int i = 0; i < count; ++i) {
            const qsizetype before = queue().items().size();
            xdotool({"key", "--clearmodifiers", "ctrl+alt+1"});
            ASSERT_TRUE(
                waitUntil([&] { return queue().items().size() == before + 1; }, programWaitLimitMs))
                << "capture " << i + 1;
        }
        ASSERT_TRUE(waitUntil([&] { return tray()->isVisible(); }, programWaitLimitMs));
        EXPECT_EQ(selected().image().size(), m_screen.size()) << "the whole display";
    }

    ScreenRecordingService &recorder() const { return m_environment->recordingService(); }
    // The recording chooser, opened by whatever the test did, answered with "Screen".
    void chooseToRecordTheScreen()
    {
        ScreenRecordingModeSelector &chooser = m_environment->recordingModeSelector();
        ASSERT_TRUE(waitUntil([&] { return chooser.panel() && chooser.panel()->isVisible(); },
                              programWaitLimitMs));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(chooser.panel()->windowHandle()));
        ModeButton *screen = chooser.view()->button(RecordingSelectionMode::fullScreen);
        clickAt(screen->mapToGlobal(screen->rect().center()));
        ASSERT_TRUE(waitUntil([&] { return recorder().isRecording(); }, programWaitLimitMs));
    }

    // The pointer rests at the top of the screen, where the tray opens.
    void hoverTheTray()
    {
        movePointerTo(QPoint(m_screen.center().x(), m_screen.top() + 3));
        ASSERT_TRUE(
            waitUntil([&] { return tray()->interactionState() == TrayInteractionState::expanded; },
                      programWaitLimitMs));
    }
    // A click on the tray's recording button of that name, the tray expanded under the pointer.
    void clickTrayRecordingButton(const char *name)
    {
        hoverTheTray();
        QAbstractButton *button = nullptr;
        ASSERT_TRUE(waitUntil(
            [&] {
                button = tray()->trayView()->findChild<QAbstractButton *>(name);
                return button && button->isVisible() && !tray()->trayView()->isMorphing();
            },
            programWaitLimitMs))
            << name;
        clickAt(button->mapToGlobal(button->rect().center()));
    }
    void clickTrayButton(TrayButtonID id)
    {
        ASSERT_TRUE(
            waitUntil([&] { return tray()->interactionState() == TrayInteractionState::expanded; },
                      programWaitLimitMs));
        auto *button = tray()->trayView()->findChild<TrayActionButton *>(
            QStringLiteral("trayButton.") + rawValue(id));
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(
            waitUntil([&] { return button->isVisible() && !tray()->trayView()->isMorphing(); }));
        clickAt(button->mapToGlobal(button->rect().center()));
    }
    // A key typed while a window of ours (the window of text) has the keyboard.
    void typeTrayKey(const QString &key)
    {
        m_text.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_text));
        ASSERT_TRUE(
            waitUntil([&] { return tray()->interactionState() == TrayInteractionState::expanded; },
                      programWaitLimitMs));
        xdotool({"key", "--clearmodifiers", key});
    }

    // Empties the clipboard, so that what it holds next was put there by the action.
    void clearClipboard()
    {
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        ASSERT_TRUE(waitUntil([] { return pasteWithXclip("UTF8_STRING") == "before"; }));
    }
    void expectPastedPicture(const CaptureItem &item)
    {
        QImage pasted;
        EXPECT_TRUE(waitUntil(
            [&] {
                pasted = QImage::fromData(pasteWithXclip(QStringLiteral("image/png")), "PNG");
                return !pasted.isNull();
            },
            programWaitLimitMs));
        EXPECT_TRUE(samePicture(pasted, item.image())) << "the capture is on the clipboard";
    }
    // Waits until another program pastes the text read from the capture.
    void expectPastedText()
    {
        const QString expected = shownLines.join('\n');
        QString pasted;
        EXPECT_TRUE(waitUntil(
            [&] {
                pasted = QString::fromUtf8(pasteWithXclip(QStringLiteral("UTF8_STRING"))).trimmed();
                return pasted == expected;
            },
            programWaitLimitMs))
            << "the text read from the capture; pasted last: " << qPrintable(pasted);
    }

    // Answers the save dialog an action opened with a file of the test, as the user confirms it.
    void answerSaveDialog(const QString &path)
    {
        QFileDialog *dialog = nullptr;
        ASSERT_TRUE(waitUntil([&] { return (dialog = visibleTopLevel<QFileDialog>()); },
                              programWaitLimitMs));
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(path);
        QMetaObject::invokeMethod(dialog, "accept");
    }
    void expectSavedPicture(const QString &path, const CaptureItem &item)
    {
        EXPECT_TRUE(waitUntil([&] { return !QImage(path).isNull(); }, programWaitLimitMs))
            << qPrintable(path);
        EXPECT_TRUE(samePicture(QImage(path), item.image())) << qPrintable(path);
    }
    QString savedFile(const QString &name) const { return m_saved.filePath(name); }

    // The preview's window and its buttons, found afresh: the toolbar is rebuilt after actions.
    QWidget *previewPanel() const { return desktopPreviewPanel(preview()); }
    PlateButton *previewButton(const QString &title) const
    {
        QWidget *panel = previewPanel();
        if (!panel)
            return nullptr;
        for (PlateButton *button : panel->findChildren<PlateButton *>()) {
            if (button->isVisible() &&
                (button->look().title == title || button->toolTip().startsWith(title)))
                return button;
        }
        return nullptr;
    }
    void clickPreviewButton(const QString &title)
    {
        PlateButton *button = nullptr;
        ASSERT_TRUE(waitUntil([&] { return (button = previewButton(title)); }, programWaitLimitMs))
            << qPrintable(title);
        clickAt(button->mapToGlobal(button->rect().center()));
    }
    // A key typed into the preview's window.
    void typePreviewKey(const QString &key)
    {
        QWidget *panel = previewPanel();
        ASSERT_NE(panel, nullptr);
        panel->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(panel->windowHandle()));
        xdotool({"key", "--clearmodifiers", key});
    }
    void expectPreviewOf(const CaptureItem &item, bool markup = false)
    {
        EXPECT_TRUE(waitUntil(
            [&] { return preview().isVisible() && preview().currentItemID() == item.id(); },
            programWaitLimitMs));
        EXPECT_EQ(preview().isMarkupMode(), markup);
        EXPECT_TRUE(previewPanel() && QTest::qWaitForWindowExposed(previewPanel()->windowHandle()));
    }

    void expectPinned(const CaptureItem &item)
    {
        EXPECT_TRUE(waitUntil(
            [&] {
                return deck() && deck()->window() && deck()->window()->isVisible() &&
                       !deck()->items().isEmpty() && deck()->items().first()->id() == item.id();
            },
            programWaitLimitMs));
    }

    TempDirScope m_tmp;
    QTemporaryDir m_saved;
    QTemporaryDir m_applications;
    QByteArray m_dataHome;
    bool m_hadDataHome = false;
    QRect m_screen;
    TextWindow m_text;
    std::unique_ptr<AppEnvironment> m_ownEnvironment;
    AppEnvironment *m_environment = nullptr;
    // Set once the whole program runs; it then owns the environment.
    std::unique_ptr<CorvantaApp> m_app;
};
