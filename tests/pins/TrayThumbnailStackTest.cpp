#include "PinTestSupport.h"

#include "pins/TrayThumbnailStack.h"
#include "support/WaitUntil.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

using PinCardDrawing::Symbol;

class TrayThumbnailStackTest : public ::testing::Test {
protected:
    std::unique_ptr<TrayThumbnailStack> make(TrayThumbnailStack::Options options)
    {
        auto view = std::make_unique<TrayThumbnailStack>(std::move(options), nullptr);
        view->resize(600, 200);
        view->show();
        return view;
    }
    QPoint onCard(TrayThumbnailStack &view, int index, QPointF inCard)
    {
        waitUntil([&] { return !view.stack().isAnimating(); });
        return StackLayout::cardTransform(view.stack().config(), view.stack().currentPoses()[index],
                                          view.stack().pileRect().center())
            .map(inCard)
            .toPoint();
    }

    TempDirScope temp;
};

TEST_F(TrayThumbnailStackTest, ShowsTheFirstFiveCapturesWithTheTrayLook)
{
    auto view = make({});
    QList<CaptureItem> captures;
    for (int i = 0; i < 7; ++i)
        captures << makeCapture(QColor::fromHsv(i * 40, 200, 200));
    view->setItems(captures);
    ASSERT_EQ(view->items().size(), 5);
    EXPECT_EQ(view->items().last().id(), captures[4].id());
    EXPECT_EQ(view->stack().visibleCount(), 5);
    const StackLayoutConfig config = view->stack().config();
    EXPECT_EQ(config.itemSize, QSizeF(120, 80));
    EXPECT_EQ(config.expandedSpread, 28.0);
    EXPECT_EQ(config.collapsedOffsetRange.upper, 3.0);
    view->setItems({});
    EXPECT_EQ(view->stack().visibleCount(), 0);
}

TEST_F(TrayThumbnailStackTest, TheCapsuleHoldsTheGivenActionsOnTheHoveredSpreadCard)
{
    EXPECT_TRUE(make({})->capsuleSymbols().isEmpty());
    QList<QUuid> deleted;
    TrayThumbnailStack::Options options;
    options.onDelete = [&deleted](const CaptureItem &item) { deleted << item.id(); };
    auto view = make(options);
    EXPECT_EQ(view->capsuleSymbols(), QList<Symbol>{Symbol::trash});
    const QList<CaptureItem> captures{makeCapture(Qt::red), makeCapture(Qt::blue)};
    view->setItems(captures);
    const PinCardDrawing::Capsule capsule = PinCardDrawing::capsule(QSizeF(120, 80), 1);
    const QPointF trash = capsule.buttons[0].center();

    // Collapsed: the capsule's place is only the card, and a click fans the pile out.
    QTest::mouseMove(&view->stack(), onCard(*view, 1, trash));
    QTest::mouseClick(&view->stack(), Qt::LeftButton, {}, onCard(*view, 1, trash));
    EXPECT_TRUE(deleted.isEmpty());
    EXPECT_TRUE(view->stack().isExpanded());

    QTest::mouseMove(&view->stack(), onCard(*view, 0, QPointF(60, 20)));
    ASSERT_EQ(view->stack().activeHoverID(), captures[0].id());
    QTest::mouseClick(&view->stack(), Qt::LeftButton, {}, onCard(*view, 0, trash));
    EXPECT_EQ(deleted, QList<QUuid>{captures[0].id()});

    TrayThumbnailStack::Options all;
    all.onCopy = [](const CaptureItem &) {};
    all.onSave = [](const CaptureItem &) {};
    all.onDelete = [](const CaptureItem &) {};
    all.topStrokeColor = Qt::red;
    all.topStrokeWidth = 3;
    EXPECT_EQ(make(all)->capsuleSymbols(),
              (QList<Symbol>{Symbol::copy, Symbol::save, Symbol::trash}));
}

TEST_F(TrayThumbnailStackTest, AThumbnailCoversItsCard)
{
    // A wide picture fills the card's height and is cut at the sides.
    QImage wide(300, 100, QImage::Format_RGB32);
    wide.fill(Qt::blue);
    for (int x = 0; x < 100; ++x)
        for (int y = 0; y < 100; ++y)
            wide.setPixelColor(x, y, Qt::red);
    const QPixmap covered = PinCardDrawing::coverPixmap(wide, QSizeF(120, 80), 1.0);
    EXPECT_EQ(covered.size(), QSize(120, 80));
    const QImage image = covered.toImage();
    EXPECT_EQ(image.pixelColor(2, 40), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(118, 40), QColor(Qt::blue));
    // The middle third of the picture is in the middle of the card.
    EXPECT_EQ(image.pixelColor(60, 2), QColor(Qt::blue));
}

} // namespace
