// The whole program on the harness's desktop: the Dashboard's switches and its save-folder
// picker, a shortcut recorded on the Hotkeys page, the Account page's sign-in and sign-out, and
// Quit in the tray icon's menu, each pressed as the user presses it and checked by what the user
// meets: the choice kept in the settings file and followed by the next capture, the new key
// taking its capture, the account signed in and out, the program ending with its keys free.

#include "ProgramDesktopTest.h"
#include "account/AccountPresentation.h"
#include "account/AccountView.h"
#include "account/AuthService.h"
#include "platform/linux/AbsentAppleSignInSheet.h"
#include "support/FakeSecretStore.h"
#include "support/LocalAuthServer.h"
#include "support/X11KeyGrabber.h"
#include "windows/HotkeysPage.h"
#include "windows/PageBlocks.h"
#include "windows/ShortcutRecorder.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrlQuery>

namespace {

constexpr int waitLimitMs = programWaitLimitMs;
constexpr quint16 controlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

class ProgramMainWindowDesktop : public ProgramDesktopTest {
protected:
    // The control of the type on the tab's page whose accessible name or text is `name`.
    template <typename T> T *control(SidebarTab tab, const QString &name) const
    {
        for (T *widget : m_app->mainWindow().page(tab)->findChildren<T *>()) {
            if (widget->accessibleName() == name || widget->text() == name)
                return widget;
        }
        return nullptr;
    }
    // A capture of the whole display taken with the program's hot key, the pointer resting at
    // `pointer`.
    QImage captureWithThePointerAt(QPoint pointer)
    {
        movePointerTo(pointer);
        const qsizetype before = queue().items().size();
        xdotool({"key", "--clearmodifiers", "ctrl+alt+1"});
        const std::optional<CaptureItem> item = nextStaged(before);
        return item ? item->image() : QImage();
    }
    // A field of the page typed into as the user types.
    void typeInto(QLineEdit *field, const QString &text)
    {
        ASSERT_NE(field, nullptr);
        const std::optional<QPoint> at = restingPlace(field);
        ASSERT_TRUE(at);
        clickAt(*at);
        ASSERT_TRUE(waitUntil([&] { return field->hasFocus(); }, waitLimitMs));
        xdotool({"type", "--delay", "20", text});
        EXPECT_TRUE(waitUntil([&] { return field->text() == text; }, waitLimitMs));
    }
    // Answers the program's alert with the button of that title; what the alert says, empty when
    // none came up.
    QString answerAlert(const QString &button)
    {
        QMessageBox *alert = nullptr;
        if (!waitUntil([&] { return (alert = visibleTopLevel<QMessageBox>()); }, waitLimitMs))
            return {};
        const QString said = alert->text() + '\n' + alert->informativeText();
        QAbstractButton *answer = nullptr;
        for (QAbstractButton *choice : alert->buttons())
            answer = choice->text() == button ? choice : answer;
        EXPECT_NE(answer, nullptr) << qPrintable(button);
        const std::optional<QPoint> at =
            answer && QTest::qWaitForWindowExposed(alert) ? restingPlace(answer) : std::nullopt;
        if (!at)
            return said;
        clickAt(*at);
        EXPECT_TRUE(waitUntil([] { return !visibleTopLevel<QMessageBox>(); }, waitLimitMs));
        return said;
    }
    // The browser's part of a sign-in: the authorize page sends it back to the program.
    static QUrl browse(const QUrl &authorize)
    {
        QNetworkAccessManager browser;
        browser.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
        std::unique_ptr<QNetworkReply> reply(browser.get(QNetworkRequest(authorize)));
        waitUntil([&] { return reply->isFinished(); }, waitLimitMs);
        return QUrl(QString::fromUtf8(reply->rawHeader("Location")));
    }

    std::unique_ptr<LocalAuthServer> m_backend;
};

TEST_F(ProgramMainWindowDesktop, TheDashboardsSwitchesAndFolderAreKeptAndTheNextCaptureFollows)
{
    launchTheProgram();
    UserDefaults file(settingsFile());
    // A switch of the page flips the setting it is kept under, in the program's own file.
    const auto flip = [&](const char *title, const char *key, bool now) {
        clickInMainWindow(SidebarTab::dashboard,
                          control<SwitchButton>(SidebarTab::dashboard, QString::fromUtf8(title)));
        EXPECT_TRUE(waitUntil(
            [&] {
                file.reload();
                return file.boolValue(QString::fromLatin1(key)) == now;
            },
            waitLimitMs))
            << title;
    };
    flip("Include cursor in screenshots", "includeCursorInScreenshot", true);
    flip("Open Corvanta after capture (expanded)", "openCorvantaAfterCapture", true);

    // The next capture has the pointer in it and opens the tray, though the pointer is far from
    // it; with the cursor switched off again the same spot is as plain as the window of text.
    const QPoint blank = m_text.geometry().bottomLeft() + QPoint(60, -60);
    const QRect around(blank - QPoint(4, 4), QSize(36, 36));
    const QImage plain =
        QGuiApplication::primaryScreen()
            ->grabWindow(0, around.x(), around.y(), around.width(), around.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(plain.pixelColor(10, 10), QColor(Qt::white));
    const QImage withCursor = captureWithThePointerAt(blank);
    EXPECT_TRUE(waitUntil(
        [&] { return tray()->interactionState() == TrayInteractionState::expanded; }, waitLimitMs))
        << "the tray opened after the capture";
    EXPECT_FALSE(samePicture(withCursor.copy(around), plain)) << "the pointer is shown";
    flip("Include cursor in screenshots", "includeCursorInScreenshot", false);
    const QImage withoutCursor = captureWithThePointerAt(blank);
    EXPECT_TRUE(samePicture(withoutCursor.copy(around), plain)) << "no pointer";

    // The save folder: the one chosen in the folder dialog is kept by name and shown; a
    // cancelled dialog keeps it.
    auto *folder = control<QAbstractButton>(SidebarTab::dashboard, "Default Save Location");
    ASSERT_NE(folder, nullptr);
    auto *problem = m_app->mainWindow()
                        .page(SidebarTab::dashboard)
                        ->findChild<QLabel *>(QStringLiteral("folderProblem"));
    ASSERT_NE(problem, nullptr);
    const QString chosen = m_saved.filePath(QStringLiteral("Quick Saves"));
    ASSERT_TRUE(QDir().mkpath(chosen));
    for (const bool confirmed : {true, false}) {
        clickInMainWindow(SidebarTab::dashboard, folder);
        QFileDialog *dialog = nullptr;
        ASSERT_TRUE(
            waitUntil([&] { return (dialog = visibleTopLevel<QFileDialog>()); }, waitLimitMs));
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(confirmed ? chosen : m_saved.path());
        QMetaObject::invokeMethod(dialog, confirmed ? "accept" : "reject");
        ASSERT_TRUE(waitUntil([&] { return !visibleTopLevel<QFileDialog>(); }, waitLimitMs));
        EXPECT_TRUE(waitUntil(
            [&] {
                file.reload();
                return file.stringValue(QStringLiteral("defaultSaveLocationName")) ==
                       QStringLiteral("Quick Saves");
            },
            waitLimitMs))
            << confirmed;
        EXPECT_EQ(folder->text(), QStringLiteral("Quick Saves"));
        EXPECT_FALSE(problem->isVisible());
    }
}

TEST_F(ProgramMainWindowDesktop, ARecordedShortcutStartsItsCaptureAndAKeyTakenElsewhereIsSaid)
{
    launchTheProgram();
    SchemeRowButton *custom = nullptr;
    for (SchemeRowButton *row :
         m_app->mainWindow().page(SidebarTab::hotkeys)->findChildren<SchemeRowButton *>())
        custom = row->scheme() == ShortcutScheme::custom ? row : custom;
    clickInMainWindow(SidebarTab::hotkeys, custom);
    auto *page = m_app->mainWindow().page(SidebarTab::hotkeys)->findChild<HotkeysPage *>();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(waitUntil([&] { return page->recorders().size() == 4; }, waitLimitMs));

    // Ctrl+Alt+K recorded for the full screen: the page shows it, it is kept, and that key
    // captures the display while Ctrl+Alt+1 is free for other programs.
    ShortcutRecorderButton *fullScreen = page->recorders()[0];
    auto *face = fullScreen->findChild<QAbstractButton *>(QStringLiteral("recorderButton"));
    clickInMainWindow(SidebarTab::hotkeys, face);
    ASSERT_TRUE(waitUntil([&] { return fullScreen->isRecording(); }, waitLimitMs));
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_app->mainWindow()));
    xdotool({"key", "--clearmodifiers", "ctrl+alt+k"});
    EXPECT_TRUE(waitUntil([&] { return !fullScreen->isRecording(); }, waitLimitMs));
    EXPECT_EQ(face->text(), QStringLiteral("Ctrl+Alt+K"));
    EXPECT_EQ(m_environment->settingsStore().customFullDisplay(), ShortcutData({40, 6144, "⌃⌥K"}));
    expectTheKeyCaptures("ctrl+alt+k");
    {
        X11KeyGrabber other;
        EXPECT_TRUE(other.canGrab('1', controlAlt)) << "the old key is released";
        EXPECT_FALSE(other.canGrab('k', controlAlt)) << "the new key is ours";
    }

    // Ctrl+Alt+J, which another program holds, picked for the area by hand: kept, and the page
    // says that it could not be registered until the area's own key comes back.
    auto holding = std::make_unique<X11KeyGrabber>();
    ASSERT_TRUE(holding->grab('j', controlAlt));
    ShortcutRecorderButton *area = page->recorders()[1];
    clickInMainWindow(SidebarTab::hotkeys,
                      area->findChild<QAbstractButton *>(QStringLiteral("customizeButton")));
    QWidget *picker = nullptr;
    ASSERT_TRUE(waitUntil(
        [&] {
            picker = area->findChild<QWidget *>(QStringLiteral("customPicker"));
            return picker && picker->isVisible();
        },
        waitLimitMs));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(picker->windowHandle()));
    auto *key = picker->findChild<QComboBox *>();
    ASSERT_NE(key, nullptr);
    key->setCurrentText(QStringLiteral("J"));
    auto *apply = picker->findChild<QPushButton *>(QStringLiteral("applyKeyButton"));
    ASSERT_NE(apply, nullptr);
    const std::optional<QPoint> applyAt = restingPlace(apply);
    ASSERT_TRUE(applyAt);
    clickAt(*applyAt);
    EXPECT_TRUE(waitUntil(
        [&] {
            return m_environment->settingsStore().customArea() == ShortcutData({38, 6144, "⌃⌥J"});
        },
        waitLimitMs));
    QLabel *refusal = nullptr;
    EXPECT_TRUE(waitUntil(
        [&] {
            for (QLabel *label : page->findChildren<QLabel *>())
                refusal = label->isVisible() && label->text().contains("could not be registered")
                              ? label
                              : refusal;
            return refusal != nullptr;
        },
        waitLimitMs));
    EXPECT_EQ(area->findChild<QAbstractButton *>(QStringLiteral("recorderButton"))->text(),
              QStringLiteral("Ctrl+Alt+J"));
    holding.reset();
    clickInMainWindow(SidebarTab::hotkeys,
                      area->findChild<QAbstractButton *>(QStringLiteral("resetButton")));
    EXPECT_TRUE(waitUntil([&] { return refusal && !refusal->isVisible(); }, waitLimitMs));
    X11KeyGrabber afterwards;
    EXPECT_FALSE(afterwards.canGrab('2', controlAlt)) << "the area's own key is ours again";
    expectTheKeyCaptures("ctrl+alt+k");
}

TEST_F(ProgramMainWindowDesktop, TheAccountPageSignsInAndOutWithTheFormAndTheBrowser)
{
    // The program's backend is a local one, and its keyring one of the test's.
    m_backend = std::make_unique<LocalAuthServer>();
    const QByteArray origin = qgetenv("CORVANTA_BACKEND_ORIGIN");
    const QByteArray key = qgetenv("CORVANTA_BACKEND_PUBLISHABLE_KEY");
    qputenv("CORVANTA_BACKEND_ORIGIN", m_backend->origin().toString().toUtf8());
    qputenv("CORVANTA_BACKEND_PUBLISHABLE_KEY", LocalAuthServer::apiKey);
    auto secrets = std::make_shared<FakeSecretStore>();
    launchTheProgram([secrets] {
        AppPlatform platform = desktop::makeAppPlatform();
        platform.secretStore = secrets;
        return platform;
    });
    // The program read them once, as it started.
    for (const auto &[name, value] : {std::pair{"CORVANTA_BACKEND_ORIGIN", origin},
                                      std::pair{"CORVANTA_BACKEND_PUBLISHABLE_KEY", key}}) {
        if (value.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    if (HasFatalFailure())
        return;
    AuthService &auth = *m_environment->authService();
    ASSERT_TRUE(waitUntil([&] { return auth.isRestored(); }, waitLimitMs));
    auto *view = m_app->mainWindow().page(SidebarTab::account)->findChild<AccountView *>();
    ASSERT_NE(view, nullptr);
    ASSERT_FALSE(view->showsSignedInCard());
    const auto shown = [view](const char *name) {
        return view->findChild<QLabel *>(QString::fromLatin1(name))->text();
    };
    const auto press = [&](const char *name) {
        clickInMainWindow(SidebarTab::account,
                          view->findChild<QAbstractButton *>(QString::fromLatin1(name)));
    };

    // The e-mail form: the profile card shows the account, and the session is in the keyring.
    m_app->mainWindow().selectTab(SidebarTab::account);
    typeInto(view->findChild<QLineEdit *>(QStringLiteral("emailField")),
             QString::fromLatin1(LocalAuthServer::email));
    typeInto(view->findChild<QLineEdit *>(QStringLiteral("passwordField")),
             QString::fromLatin1(LocalAuthServer::password));
    press("logInButton");
    ASSERT_TRUE(waitUntil([&] { return view->showsSignedInCard(); }, waitLimitMs));
    EXPECT_EQ(shown("emailLabel"), QString::fromLatin1(LocalAuthServer::email));
    EXPECT_EQ(shown("linkedLabel"), QStringLiteral("Email Account Linked"));
    EXPECT_EQ(m_backend->requests.last().query.queryItemValue("grant_type"), "password");
    EXPECT_FALSE(secrets->items.isEmpty());

    // Sign Out: the form again, nobody signed in, nothing left in the keyring.
    press("signOutButton");
    EXPECT_TRUE(waitUntil([&] { return !view->showsSignedInCard(); }, waitLimitMs));
    EXPECT_FALSE(auth.currentUser());
    EXPECT_TRUE(waitUntil([&] { return secrets->items.isEmpty(); }, waitLimitMs));

    // Sign in with Apple is said to be missing here; Create account and Sign in with Google
    // open their pages in the desktop's browser, and the backend's answer to the second,
    // handed to the program as the desktop hands it a callback, signs the user in.
    press("appleButton");
    EXPECT_TRUE(answerAlert(QStringLiteral("OK"))
                    .contains(platform::AbsentAppleSignInSheet::unavailableMessage));
    EXPECT_FALSE(view->showsSignedInCard());
    const QString opened = m_saved.filePath(QStringLiteral("opened.txt"));
    DesktopDefaults defaults(applicationsFolder());
    ASSERT_TRUE(defaults.add(
        QStringLiteral("Browser Probe"),
        QStringLiteral("sh -c 'echo \"$1\" >> %1' sh %u").arg(opened),
        {QStringLiteral("x-scheme-handler/http"), QStringLiteral("x-scheme-handler/https")}));
    press("createAccountButton");
    ASSERT_TRUE(waitUntil([&] { return linesOf(opened).size() == 1; }, waitLimitMs));
    EXPECT_EQ(linesOf(opened).first(), QString::fromLatin1(accountPresentation::signUpPage));
    press("googleButton");
    ASSERT_TRUE(waitUntil([&] { return linesOf(opened).size() == 2; }, waitLimitMs));
    const QUrl authorize(linesOf(opened).last());
    EXPECT_EQ(authorize.adjusted(QUrl::RemoveQuery),
              m_backend->origin().resolved(QUrl(QStringLiteral("/auth/v1/authorize"))));
    EXPECT_EQ(QUrlQuery(authorize).queryItemValue("provider"), "google");
    const QUrl callback = browse(authorize);
    ASSERT_EQ(callback.scheme(), "corvanta");
    m_app->openLaterStart({callback.toString()});
    ASSERT_TRUE(waitUntil([&] { return view->showsSignedInCard(); }, waitLimitMs));
    EXPECT_EQ(shown("linkedLabel"), QStringLiteral("Google Account Linked"));
    EXPECT_EQ(auth.currentUser()->email, QString::fromLatin1(LocalAuthServer::email));
    EXPECT_FALSE(secrets->items.isEmpty());

    // Delete Account..., confirmed: signed out here and nothing left in the keyring.
    press("deleteButton");
    EXPECT_TRUE(
        answerAlert(QStringLiteral("Delete Account")).contains(AccountView::deletionMessage));
    EXPECT_TRUE(waitUntil([&] { return !view->showsSignedInCard(); }, waitLimitMs));
    EXPECT_FALSE(auth.currentUser());
    EXPECT_TRUE(waitUntil([&] { return secrets->items.isEmpty(); }, waitLimitMs));
}

TEST_F(ProgramMainWindowDesktop, QuitInTheTrayIconsMenuEndsTheProgramAndReleasesItsKeys)
{
    launchTheProgram();
    captureWithTheHotKey(1);
    const CaptureItem staged = selected();
    ASSERT_FALSE(staged.image().isNull());
    QSystemTrayIcon &icon = m_app->trayIcon();
    ASSERT_TRUE(waitUntil([&] { return icon.geometry().isValid(); }, waitLimitMs))
        << "the tray host shows the icon";

    // The application's own loop runs, as in the program, until Quit ends it; a loop that
    // nothing ends stops after the wait limit with another code.
    QTimer::singleShot(0, [&] {
        clickAt(icon.geometry().center());
        QMenu *menu = icon.contextMenu();
        ASSERT_TRUE(waitUntil([&] { return menu->isVisible(); }, waitLimitMs));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        clickMenuEntry(menu, QStringLiteral("Quit Corvanta"));
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [] { QCoreApplication::exit(2); });
    limit.start(2 * waitLimitMs);
    EXPECT_EQ(QApplication::exec(), 0) << "Quit ended the program's loop";
    limit.stop();

    EXPECT_FALSE(m_app->mainWindow().isVisible()) << "its windows are closed";
    EXPECT_TRUE(queue().items().isEmpty());
    EXPECT_TRUE(staged.image().isNull()) << "the staged capture's file is gone";
    X11KeyGrabber other;
    for (const char key : {'1', '2', '3', '4'})
        EXPECT_TRUE(other.canGrab(key, controlAlt)) << "Ctrl+Alt+" << key << " is released";
}

} // namespace
