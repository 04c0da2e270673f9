#include "account/AccountView.h"
#include "account/AuthService.h"
#include "account/KeychainStore.h"
#include "account/SessionStore.h"
#include "account/SupabaseClient.h"
#include "app/AppEnvironmentFixture.h"
#include "app/CorvantaApp.h"
#include "support/AnimationClock.h"
#include "support/FakeAppleSignInSheet.h"
#include "support/FakeHttpTransport.h"
#include "support/FakeSecretStore.h"
#include "support/TextContrast.h"
#include "support/WaitUntil.h"
#include "windows/AccountAboutPages.h"
#include "windows/MainWindow.h"

#include <QCursor>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

class AccountWiringTest : public AppEnvironmentFixture {
protected:
    CorvantaApp::Options appOptions()
    {
        CorvantaApp::Options options;
        options.environment = environmentOptions();
        options.environment.makePlatform = [this] {
            AppPlatform platform = fakes.platform();
            platform.secretStore = secrets;
            platform.httpTransport = http;
            platform.appleSignIn = apple;
            return platform;
        };
        return options;
    }

    // The program started with its main window shown, once the stored session has been read.
    std::unique_ptr<CorvantaApp> startShown()
    {
        auto app = std::make_unique<CorvantaApp>(appOptions());
        EXPECT_TRUE(waitUntil([&] { return app->environment().authService()->isRestored(); }));
        app->mainWindow().show();
        return app;
    }

    std::shared_ptr<FakeSecretStore> secrets = std::make_shared<FakeSecretStore>();
    std::shared_ptr<FakeHttpTransport> http = std::make_shared<FakeHttpTransport>();
    std::shared_ptr<FakeAppleSignInSheet> apple = std::make_shared<FakeAppleSignInSheet>();
};

TEST_F(AccountWiringTest, TheEnvironmentOwnsTheAccountAndTheMainWindowShowsIt)
{
    auto app = std::make_unique<CorvantaApp>(appOptions());
    AuthService *auth = app->environment().authService();
    ASSERT_NE(auth, nullptr);
    EXPECT_EQ(SupabaseClient::defaultEndpoint().scheme(), "https");
    EXPECT_EQ(SupabaseClient::defaultAnonKey().size(), 46);
    EXPECT_EQ(lifecycle.events().mid(lifecycle.events().size() - 4),
              (QStringList{"made KeychainStore", "made SessionStore", "made SupabaseClient",
                           "made AuthService"}));
    // Nobody is signed in: the main window opens on the account.
    EXPECT_EQ(app->mainWindow().selectedTab(), SidebarTab::account);
    EXPECT_NE(app->mainWindow().findChild<AccountView *>(), nullptr);

    EXPECT_FALSE(app->mainWindow().isVisible());
    app->openLaterStart({});
    EXPECT_TRUE(app->mainWindow().isVisible()) << "starting the program again opens the window";

    lifecycle.clear();
    app.reset();
    EXPECT_EQ(lifecycle.events().mid(0, 4),
              (QStringList{"destroyed AuthService", "destroyed SupabaseClient",
                           "destroyed SessionStore", "destroyed KeychainStore"}));
}

TEST_F(AccountWiringTest, ASessionRestoredAfterTheWindowWasMadeOpensTheDashboard)
{
    UserProfile profile;
    profile.id = QUuid(QStringLiteral("5B0E2C4A-8F1D-4E6B-9A3C-7D2E1F0A9B8C"));
    profile.appleUserID = QStringLiteral("email_5B0E2C4A");
    profile.email = QStringLiteral("jane.doe@example.com");
    const auto storeProfile = [this, &profile] {
        secrets->items[{QString::fromLatin1(KeychainStore::defaultService),
                        QString::fromLatin1(SessionStore::profileKey)}] = profile.toJson();
    };
    storeProfile();
    // The keyring answers after the window has been made, as it does at a real start.
    secrets->gate.close();
    {
        CorvantaApp app(appOptions());
        EXPECT_EQ(app.mainWindow().selectedTab(), SidebarTab::account);
        secrets->gate.open();
        ASSERT_TRUE(waitUntil([&] { return app.environment().authService()->isRestored(); }));
        EXPECT_TRUE(app.environment().authService()->isSignedIn());
        EXPECT_EQ(app.mainWindow().selectedTab(), SidebarTab::dashboard);

        // The profile card reads white on the page.
        AnimationClock animations;
        app.mainWindow().show();
        app.mainWindow().selectTab(SidebarTab::account);
        animations.advanceBy(250); // past the page's fade-in
        for (const char *name : {"nameLabel", "emailLabel", "linkedLabel", "signOutButton"}) {
            auto *widget = app.mainWindow().findChild<QWidget *>(QLatin1String(name));
            ASSERT_NE(widget, nullptr) << name;
            EXPECT_GT(contrastOfText(widget), 4.5) << name;
        }
    }

    // A tab the user picked while the keyring was slow stays picked.
    storeProfile();
    secrets->gate.close();
    CorvantaApp app(appOptions());
    QTest::mouseClick(app.mainWindow().row(SidebarTab::pins), Qt::LeftButton);
    secrets->gate.open();
    ASSERT_TRUE(waitUntil([&] { return app.environment().authService()->isRestored(); }));
    EXPECT_EQ(app.mainWindow().selectedTab(), SidebarTab::pins);
}

TEST_F(AccountWiringTest, TheAccountPageIsReadableAndWholeAtTheDefaultSize)
{
    AnimationClock animations;
    const std::unique_ptr<CorvantaApp> app = startShown();
    MainWindow &window = app->mainWindow();
    // The test screen is narrower than the default size, which the window's first show fits.
    window.resize(MainWindow::defaultWidth, MainWindow::defaultHeight);
    ASSERT_EQ(window.selectedTab(), SidebarTab::account);
    animations.advanceBy(250); // past the page's fade-in
    auto *view = window.findChild<AccountView *>();
    ASSERT_NE(view, nullptr);
    const auto child = [view](const char *name) {
        return view->findChild<QWidget *>(QLatin1String(name));
    };
    auto *email = view->findChild<QLineEdit *>("emailField");
    auto *password = view->findChild<QLineEdit *>("passwordField");
    ASSERT_TRUE(email && password);
    QTest::keyClicks(email, "jane.doe@example.com");
    QTest::keyClicks(password, "secret-words");

    // Everything is in the window, not below the fold, and drawn whole.
    const QRect shown = window.rect();
    for (const char *name : {"welcomeLogo", "welcomeTitle", "signInHeading", "emailField",
                             "passwordField", "forgotButton", "logInButton", "appleButton",
                             "googleButton", "createAccountButton", "termsLine"}) {
        QWidget *widget = child(name);
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_TRUE(widget->isVisible()) << name;
        const QRect inWindow(widget->mapTo(&window, QPoint()), widget->size());
        EXPECT_TRUE(shown.contains(inWindow)) << name << " is outside the window";
        const int needed = widget->hasHeightForWidth() ? widget->heightForWidth(widget->width())
                                                       : widget->sizeHint().height();
        EXPECT_GE(widget->height(), needed) << name << " is clipped";
    }
    // Titles, typed text and password dots stand out from the page.
    for (const char *name : {"welcomeTitle", "signInHeading", "emailField", "passwordField",
                             "logInButton", "appleButton", "termsLine"})
        EXPECT_GT(contrastOfText(child(name)), 4.5) << name;
    // The links are drawn in the link colour on the page, not on a chip of their own.
    const QImage link = window
                            .grab(QRect(child("forgotButton")->mapTo(&window, QPoint()),
                                        child("forgotButton")->size()))
                            .toImage();
    bool linkInk = false;
    for (int y = 0; y < link.height(); ++y) {
        for (int x = 0; x < link.width(); ++x) {
            const QColor pixel = link.pixelColor(x, y);
            linkInk |= pixel.blue() > 200 && pixel.red() > 140 && pixel.green() < 160;
        }
    }
    EXPECT_TRUE(linkInk);
    EXPECT_LT(
        contrastRatio(
            link.pixel(1, 1),
            window.grab(QRect(child("forgotButton")->mapTo(&window, QPoint(-6, 0)), QSize(2, 2)))
                .toImage()
                .pixel(0, 0)),
        1.1)
        << "no chip behind the link";

    // A disabled provider button looks disabled.
    auto *apple = static_cast<QPushButton *>(child("appleButton"));
    const QImage enabled = apple->grab().toImage();
    apple->setEnabled(false);
    EXPECT_NE(apple->grab().toImage(), enabled);
    EXPECT_LT(contrastOfText(apple), contrastOfText(child("googleButton")));
}

TEST_F(AccountWiringTest, TheAccountPageHasOneLayoutForEachSignInStateWhateverTheRoute)
{
    AnimationClock animations;
    const std::unique_ptr<CorvantaApp> app = startShown();
    AuthService &auth = *app->environment().authService();
    MainWindow &window = app->mainWindow();
    QCursor::setPos(window.geometry().bottomRight() + QPoint(40, 40));
    ASSERT_EQ(window.selectedTab(), SidebarTab::account);
    auto *page = static_cast<AccountPage *>(window.page(SidebarTab::account));
    // Where the page's parts are, and its pixels.
    const auto layout = [&] {
        animations.advanceBy(250); // past the page's fade-in
        QStringList parts{page->showsHeading() ? "heading" : "no heading"};
        for (const char *name : {"signInHeading", "emailField", "createAccountButton", "termsLine",
                                 "profileCard", "nameLabel", "signOutButton", "deleteButton"}) {
            auto *part = page->findChild<QWidget *>(QLatin1String(name));
            if (part && part->isVisibleTo(page))
                parts << QStringLiteral("%1 at %2,%3 %4x%5")
                             .arg(QLatin1String(name))
                             .arg(part->mapTo(page, QPoint()).x())
                             .arg(part->mapTo(page, QPoint()).y())
                             .arg(part->width())
                             .arg(part->height());
        }
        return std::pair{parts, page->grab().toImage()};
    };
    const auto signIn = [&] {
        // The double hands its answer over: one for each request.
        http->response = {
            true, 200,
            R"({"access_token":"a","refresh_token":"r","user":)"
            R"({"id":"5B0E2C4A-8F1D-4E6B-9A3C-7D2E1F0A9B8C","email":"j@example.com"}})"};
        QCoro::waitFor(auth.signInWithEmail(QStringLiteral("j@example.com"), QStringLiteral("pw")));
    };

    const auto signedOutAtStart = layout();
    signIn();
    const auto signedInOnThePage = layout();
    QCoro::waitFor(auth.signOut());
    const auto signedOutOnThePage = layout();

    window.selectTab(SidebarTab::dashboard);
    signIn();
    window.selectTab(SidebarTab::account);
    const auto signedInElsewhere = layout();

    EXPECT_EQ(signedOutOnThePage.first.join(QStringLiteral("; ")).toStdString(),
              signedOutAtStart.first.join(QStringLiteral("; ")).toStdString());
    EXPECT_TRUE(signedOutOnThePage.second == signedOutAtStart.second) << "the same pixels";
    EXPECT_EQ(signedInOnThePage.first.join(QStringLiteral("; ")).toStdString(),
              signedInElsewhere.first.join(QStringLiteral("; ")).toStdString());
    EXPECT_TRUE(signedInOnThePage.second == signedInElsewhere.second) << "the same pixels";
    EXPECT_TRUE(signedInElsewhere.first.contains("heading"));
    EXPECT_TRUE(signedOutAtStart.first.contains("no heading"));
}

TEST_F(AccountWiringTest, BrowserCallbacksReachTheAuthServiceAndAreLoggedWithoutSecrets)
{
    CorvantaApp app(appOptions());
    AuthService &auth = *app.environment().authService();
    ASSERT_TRUE(waitUntil([&] { return auth.isRestored(); }));

    // Nobody here opened the browser: refused without a word to the backend, and logged once
    // as what it is.
    log.clear();
    app.openArguments({"corvanta://auth-callback#access_token=forged-secret"});
    ASSERT_TRUE(
        waitUntil([&] { return !log.messages("general").filter("Browser login").isEmpty(); }));
    QTest::qWait(20);
    EXPECT_TRUE(http->requests.isEmpty());
    EXPECT_EQ(log.messages("general").join(u'\n').toStdString(),
              "Browser login failed: No browser sign-in of this run is waiting for this "
              "callback.");
    log.clear();

    // The backend's text goes into the log on one line, whatever it holds.
    http->response = {true, 401,
                      "{\"id\":\"5B0E2C4A-8F1D-4E6B-9A3C-7D2E1F0A9B8C\",\"msg\":"
                      "\"invalid JWT\\n2026-12-07 com.corvanta.app.general info: forged\"}"};
    auth.signInWithGoogle();
    app.openArguments({"corvanta://auth-callback#access_token=forged-secret"});
    ASSERT_TRUE(
        waitUntil([&] { return !log.messages("general").filter("Browser login").isEmpty(); }));
    EXPECT_EQ(log.messages("general").filter("Browser login"),
              QStringList{"Browser login failed: invalid JWT\\u{000A}2026-12-07 "
                          "com.corvanta.app.general info: forged"});
    EXPECT_FALSE(auth.currentUser());

    auth.signInWithGoogle();
    http->response = {
        true, 200,
        R"({"id":"5B0E2C4A-8F1D-4E6B-9A3C-7D2E1F0A9B8C","email":"jane.doe@example.com"})"};
    app.openArguments(
        {"CORVANTA://auth-callback#access_token=ignored-secret",
         "corvanta://auth-callback#access_token=good-secret&refresh_token=refresh-secret"});
    ASSERT_TRUE(waitUntil([&] { return auth.currentUser().has_value(); }));
    EXPECT_EQ(http->requests.size(), 2) << "one request for each callback of a browser sign-in";
    EXPECT_EQ(http->requests.last().headers.value(1).second, "Bearer good-secret");
    EXPECT_EQ(auth.currentUser()->email, "jane.doe@example.com");
    EXPECT_TRUE(log.messages("general").contains("Browser login success for j***@e***"));
    const QString all = log.lines().join(u'\n');
    EXPECT_FALSE(all.contains("secret"));
    EXPECT_FALSE(all.contains("jane.doe"));
}

TEST_F(AccountWiringTest, WithoutASecretStoreThereIsNoAccount)
{
    CorvantaApp::Options options;
    options.environment = environmentOptions();
    CorvantaApp app(std::move(options));
    EXPECT_EQ(app.environment().authService(), nullptr);
    EXPECT_EQ(app.mainWindow().findChild<AccountView *>(), nullptr);
    app.openArguments({"corvanta://auth-callback#access_token=x"});
    EXPECT_TRUE(log.messages("general").contains(
        "Browser sign-in is not available; the sign-in callback is ignored"));
}

} // namespace
