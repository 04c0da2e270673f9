#include "app/CorvantaApp.h"
#include "app/AppEnvironmentFixture.h"
#include "app/CorvantaMenuView.h"
#include "support/FakeBrowserSignIn.h"
#include "windows/MainWindow.h"

#include <QApplication>
#include <QSystemTrayIcon>

namespace {

class CorvantaAppTest : public AppEnvironmentFixture {};

TEST_F(CorvantaAppTest, DeclaresTheHiddenMainWindowAndTheTrayMenuAndTakesCallbacks)
{
    auto signIn = std::make_shared<FakeBrowserSignIn>();
    CorvantaApp::Options options;
    options.environment = environmentOptions();
    options.signIn = signIn;
    CorvantaApp app(std::move(options));

    const MainWindow &window = app.mainWindow();
    EXPECT_EQ(window.windowTitle(), "Corvanta");
    EXPECT_EQ(window.size(), QSize(980, 640));
    EXPECT_FALSE(window.isVisible());
    qsizetype titled = 0;
    for (const QWidget *widget : QApplication::topLevelWidgets())
        titled += widget->windowTitle() == QLatin1String("Corvanta");
    EXPECT_EQ(titled, 1) << "no other window carries the main window's title";

    EXPECT_EQ(app.trayIcon().contextMenu(), app.menuView().menu());
    EXPECT_FALSE(app.trayIcon().icon().isNull());
    EXPECT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    EXPECT_EQ(log.messages("general").filter("No system tray is available").size(), 1);

    app.openArguments({"--flag", "corvanta://auth-callback#access_token=x", "corvanta://x"});
    ASSERT_EQ(signIn->received.size(), 1);
    EXPECT_EQ(signIn->received[0].host(), "auth-callback");
}

} // namespace
