#include "tray/TrayActionButton.h"
#include "support/AnimationClock.h"
#include "tray/TrayActionButtonStyle.h"

#include <QEnterEvent>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

namespace {

QImage renderOnBlack(QWidget &widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    widget.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

void sendEnter(QWidget &widget)
{
    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
    QApplication::sendEvent(&widget, &enter);
}

void sendLeave(QWidget &widget)
{
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&widget, &leave);
}

} // namespace

TEST(TrayActionButtons, VisibleButtonsFollowTheDisabledSetInTheirFixedOrder)
{
    using B = TrayButtonID;
    EXPECT_EQ(visibleTrayButtons(true, {}),
              (QList<B>{B::copy, B::save, B::open, B::annotate, B::ocr, B::pin, B::delete_}));
    EXPECT_EQ(visibleTrayButtons(true, {"open", "ocr", "no-such-button"}),
              (QList<B>{B::copy, B::save, B::annotate, B::pin, B::delete_}));
    EXPECT_TRUE(
        visibleTrayButtons(true, {"copy", "save", "open", "annotate", "ocr", "pin", "delete"})
            .isEmpty());
    EXPECT_TRUE(visibleTrayButtons(false, {}).isEmpty());
}

TEST(TrayActionButtons, EveryButtonHasADrawnSymbol)
{
    QStringList names;
    for (TrayButtonID button : allCases<TrayButtonID>()) {
        names << traySymbolName(button);
        EXPECT_TRUE(isKnownSymbol(names.last())) << names.last().toStdString();
    }
    EXPECT_EQ(names,
              (QStringList{"doc.on.clipboard", "arrow.down.to.line.compact", "eye",
                           "pencil.tip.crop.circle", "text.viewfinder", "pin.fill", "trash"}));
    for (const char *other : {"xmark", "play.fill"})
        EXPECT_TRUE(isKnownSymbol(other));
    // An unknown symbol draws nothing rather than failing.
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintSymbol(painter, "no.such.symbol", QRectF(0, 0, 16, 16), Qt::white);
    painter.end();
    EXPECT_EQ(image.pixel(8, 8), 0u);
}

TEST(TrayActionButtons, TheAnnotateSymbolIsALongPencilNotARoundSign)
{
    // Drawn large, the ink's spread along its longest direction against across it: a pencil is
    // long and thin, a ring or a slashed circle as wide one way as the other.
    QImage image(96, 96, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintSymbol(painter, traySymbolName(TrayButtonID::annotate), QRectF(0, 0, 96, 96), Qt::white,
                1.5);
    painter.end();
    double total = 0, mx = 0, my = 0;
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x) {
            const double a = qAlpha(image.pixel(x, y));
            total += a;
            mx += a * x;
            my += a * y;
        }
    ASSERT_GT(total, 0);
    mx /= total;
    my /= total;
    double xx = 0, yy = 0, xy = 0;
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x) {
            const double a = qAlpha(image.pixel(x, y)) / total;
            xx += a * (x - mx) * (x - mx);
            yy += a * (y - my) * (y - my);
            xy += a * (x - mx) * (y - my);
        }
    const double mean = (xx + yy) / 2;
    const double spread = std::sqrt((xx - yy) * (xx - yy) / 4 + xy * xy);
    const double along = mean + spread, across = mean - spread;
    EXPECT_GT(along, 6 * across);
    EXPECT_LT(xy, 0) << "from the lower left to the upper right";
}

TEST(TrayActionButtons, AClickOnThePlateRunsTheActionOnce)
{
    int runs = 0;
    TrayActionButton button("trash", [&] { ++runs; });
    button.show();
    EXPECT_EQ(button.size(), QSize(38, 38));
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(19, 19));
    EXPECT_EQ(runs, 1);
    // The rim left for the hover scale is not part of the button.
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(0, 19));
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(button.toolTip().isEmpty());
    EXPECT_TRUE(button.text().isEmpty());
}

TEST(TrayActionButtons, HoveringBrightensThePlate)
{
    AnimationClock animations;
    TrayActionButton button("eye", {});
    const int before = qRed(renderOnBlack(button).pixel(19, 4));
    sendEnter(button);
    EXPECT_TRUE(button.isHovered());
    // On the button's hover spring, as far as it is 64 ms and 128 ms in.
    animations.advanceBy(64);
    EXPECT_NEAR(button.hoverProgress(), TrayActionButton::hoverSpring.value(0.064), 0.01);
    animations.advanceBy(64);
    EXPECT_NEAR(button.hoverProgress(), TrayActionButton::hoverSpring.value(0.128), 0.01);
    animations.advanceBy(300);
    const int hovered = qRed(renderOnBlack(button).pixel(19, 4));
    EXPECT_GT(hovered, before);
    sendLeave(button);
    EXPECT_FALSE(button.isHovered());
    animations.advanceBy(300);
    EXPECT_EQ(qRed(renderOnBlack(button).pixel(19, 4)), before);
}

TEST(TrayActionButtons, RecordingButtonsLookAsTheirKind)
{
    TrayRecordingButton stop(TrayRecordingButton::Kind::stop);
    TrayRecordingButton cancel(TrayRecordingButton::Kind::cancel);
    EXPECT_EQ(stop.text(), "Stop Recording");
    EXPECT_GT(stop.sizeHint().width(), stop.sizeHint().height());
    EXPECT_EQ(cancel.sizeHint().width(), cancel.sizeHint().height());
    stop.resize(stop.sizeHint());
    // A red capsule.
    const QColor middle = renderOnBlack(stop).pixelColor(4, stop.height() / 2);
    EXPECT_GT(middle.red(), 200);
    EXPECT_LT(middle.green(), 100);
}
