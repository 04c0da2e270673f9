#include "capture/ShareService.h"
#include "capture/ActionTestSupport.h"
#include "model/TemporaryFiles.h"
#include "support/FakeShareDestinations.h"

#include <QApplication>
#include <QImageReader>
#include <QMenu>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

class ShareServiceTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    static QMenu *shownMenu() { return qobject_cast<QMenu *>(QApplication::activePopupWidget()); }
    static QStringList entries(QMenu *menu)
    {
        QStringList names;
        for (QAction *action : menu->actions())
            names << action->text() + (action->isEnabled() ? "" : " (disabled)");
        return names;
    }

    TempDirScope tmp;
    std::shared_ptr<FakeShareDestinations> destinations = std::make_shared<FakeShareDestinations>();
    ShareService service{destinations};
    QWidget view;
};

TEST_F(ShareServiceTest, ChosenDestinationGetsThePngFromAMenuBelowTheView)
{
    destinations->destinations = {{"viewer.desktop", "Image Viewer", "viewer"},
                                  {"xdg-email", "E-mail", "mail-message-new"}};
    view.setGeometry(200, 150, 300, 100);
    view.show();
    service.share(filledImage(64, 32, Qt::red), &view);
    QMenu *menu = shownMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(entries(menu), QStringList({"Image Viewer", "E-mail"}));
    EXPECT_EQ(destinations->askedTypes, QStringList("image/png"));
    EXPECT_EQ(menu->pos(),
              ShareService::pickerPosition(QRect(view.mapToGlobal(QPoint(0, 0)), view.size()),
                                           menu->sizeHint()));
    EXPECT_EQ(ShareService::pickerPosition(QRect(100, 50, 300, 200), QSize(120, 80)),
              QPoint(190, 250));

    menu->actions().first()->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !destinations->opened.isEmpty(); }, 5000));
    const auto &[destination, path] = destinations->opened.first();
    EXPECT_EQ(destination.id, "viewer.desktop");
    EXPECT_TRUE(path.startsWith(tmp.capturesPath() + '/'));
    EXPECT_EQ(QImageReader(path).size(), QSize(64, 32));
    // The application may open it at any time while the program runs, never after it ends.
    TemporaryFiles::deletePendingNow();
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(ShareServiceTest, ActiveWindowStandsInForTheViewAndWithoutEitherNothingShows)
{
    service.share(filledImage(8, 8, Qt::red));
    EXPECT_EQ(shownMenu(), nullptr);

    view.show();
    QApplication::setActiveWindow(&view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    service.share(filledImage(8, 8, Qt::red));
    ASSERT_NE(shownMenu(), nullptr);
    EXPECT_EQ(shownMenu()->parentWidget(), &view);
    // With nothing to offer, the menu says so.
    EXPECT_EQ(entries(shownMenu()), QStringList("No applications available (disabled)"));
}

} // namespace
