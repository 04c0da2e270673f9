#include "WindowsFixture.h"

#include "windows/AccountAboutPages.h"
#include "windows/MainWindow.h"
#include "windows/PageBlocks.h"
#include "windows/WindowSymbols.h"

#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QScreen>
#include <QStackedWidget>

namespace {

class MainWindowTest : public WindowsFixture {};

TEST_F(MainWindowTest, OpensOnAccountForNobodyAndOnTheDashboardForASignedInUser)
{
    makeStore();
    MainWindow signedOut(services());
    EXPECT_EQ(signedOut.selectedTab(), SidebarTab::account);
    EXPECT_TRUE(signedOut.row(SidebarTab::account)->isSelected());

    signedIn = true;
    MainWindow withUser(services());
    EXPECT_EQ(withUser.selectedTab(), SidebarTab::dashboard);
    EXPECT_FALSE(withUser.row(SidebarTab::account)->isSelected());

    // Signing out later does not move the selection.
    signedIn = false;
    withUser.show();
    EXPECT_EQ(withUser.selectedTab(), SidebarTab::dashboard);
    EXPECT_EQ(withUser.windowTitle(), "Corvanta");
    EXPECT_EQ(withUser.minimumSize(), QSize(780, 520));
}

TEST_F(MainWindowTest, OpensInsideTheWorkAreaOfAScreenSmallerThanItsDefaultSize)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_LT(area.width(), MainWindow::defaultWidth);
    makeStore();
    MainWindow window(services());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(area.contains(window.frameGeometry()));

    // Fitted with its frame, but never below the least size.
    const QMargins frame(1, 10, 1, 3);
    EXPECT_EQ(fittedFirstSize({980, 640}, {780, 520}, QRect(0, 0, 1920, 1080), frame),
              QSize(980, 640));
    EXPECT_EQ(fittedFirstSize({980, 640}, {780, 520}, QRect(0, 0, 900, 600), frame),
              QSize(898, 587));
    EXPECT_EQ(fittedFirstSize({980, 640}, {780, 520}, QRect(0, 24, 960, 516), frame),
              QSize(958, 520));
}

TEST_F(MainWindowTest, SidebarTabsAreTheSevenTitlesInOrderAndNothingElse)
{
    QStringList titles;
    for (const SidebarTab tab : Sidebar::tabs())
        titles << Sidebar::title(tab);
    EXPECT_EQ(titles, QStringList({"Dashboard", "Hotkeys", "Staging", "Appearance", "Account",
                                   "Pins", "About"}));
    EXPECT_EQ(Sidebar::tabFromTitle("Pins"), SidebarTab::pins);
    EXPECT_EQ(Sidebar::tabFromTitle("pins"), std::nullopt);
    EXPECT_EQ(Sidebar::tabFromTitle(" About"), std::nullopt);
    EXPECT_EQ(Sidebar::icon(SidebarTab::staging), "tray.2");
}

TEST_F(MainWindowTest, RowsSwitchPagesAndTheSelectionFollowsTheAccentTheme)
{
    makeStore();
    signedIn = true;
    MainWindow window(services());
    window.show();
    auto *pages = window.findChild<QStackedWidget *>();
    ASSERT_NE(pages, nullptr);
    for (const SidebarTab tab : {SidebarTab::pins, SidebarTab::hotkeys, SidebarTab::about}) {
        click(window.row(tab));
        EXPECT_EQ(window.selectedTab(), tab);
        EXPECT_EQ(pages->currentWidget(), window.page(tab));
        int selected = 0;
        for (const SidebarTab other : Sidebar::tabs())
            selected += window.row(other)->isSelected();
        EXPECT_EQ(selected, 1);
    }
    EXPECT_EQ(window.row(SidebarTab::about)->symbolColor(),
              WindowStyle::accentColor(AccentTheme::blue));
    store().setAccentTheme(AccentTheme::monochrome);
    const QColor gray = window.row(SidebarTab::about)->symbolColor();
    EXPECT_EQ(gray, WindowStyle::accentColor(AccentTheme::monochrome));
    EXPECT_LT(gray.hslSaturation(), 30) << "Graphite is a grey";
    EXPECT_NE(gray, QColor(Qt::white));
    EXPECT_EQ(window.row(SidebarTab::pins)->symbolColor(), WindowStyle::secondaryText());
}

TEST_F(MainWindowTest, FooterTellsTheNotchStateEachTimeItIsDrawn)
{
    EXPECT_EQ(Sidebar::notchStatus(true), "Display Cutout Detected");
    EXPECT_EQ(Sidebar::notchStatus(false), "Floating Tray Mode");
    makeStore();
    WindowServices withoutTray = services();
    withoutTray.hasNotch = nullptr;
    MainWindow window(withoutTray);
    EXPECT_EQ(window.findChild<QWidget *>("notchFooter")->accessibleName(), "Floating Tray Mode");
}

TEST_F(MainWindowTest, AccountPageHostsTheAccountViewWithHeadingOnlyWhenSignedIn)
{
    makeStore();
    WindowServices withAccount = services();
    int made = 0;
    withAccount.makeAccountView = [&made] {
        ++made;
        auto *view = new QLabel("account view");
        view->setObjectName("accountView");
        return view;
    };
    MainWindow window(withAccount);
    window.show();
    auto *page = qobject_cast<AccountPage *>(window.page(SidebarTab::account));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(made, 1);
    EXPECT_NE(page->findChild<QLabel *>("accountView"), nullptr);
    EXPECT_FALSE(page->showsHeading());
    EXPECT_EQ(page->layout()->contentsMargins(), QMargins());

    // The heading follows the sign-in state the next time the tab is shown.
    signedIn = true;
    EXPECT_FALSE(page->showsHeading());
    click(window.row(SidebarTab::about));
    click(window.row(SidebarTab::account));
    EXPECT_TRUE(page->showsHeading());
    EXPECT_EQ(page->layout()->contentsMargins(), QMargins(32, 32, 32, 32));
    EXPECT_EQ(made, 1);

    // Without an account service the page is empty.
    MainWindow bare(services());
    EXPECT_EQ(bare.page(SidebarTab::account)->findChildren<QLabel *>().size(), 0);
}

TEST_F(MainWindowTest, AboutTilesOpenTheirAddressesAndTheFooterShowsThePlainYear)
{
    makeStore();
    MainWindow window(services());
    window.show();
    click(window.row(SidebarTab::about));
    for (const char *title : {"Website", "Feedback", "Privacy"})
        click(named<QAbstractButton>(window.page(SidebarTab::about), title));
    ASSERT_EQ(openedUrls.size(), 3);
    EXPECT_EQ(openedUrls[0].scheme(), "https");
    EXPECT_EQ(openedUrls[1].scheme(), "mailto");
    EXPECT_EQ(openedUrls[1].query(QUrl::FullyEncoded), "subject=Corvanta%20Feedback");
    EXPECT_EQ(openedUrls[2].path(), "/privacy");
    EXPECT_EQ(openedUrls[2].host(), openedUrls[0].host());
    EXPECT_TRUE(AboutPage::rightsNotice(2026).contains("2026"));
    EXPECT_FALSE(AboutPage::rightsNotice(12026).contains("12,026"));
    EXPECT_TRUE(AboutPage::rightsNotice(2026).contains("Corvanta"));
}

} // namespace

namespace {

TEST(WindowSymbolsTest, EverySymbolThePagesNameHasAShapeThatDrawsInItsColour)
{
    const QStringList names = {"sparkles",
                               "command",
                               "tray.2",
                               "paintpalette",
                               "person.crop.circle",
                               "pin.fill",
                               "info.circle",
                               "display",
                               "crop",
                               "macwindow",
                               "record.circle",
                               "camera",
                               "speaker.wave.2",
                               "cursorarrow",
                               "timer",
                               "photo",
                               "plus.magnifyingglass",
                               "eye.slash",
                               "arrow.up.and.down.and.arrow.left.and.right",
                               "gearshape",
                               "arrow.triangle.2.circlepath",
                               "folder",
                               "internaldrive",
                               "chevron.up.chevron.down",
                               "checkmark",
                               "keyboard",
                               "safari",
                               "envelope",
                               "hand.raised",
                               "xmark.circle.fill",
                               "pin.slash",
                               "arrow.up.left",
                               "arrow.up.right",
                               "arrow.down.left",
                               "arrow.down.right",
                               "doc.on.clipboard",
                               "arrow.down.to.line.compact",
                               "arrow.up.right.square",
                               "pencil.tip.crop.circle",
                               "text.viewfinder",
                               "pin",
                               "trash",
                               "trash.circle",
                               "number.square",
                               "checkmark.circle.fill",
                               "exclamationmark.triangle.fill"};
    for (const QString &name : names) {
        EXPECT_TRUE(isKnownSymbol(name)) << name.toStdString();
        QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        paintSymbol(painter, name, QRectF(0, 0, 32, 32), QColor(255, 0, 0));
        painter.end();
        int red = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x)
                red += qAlpha(image.pixel(x, y)) > 128 && qRed(image.pixel(x, y)) > 128;
        }
        EXPECT_GT(red, 12) << name.toStdString() << " draws next to nothing";
    }
    // An unknown name draws nothing here, as everywhere.
    SymbolView unknown(QStringLiteral("no.such.symbol"), 32, QColor(255, 0, 0));
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    unknown.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    int inked = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x)
            inked += qAlpha(image.pixel(x, y)) > 0;
    }
    EXPECT_EQ(inked, 0);
}

} // namespace
