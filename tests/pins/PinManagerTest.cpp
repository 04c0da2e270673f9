#include "PinTestSupport.h"

#include "pins/PinManager.h"
#include "pins/PinStackContentView.h"
#include "pins/PinStackWindowController.h"

#include <QFile>
#include <QSet>
#include <gtest/gtest.h>

namespace {

QList<QUuid> idsOf(const QList<PinItemPtr> &items)
{
    QList<QUuid> ids;
    for (const PinItemPtr &item : items)
        ids << item->id();
    return ids;
}

class PinManagerTest : public ::testing::Test {
protected:
    PinModel model;
    PinManager manager{model.settings, model.services()};
    PinStackWindowController *deck() const { return manager.stackController(); }
};

TEST_F(PinManagerTest, PinsGoToTheFrontOfOneDeckMadeOnTheFirstPin)
{
    EXPECT_EQ(deck(), nullptr);
    const PinItemPtr a = imagePin(Qt::red);
    const PinItemPtr b = imagePin(Qt::green);
    manager.addToStack(a);
    ASSERT_NE(deck(), nullptr);
    PinStackWindowController *first = deck();
    ASSERT_NE(first->window(), nullptr);
    EXPECT_TRUE(first->window()->isVisible());
    manager.addToStack(b);
    const CaptureItem capture = makeCapture();
    QCoro::waitFor(manager.pin(capture));
    EXPECT_EQ(deck(), first);
    EXPECT_EQ(idsOf(deck()->items()), (QList<QUuid>{capture.id(), b->id(), a->id()}));
    EXPECT_EQ(deck()->items().first()->title(), capture.fileName());
    EXPECT_TRUE(model.deleted().isEmpty());
    EXPECT_TRUE(model.panels->wasPrepared(first->window()));
}

TEST_F(PinManagerTest, ImagesFilesAndMoviesArePinnedAsNewPinsAtTheFront)
{
    const QImage picture = solidImage(30, 20, Qt::red);
    const QImage poster = solidImage(16, 9, Qt::blue);
    const QUrl file = QUrl::fromLocalFile("/tmp/notes/Plan B.pdf");
    const QUrl movie = QUrl::fromLocalFile("/tmp/films/Take 2.mp4");
    manager.pinFile(QUrl::fromLocalFile("/tmp/notes/Drafts/"));
    manager.pinImage(picture);
    manager.pinImage(picture, QStringLiteral("Receipt"));
    manager.pinFile(file);
    manager.pinVideo(movie, poster);
    manager.pinVideo(movie);
    ASSERT_NE(deck(), nullptr);
    ASSERT_NE(deck()->window(), nullptr);
    const QList<PinItemPtr> items = deck()->items();
    ASSERT_EQ(items.size(), 6);
    QStringList titles;
    for (const PinItemPtr &item : items)
        titles << item->title();
    EXPECT_EQ(titles, (QStringList{"Take 2.mp4", "Take 2.mp4", "Plan B.pdf", "Receipt",
                                   "Pinned Image", "Drafts"}));
    const QList<QUuid> ids = idsOf(items);
    EXPECT_EQ(QSet<QUuid>(ids.begin(), ids.end()).size(), 6);
    EXPECT_FALSE(items[0]->content().thumbnail);
    EXPECT_EQ(items[1]->content().kind, PinContent::Kind::video);
    EXPECT_EQ(items[1]->content().url, movie);
    EXPECT_EQ(items[1]->previewImage(), poster);
    EXPECT_EQ(items[2]->content().kind, PinContent::Kind::file);
    EXPECT_EQ(items[2]->fileURL(), file);
    EXPECT_EQ(items[4]->bitmap(), picture);
    EXPECT_TRUE(model.deleted().isEmpty());
}

TEST_F(PinManagerTest, UnpinningAnnouncesAndTakesEveryPinOfTheIdentifier)
{
    const CaptureItem twice = makeCapture();
    const PinItemPtr other = imagePin(Qt::blue);
    QCoro::waitFor(manager.pin(twice));
    manager.addToStack(other);
    QCoro::waitFor(manager.pin(twice));
    ASSERT_EQ(deck()->items().size(), 3);

    manager.unpin(twice.id());
    EXPECT_EQ(model.deleted(), (QList<QUuid>{twice.id(), twice.id()}))
        << "once by the manager, once by the deck";
    EXPECT_EQ(idsOf(deck()->items()), QList<QUuid>{other->id()});
    EXPECT_NE(deck()->window(), nullptr);

    const QUuid nowhere = QUuid::createUuid();
    manager.unpin(nowhere);
    EXPECT_EQ(model.deleted().last(), nowhere);
    EXPECT_EQ(model.deleted().size(), 3);
    EXPECT_EQ(deck()->items().size(), 1);
}

TEST_F(PinManagerTest, RemovingTheLastPinClosesTheDeckAndTheNextPinOpensItAfresh)
{
    const PinItemPtr only = imagePin(Qt::red);
    manager.addToStack(only);
    QPointer<QWidget> panel = deck()->window();
    deck()->remove(only);
    EXPECT_EQ(model.deleted(), QList<QUuid>{only->id()});
    EXPECT_TRUE(deck()->items().isEmpty());
    EXPECT_EQ(deck()->window(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(panel.isNull());

    model.settings.setPinPlacement(PinPlacement::bottomLeft);
    manager.addToStack(imagePin(Qt::green));
    ASSERT_NE(deck()->window(), nullptr);
    EXPECT_EQ(deck()->window()->geometry().bottomLeft(), QPoint(20, 900 - 20 - 1));
}

TEST_F(PinManagerTest, CloseAllAnnouncesNothingAndKeepsTheController)
{
    for (int i = 0; i < 5; ++i)
        manager.addToStack(imagePin(Qt::red));
    PinStackWindowController *controller = deck();
    controller->view()->stack().setExpanded(true);
    manager.closeAll();
    EXPECT_TRUE(model.deleted().isEmpty());
    EXPECT_EQ(deck(), controller);
    EXPECT_TRUE(deck()->items().isEmpty());
    EXPECT_EQ(deck()->window(), nullptr);
    // Close-all during a fan-out leaves no outside-click watch running.
    ASSERT_FALSE(model.monitors.isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    const PinItemPtr next = imagePin(Qt::green);
    manager.addToStack(next);
    EXPECT_EQ(idsOf(deck()->items()), QList<QUuid>{next->id()});
    EXPECT_NE(deck()->window(), nullptr);
    EXPECT_FALSE(deck()->view()->stack().isExpanded()) << "a new panel starts collapsed";
}

TEST_F(PinManagerTest, StormsOfPinsAndUnpinsKeepTheDeckConsistent)
{
    QList<QUuid> kept;
    for (int i = 0; i < 300; ++i) {
        const PinItemPtr pin = imagePin(QColor::fromHsv(i % 360, 200, 200));
        manager.addToStack(pin);
        if (i % 3 == 0)
            manager.unpin(pin->id());
        else
            kept.prepend(pin->id());
    }
    EXPECT_EQ(idsOf(deck()->items()), kept);
    EXPECT_EQ(deck()->view()->items().size(), PinStackContentView::deckItemLimit);
    EXPECT_EQ(deck()->view()->stack().visibleCount(), 8);
    for (const QUuid &id : kept)
        manager.unpin(id);
    EXPECT_TRUE(deck()->items().isEmpty());
    EXPECT_EQ(deck()->window(), nullptr);
}

TEST_F(PinManagerTest, ACaptureWhosePictureIsGoneIsNotPinnedBlank)
{
    const CaptureItem gone = makeCapture(Qt::red);
    ASSERT_TRUE(QFile::remove(gone.storedImage(QDeadlineTimer(10000)).pngPath));
    EXPECT_FALSE(QCoro::waitFor(manager.pin(gone)));
    // Still there, but overwritten with anything but its picture.
    const CaptureItem junk = makeCapture(Qt::green);
    ASSERT_TRUE(spoilFile(junk.storedImage(QDeadlineTimer(10000)).pngPath));
    EXPECT_FALSE(QCoro::waitFor(manager.pin(junk)));
    EXPECT_EQ(deck(), nullptr) << "no deck made for nothing";

    // A recording without its poster still has its movie.
    const CaptureItem movie = makeCapture(Qt::blue, QUrl::fromLocalFile("/tmp/Recording-p.mp4"));
    ASSERT_TRUE(QFile::remove(movie.storedImage(QDeadlineTimer(10000)).pngPath));
    EXPECT_TRUE(QCoro::waitFor(manager.pin(movie)));
    ASSERT_NE(deck(), nullptr);
    EXPECT_EQ(idsOf(deck()->items()), QList<QUuid>{movie.id()});
}

} // namespace
