#include "capture/ShareService.h"
#include "capture/ActionTestSupport.h"
#include "support/FakeShareDestinations.h"
#include "support/LogCapture.h"

#include <QApplication>
#include <QImageReader>
#include <QMenu>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

using platform::ShareDestination;

namespace {

class ShareServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        destinations->destinations = {{"viewer.desktop", "Image Viewer", "viewer"},
                                      {"xdg-email", "E-mail", "mail-message-new"}};
        view.setGeometry(200, 150, 300, 100);
    }
    void TearDown() override
    {
        if (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    static QMenu *shownMenu() { return qobject_cast<QMenu *>(QApplication::activePopupWidget()); }

    TempDirScope tmp;
    LogCapture log;
    std::shared_ptr<FakeShareDestinations> destinations = std::make_shared<FakeShareDestinations>();
    ShareService service{destinations};
    QWidget view;
};

TEST_F(ShareServiceTest, MenuOpensBelowTheViewWithTheDestinationsInOrder)
{
    view.show();
    service.share(filledImage(64, 32, Qt::red), &view);
    QMenu *menu = shownMenu();
    ASSERT_NE(menu, nullptr);
    QStringList names;
    for (QAction *action : menu->actions())
        names << action->text();
    EXPECT_EQ(names, QStringList({"Image Viewer", "E-mail"}));
    EXPECT_EQ(destinations->askedTypes, QStringList("image/png"));
    const QRect anchor(view.mapToGlobal(QPoint(0, 0)), view.size());
    EXPECT_EQ(menu->pos(), ShareService::pickerPosition(anchor, menu->sizeHint()));
    EXPECT_TRUE(destinations->opened.isEmpty()); // nothing happens until one is chosen
}

TEST_F(ShareServiceTest, PickerIsCentredUnderTheAnchor)
{
    EXPECT_EQ(ShareService::pickerPosition(QRect(100, 50, 300, 200), QSize(120, 80)),
              QPoint(190, 250));
}

TEST_F(ShareServiceTest, ChosenDestinationGetsTheImageAsAPngFile)
{
    view.show();
    service.share(filledImage(64, 32, Qt::red), &view);
    ASSERT_NE(shownMenu(), nullptr);
    shownMenu()->actions().first()->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !destinations->opened.isEmpty(); }, 5000));

    const auto &[destination, path] = destinations->opened.first();
    EXPECT_EQ(destination.id, "viewer.desktop");
    EXPECT_TRUE(path.startsWith(tmp.capturesPath() + '/')) << path.toStdString();
    EXPECT_TRUE(path.endsWith(".png"));
    EXPECT_EQ(QImageReader(path).size(), QSize(64, 32));
}

TEST_F(ShareServiceTest, WithoutViewTheActiveWindowAnchorsAndWithoutEitherNothingShows)
{
    service.share(filledImage(8, 8, Qt::red));
    EXPECT_EQ(shownMenu(), nullptr);
    EXPECT_TRUE(destinations->askedTypes.isEmpty());

    view.show();
    QApplication::setActiveWindow(&view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    service.share(filledImage(8, 8, Qt::red));
    ASSERT_NE(shownMenu(), nullptr);
    EXPECT_EQ(shownMenu()->parentWidget(), &view);
}

TEST_F(ShareServiceTest, NoDestinationsShowsADisabledEntry)
{
    destinations->destinations.clear();
    view.show();
    service.share(filledImage(8, 8, Qt::red), &view);
    ASSERT_NE(shownMenu(), nullptr);
    ASSERT_EQ(shownMenu()->actions().size(), 1);
    EXPECT_FALSE(shownMenu()->actions().first()->isEnabled());
}

} // namespace
