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

bool litAt(const QImage &image, QPointF inBox)
{
    // drawn() paints the 16-unit box at twice its size.
    return qAlpha(image.pixel((inBox * 2).toPoint())) > 128;
}

// Open lines are stroked as lines: joining them into one outline would close each into a
// polygon, drawing edges that are no part of the symbol and losing lines that enclose nothing.
TEST(Symbols, OpenLinesAreDrawnAsLinesNotAsClosedShapes)
{
    struct Case {
        const char *name;
        QList<QPointF> lit;
        QList<QPointF> dark;
    };
    const QList<Case> cases{
        // The two corner strokes, also where they cross each other; inside the corners, where
        // the closing edges of two triangles would run, nothing.
        {"crop",
         {{4, 2.5}, {4, 5.5}, {8, 12}, {13.5, 12}, {2.5, 4}, {8, 4}, {12, 8.5}, {12, 13.5}},
         {{5.5, 2.5}, {13.5, 10.5}, {2.5, 5.5}, {10.5, 13.5}}},
        // The needle, the crossbar beside the head and both ends of the slash.
        {"pin.slash", {{8, 11}, {8, 13.5}, {4, 8}, {3, 13}, {13, 3}}, {}},
        // Both chevrons, tips too; nothing inside either, across their open ends, or where one
        // would run on into the other.
        {"chevron.up.chevron.down",
         {{6, 4.5}, {10, 4.5}, {8, 2.5}, {6, 11.5}, {10, 11.5}, {8, 13.5}},
         {{8, 4.5}, {8, 11.5}, {8, 6}, {8, 10}, {8, 8}, {4.5, 8}, {11.5, 8}}},
    };
    for (const Case &c : cases) {
        const QImage image = drawn(c.name);
        for (const QPointF &point : c.lit)
            EXPECT_TRUE(litAt(image, point))
                << c.name << " has no line at " << point.x() << "," << point.y();
        for (const QPointF &point : c.dark)
            EXPECT_FALSE(litAt(image, point))
                << c.name << " draws a stray edge at " << point.x() << "," << point.y();
    }
}

TEST(Symbols, AnUnknownNameDrawsNothing)
{
    EXPECT_FALSE(isKnownSymbol("no.such.symbol"));
    EXPECT_EQ(inkedPixels(drawn("no.such.symbol")), 0);
    EXPECT_EQ(inkedPixels(drawn(QString())), 0);
}

} // namespace
