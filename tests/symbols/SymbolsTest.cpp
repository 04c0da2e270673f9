#include "symbols/Symbols.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

QImage drawn(const QString &name)
{
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintSymbol(painter, name, QRectF(0, 0, 32, 32), Qt::white);
    painter.end();
    return image;
}

int inkedPixels(const QImage &image)
{
    int inked = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            inked += qAlpha(image.pixel(x, y)) > 128;
    }
    return inked;
}

// Every surface draws from the one table: a few names of the tray, the preview and markup
// controls, the pins and the windows' pages.
TEST(Symbols, EverySurfacesSymbolsAreInTheOneTable)
{
    for (const char *name : {"doc.on.clipboard",
                             "trash",
                             "pin.fill",
                             "eye.slash",
                             "checkmark",
                             "folder",
                             "arrow.up.right",
                             "highlighter",
                             "number.circle.fill",
                             "arrow.uturn.backward",
                             "speaker.slash.fill",
                             "pause.fill",
                             "square.and.arrow.up",
                             "sparkles",
                             "gearshape",
                             "keyboard",
                             "arrow.down.left",
                             "g.circle.fill",
                             "pin",
                             "pin.slash"}) {
        EXPECT_TRUE(isKnownSymbol(name)) << name;
        EXPECT_GT(inkedPixels(drawn(name)), 12) << name << " draws next to nothing";
    }
}

TEST(Symbols, OneNameDrawsOneShapeWhoeverAsks)
{
    // The windows' "pin" is the tray's pinned-pin symbol.
    EXPECT_EQ(drawn("pin"), drawn("pin.fill"));
    EXPECT_NE(drawn("pin.slash"), drawn("pin.fill"));
}

TEST(Symbols, AnUnknownNameDrawsNothing)
{
    EXPECT_FALSE(isKnownSymbol("no.such.symbol"));
    EXPECT_EQ(inkedPixels(drawn("no.such.symbol")), 0);
    EXPECT_EQ(inkedPixels(drawn(QString())), 0);
}

} // namespace
