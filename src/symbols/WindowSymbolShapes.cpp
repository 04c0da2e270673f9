#include "symbols/SymbolTable.h"

#include <QPainterPath>
#include <QPainterPathStroker>
#include <cmath>

// The symbols of the main and settings windows' pages.

namespace {

QPainterPath circle(double cx, double cy, double r)
{
    QPainterPath path;
    path.addEllipse(QPointF(cx, cy), r, r);
    return path;
}

QPainterPath rounded(double x, double y, double w, double h, double r)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, w, h), r, r);
    return path;
}

QPainterPath line(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    bool first = true;
    for (const QPointF &point : points) {
        if (first)
            path.moveTo(point);
        else
            path.lineTo(point);
        first = false;
    }
    return path;
}

// A closed run of cubic curves from `start`, each given by its two control points and its end.
struct Cubic {
    QPointF first;
    QPointF second;
    QPointF end;
};

QPainterPath cubics(QPointF start, std::initializer_list<Cubic> curves)
{
    QPainterPath path;
    path.moveTo(start);
    for (const Cubic &curve : curves)
        path.cubicTo(curve.first, curve.second, curve.end);
    return path;
}

QPainterPath star(double cx, double cy, double r)
{
    QPainterPath path;
    path.moveTo(cx, cy - r);
    path.quadTo(cx, cy, cx + r, cy);
    path.quadTo(cx, cy, cx, cy + r);
    path.quadTo(cx, cy, cx - r, cy);
    path.quadTo(cx, cy, cx, cy - r);
    return path;
}

// An arrow from the centre towards one corner; dx and dy are ±1.
QPainterPath cornerArrow(int dx, int dy)
{
    const QPointF tip(8 + 5 * dx, 8 + 5 * dy);
    QPainterPath path = line({QPointF(8 - 4 * dx, 8 - 4 * dy), tip});
    path.addPath(
        line({QPointF(tip.x() - 6 * dx, tip.y()), tip, QPointF(tip.x(), tip.y() - 6 * dy)}));
    return path;
}

} // namespace

void addWindowSymbols(SymbolTable &table)
{
    SymbolTable t;
    t[QStringLiteral("sparkles")].filled = star(7, 9, 6).united(star(13, 3.5, 2.5));
    {
        QPainterPath p;
        for (const QPointF &c : {QPointF(4, 4), QPointF(12, 4), QPointF(4, 12), QPointF(12, 12)})
            p.addEllipse(c, 2.2, 2.2);
        p.addRect(QRectF(4, 4, 8, 8));
        t[QStringLiteral("command")].stroked = p;
    }
    {
        QPainterPath p = rounded(1.5, 2, 13, 12, 2);
        p.addPath(line({QPointF(1.5, 8), QPointF(5, 8), QPointF(6, 10), QPointF(10, 10),
                        QPointF(11, 8), QPointF(14.5, 8)}));
        t[QStringLiteral("tray.2")].stroked = p;
    }
    {
        QPainterPath p;
        p.moveTo(8, 1.5);
        p.cubicTo(15, 1.5, 16, 9, 12, 10);
        p.cubicTo(9, 11, 11, 14.5, 8, 14.5);
        p.cubicTo(3, 14.5, 1, 11, 1, 8);
        p.cubicTo(1, 4, 4, 1.5, 8, 1.5);
        t[QStringLiteral("paintpalette")].stroked = p;
        t[QStringLiteral("paintpalette")].filled =
            circle(5, 6, 1.2).united(circle(8.5, 4.5, 1.2)).united(circle(4.5, 10, 1.2));
    }
    {
        QPainterPath p = circle(8, 8, 6.8);
        p.addPath(circle(8, 6.5, 2.5));
        QPainterPath shoulders;
        shoulders.moveTo(3.5, 13);
        shoulders.cubicTo(5, 9.5, 11, 9.5, 12.5, 13);
        p.addPath(shoulders);
        t[QStringLiteral("person.crop.circle")].stroked = p;
    }
    {
        QPainterPath p = circle(8, 8, 6.8);
        p.addPath(line({QPointF(8, 7), QPointF(8, 11.5)}));
        t[QStringLiteral("info.circle")].stroked = p;
        t[QStringLiteral("info.circle")].filled = circle(8, 4.6, 0.9);
    }
    {
        QPainterPath p = rounded(1, 2, 14, 9, 1.5);
        p.addPath(line({QPointF(8, 11), QPointF(8, 14)}));
        p.addPath(line({QPointF(5, 14), QPointF(11, 14)}));
        t[QStringLiteral("display")].stroked = p;
    }
    {
        QPainterPath p = line({QPointF(4, 1), QPointF(4, 12), QPointF(15, 12)});
        p.addPath(line({QPointF(1, 4), QPointF(12, 4), QPointF(12, 15)}));
        t[QStringLiteral("crop")].stroked = p;
    }
    {
        QPainterPath p = rounded(1, 2, 14, 12, 2);
        p.addPath(line({QPointF(1, 5.5), QPointF(15, 5.5)}));
        t[QStringLiteral("macwindow")].stroked = p;
    }
    t[QStringLiteral("record.circle")].stroked = circle(8, 8, 6.8);
    t[QStringLiteral("record.circle")].filled = circle(8, 8, 3.5);
    {
        QPainterPath p = line({QPointF(4.5, 6), QPointF(8, 2.5), QPointF(11.5, 6)});
        p.addPath(line({QPointF(4.5, 10), QPointF(8, 13.5), QPointF(11.5, 10)}));
        t[QStringLiteral("chevron.up.chevron.down")].stroked = p;
    }
    {
        QPainterPath p = rounded(1, 5, 14, 7, 2);
        t[QStringLiteral("internaldrive")].stroked = p;
        t[QStringLiteral("internaldrive")].filled = circle(12, 8.5, 0.9);
    }
    {
        QPainterPath p = rounded(1, 4, 14, 10, 2);
        p.addPath(circle(8, 9, 2.7));
        p.addPath(line({QPointF(5.5, 4), QPointF(6.5, 2), QPointF(9.5, 2), QPointF(10.5, 4)}));
        t[QStringLiteral("camera")].stroked = p;
    }
    {
        QPainterPath p = line({QPointF(1.5, 6), QPointF(4, 6), QPointF(7.5, 2.5),
                               QPointF(7.5, 13.5), QPointF(4, 10), QPointF(1.5, 10)});
        p.closeSubpath();
        QPainterPath waves;
        waves.arcMoveTo(QRectF(6, 4.5, 5, 7), 60);
        waves.arcTo(QRectF(6, 4.5, 5, 7), 60, -120);
        waves.arcMoveTo(QRectF(6, 2, 9, 12), 55);
        waves.arcTo(QRectF(6, 2, 9, 12), 55, -110);
        p.addPath(waves);
        t[QStringLiteral("speaker.wave.2")].stroked = p;
    }
    {
        QPainterPath p = line({QPointF(3, 1.5), QPointF(3, 13), QPointF(6, 10), QPointF(8.5, 14.5),
                               QPointF(10.5, 13.5), QPointF(8, 9.5), QPointF(12.5, 9.5)});
        p.closeSubpath();
        t[QStringLiteral("cursorarrow")].stroked = p;
    }
    {
        QPainterPath p = circle(8, 9, 6);
        p.addPath(line({QPointF(8, 9), QPointF(8, 5.5)}));
        p.addPath(line({QPointF(6, 1.5), QPointF(10, 1.5)}));
        t[QStringLiteral("timer")].stroked = p;
    }
    {
        QPainterPath p = rounded(1, 2.5, 14, 11, 2);
        p.addPath(line({QPointF(1.5, 12), QPointF(6, 7.5), QPointF(9, 10.5), QPointF(11, 8.5),
                        QPointF(14.5, 12)}));
        t[QStringLiteral("photo")].stroked = p;
        t[QStringLiteral("photo")].filled = circle(11, 5.5, 1.2);
    }
    {
        QPainterPath p = circle(6.5, 6.5, 5);
        p.addPath(line({QPointF(10.2, 10.2), QPointF(14.5, 14.5)}));
        p.addPath(line({QPointF(4, 6.5), QPointF(9, 6.5)}));
        p.addPath(line({QPointF(6.5, 4), QPointF(6.5, 9)}));
        t[QStringLiteral("plus.magnifyingglass")].stroked = p;
    }
    {
        QPainterPath p = line({QPointF(8, 1), QPointF(8, 15)});
        p.addPath(line({QPointF(1, 8), QPointF(15, 8)}));
        p.addPath(line({QPointF(6, 3), QPointF(8, 1), QPointF(10, 3)}));
        p.addPath(line({QPointF(6, 13), QPointF(8, 15), QPointF(10, 13)}));
        p.addPath(line({QPointF(3, 6), QPointF(1, 8), QPointF(3, 10)}));
        p.addPath(line({QPointF(13, 6), QPointF(15, 8), QPointF(13, 10)}));
        t[QStringLiteral("arrow.up.and.down.and.arrow.left.and.right")].stroked = p;
    }
    {
        QPainterPath p = circle(8, 8, 2.5);
        for (int i = 0; i < 8; ++i) {
            const double a = i * M_PI / 4;
            p.addPath(line({QPointF(8 + 4.5 * std::cos(a), 8 + 4.5 * std::sin(a)),
                            QPointF(8 + 7 * std::cos(a), 8 + 7 * std::sin(a))}));
        }
        p.addPath(circle(8, 8, 5));
        t[QStringLiteral("gearshape")].stroked = p;
    }
    {
        QPainterPath p;
        p.arcMoveTo(QRectF(2, 2, 12, 12), 30);
        p.arcTo(QRectF(2, 2, 12, 12), 30, 150);
        p.arcMoveTo(QRectF(2, 2, 12, 12), 210);
        p.arcTo(QRectF(2, 2, 12, 12), 210, 150);
        p.addPath(line({QPointF(10.5, 1.5), QPointF(13.2, 5), QPointF(9.5, 6)}));
        p.addPath(line({QPointF(5.5, 14.5), QPointF(2.8, 11), QPointF(6.5, 10)}));
        t[QStringLiteral("arrow.triangle.2.circlepath")].stroked = p;
    }
    {
        QPainterPath p = rounded(0.5, 3.5, 15, 9, 1.5);
        p.addPath(line({QPointF(4, 10), QPointF(12, 10)}));
        QPainterPath keys;
        for (double x : {3.0, 6.0, 9.0, 12.0})
            keys.addRect(QRectF(x - 0.6, 6, 1.2, 1.2));
        t[QStringLiteral("keyboard")].stroked = p;
        t[QStringLiteral("keyboard")].filled = keys;
    }
    {
        QPainterPath needle;
        addPolygon(needle, {{11.5, 4.5}, {9, 9}, {4.5, 11.5}, {7, 7}});
        t[QStringLiteral("safari")].stroked = circle(8, 8, 7);
        t[QStringLiteral("safari")].filled = needle;
    }
    {
        QPainterPath p = rounded(1, 3, 14, 10, 1.5);
        p.addPath(line({QPointF(1.5, 3.5), QPointF(8, 9), QPointF(14.5, 3.5)}));
        t[QStringLiteral("envelope")].stroked = p;
    }
    {
        QPainterPath p;
        p.moveTo(4, 9);
        p.lineTo(4, 4);
        p.moveTo(6.5, 8);
        p.lineTo(6.5, 2);
        p.moveTo(9, 8);
        p.lineTo(9, 2.5);
        p.moveTo(11.5, 8.5);
        p.lineTo(11.5, 4);
        p.moveTo(4, 9);
        p.cubicTo(4, 14, 7, 15, 9, 15);
        p.cubicTo(12, 15, 13, 12, 14.5, 8);
        p.lineTo(11.5, 8.5);
        t[QStringLiteral("hand.raised")].stroked = p;
    }
    {
        QPainterPath disc = circle(8, 8, 7.2);
        QPainterPath cross = line({QPointF(5.2, 5.2), QPointF(10.8, 10.8)});
        cross.addPath(line({QPointF(10.8, 5.2), QPointF(5.2, 10.8)}));
        QPainterPathStroker stroker;
        stroker.setWidth(1.8);
        stroker.setCapStyle(Qt::RoundCap);
        t[QStringLiteral("xmark.circle.fill")].filled =
            disc.subtracted(stroker.createStroke(cross));
    }
    {
        QPainterPath disc = circle(8, 8, 7.2);
        QPainterPathStroker stroker;
        stroker.setWidth(1.8);
        stroker.setCapStyle(Qt::RoundCap);
        stroker.setJoinStyle(Qt::RoundJoin);
        t[QStringLiteral("checkmark.circle.fill")].filled = disc.subtracted(
            stroker.createStroke(line({QPointF(4.5, 8.2), QPointF(7, 10.7), QPointF(11.5, 5.5)})));
    }
    {
        QPainterPath triangle;
        addPolygon(triangle, {{8, 1}, {15.5, 14.5}, {0.5, 14.5}});
        QPainterPath mark = rounded(7.1, 5, 1.8, 5.5, 0.9);
        mark.addEllipse(QPointF(8, 12.4), 1, 1);
        t[QStringLiteral("exclamationmark.triangle.fill")].filled = triangle.subtracted(mark);
    }
    {
        QPainterPath p = rounded(1.5, 1.5, 13, 13, 3);
        p.addPath(line({QPointF(6.5, 4), QPointF(5.5, 12)}));
        p.addPath(line({QPointF(10.5, 4), QPointF(9.5, 12)}));
        p.addPath(line({QPointF(4, 6.5), QPointF(12, 6.5)}));
        p.addPath(line({QPointF(4, 9.5), QPointF(12, 9.5)}));
        t[QStringLiteral("number.square")].stroked = p;
    }
    {
        QPainterPath p = circle(8, 8, 7);
        p.addPath(line({QPointF(5, 5.5), QPointF(11, 5.5)}));
        p.addPath(
            line({QPointF(5.8, 5.5), QPointF(6.3, 11.5), QPointF(9.7, 11.5), QPointF(10.2, 5.5)}));
        t[QStringLiteral("trash.circle")].stroked = p;
    }
    t[QStringLiteral("arrow.up.left")].stroked = cornerArrow(-1, -1);
    t[QStringLiteral("arrow.up.right")].stroked = cornerArrow(1, -1);
    t[QStringLiteral("arrow.down.left")].stroked = cornerArrow(-1, 1);
    t[QStringLiteral("arrow.down.right")].stroked = cornerArrow(1, 1);
    {
        QPainterPath p = rounded(5, 1, 6, 7, 1.5);
        p.addPath(line({QPointF(3.5, 8), QPointF(12.5, 8)}));
        p.addPath(line({QPointF(8, 8), QPointF(8, 15)}));
        p.addPath(line({QPointF(2, 14), QPointF(14, 2)}));
        t[QStringLiteral("pin.slash")].stroked = p;
    }
    {
        QPainterPath p = rounded(3, 7, 10, 8, 1.5);
        QPainterPath shackle;
        shackle.moveTo(5, 7);
        shackle.lineTo(5, 5);
        shackle.cubicTo(5, 1.5, 11, 1.5, 11, 5);
        shackle.lineTo(11, 7);
        p.addPath(shackle);
        t[QStringLiteral("lock")].stroked = p;
    }
    {
        QPainterPath p = line({QPointF(2, 8), QPointF(14, 8)});
        p.addPath(line({QPointF(9, 3), QPointF(14, 8), QPointF(9, 13)}));
        t[QStringLiteral("arrow.right")].stroked = p;
    }
    {
        // The apple from the stem round to the bite, then its leaf.
        QPainterPath apple = cubics({8, 5}, {{{6, 3.5}, {2, 4}, {2, 8.5}},
                                             {{2, 12}, {4.5, 15}, {6, 15}},
                                             {{7, 15}, {7.2, 14.4}, {8, 14.4}},
                                             {{8.8, 14.4}, {9, 15}, {10, 15}},
                                             {{11.5, 15}, {13.2, 12.6}, {14, 10.6}},
                                             {{12.5, 9.8}, {12, 8.8}, {12, 7.8}},
                                             {{12, 6.8}, {12.6, 5.9}, {13.4, 5.4}},
                                             {{12.5, 4.2}, {11, 4}, {10.2, 4.1}},
                                             {{9.3, 4.2}, {8.6, 5}, {8, 5}}});
        apple.addPath(cubics({8.2, 3.8}, {{{8.2, 2.2}, {9.4, 1}, {10.8, 0.8}},
                                          {{10.9, 2.4}, {9.6, 3.7}, {8.2, 3.8}}}));
        t[QStringLiteral("applelogo")].filled = apple;
    }
    {
        // A disc with the letter G cut out of it.
        QPainterPath letter;
        const QRectF ring(4.6, 4.6, 6.8, 6.8);
        letter.arcMoveTo(ring, 40);
        letter.arcTo(ring, 40, 280);
        letter.moveTo(8.3, 8);
        letter.lineTo(11.4, 8);
        QPainterPathStroker stroker;
        stroker.setWidth(1.7);
        t[QStringLiteral("g.circle.fill")].filled =
            circle(8, 8, 7.5).subtracted(stroker.createStroke(letter));
    }
    for (auto shape = t.constBegin(); shape != t.constEnd(); ++shape)
        addSymbol(table, shape.key(), shape.value());
}
