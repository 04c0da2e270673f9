#include "symbols/Symbols.h"

#include "symbols/SymbolTable.h"

#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <algorithm>
#include <initializer_list>

void addPolyline(QPainterPath &path, std::initializer_list<QPointF> points)
{
    if (points.size() == 0)
        return;
    auto it = points.begin();
    path.moveTo(*it);
    for (++it; it != points.end(); ++it)
        path.lineTo(*it);
}

void addPolygon(QPainterPath &path, std::initializer_list<QPointF> points)
{
    addPolyline(path, points);
    path.closeSubpath();
}

namespace {

using Symbol = SymbolPaths;
constexpr auto line = addPolyline;

Symbol clipboard()
{
    Symbol s;
    s.stroked.addRoundedRect(QRectF(3, 3, 10, 12), 1.6, 1.6);
    s.stroked.moveTo(5.8, 8);
    s.stroked.lineTo(10.2, 8);
    s.stroked.moveTo(5.8, 10.8);
    s.stroked.lineTo(9, 10.8);
    s.filled.addRoundedRect(QRectF(5.5, 1.3, 5, 3.2), 1, 1);
    return s;
}

Symbol arrowDownToLine()
{
    Symbol s;
    s.stroked.moveTo(8, 2);
    s.stroked.lineTo(8, 11);
    s.stroked.moveTo(4.4, 7.4);
    s.stroked.lineTo(8, 11);
    s.stroked.lineTo(11.6, 7.4);
    s.stroked.moveTo(3.5, 14);
    s.stroked.lineTo(12.5, 14);
    return s;
}

Symbol eye()
{
    Symbol s;
    s.stroked.moveTo(1.3, 8);
    s.stroked.quadTo(8, 0.8, 14.7, 8);
    s.stroked.quadTo(8, 15.2, 1.3, 8);
    s.stroked.closeSubpath();
    s.filled.addEllipse(QPointF(8, 8), 2.4, 2.4);
    return s;
}

// A pencil lying from the lower left up to the upper right: a ring or a slash through a circle
// reads as a prohibition sign at tray size, a long thin body with a point reads as markup.
Symbol pencil()
{
    // Drawn lying flat, point to the left, then turned up by 45 degrees about the box's centre.
    Symbol flat;
    addPolygon(flat.stroked, {{4.6, 6.3}, {15.2, 6.3}, {15.2, 9.7}, {4.6, 9.7}, {0.9, 8}});
    flat.stroked.moveTo(12.4, 6.3);
    flat.stroked.lineTo(12.4, 9.7);
    addPolygon(flat.filled, {{0.9, 8}, {2.5, 7.25}, {2.5, 8.75}});
    QTransform turn;
    turn.translate(8, 8);
    turn.rotate(-45);
    turn.translate(-8, -8);
    return {turn.map(flat.stroked), turn.map(flat.filled)};
}

Symbol textViewfinder()
{
    Symbol s;
    const double a = 1.8, b = 14.2, l = 3.4;
    s.stroked.moveTo(a, a + l);
    s.stroked.lineTo(a, a);
    s.stroked.lineTo(a + l, a);
    s.stroked.moveTo(b - l, a);
    s.stroked.lineTo(b, a);
    s.stroked.lineTo(b, a + l);
    s.stroked.moveTo(b, b - l);
    s.stroked.lineTo(b, b);
    s.stroked.lineTo(b - l, b);
    s.stroked.moveTo(a + l, b);
    s.stroked.lineTo(a, b);
    s.stroked.lineTo(a, b - l);
    for (const auto &[y, end] : {std::pair{5.8, 11.0}, {8.0, 11.0}, {10.2, 9.0}}) {
        s.stroked.moveTo(5, y);
        s.stroked.lineTo(end, y);
    }
    return s;
}

Symbol pin()
{
    Symbol s;
    s.filled.addRoundedRect(QRectF(4.8, 1.2, 6.4, 2.2), 0.8, 0.8);
    addPolygon(s.filled, {{6, 3.2}, {10, 3.2}, {10.8, 7.6}, {12.6, 9.4}, {3.4, 9.4}, {5.2, 7.6}});
    s.stroked.moveTo(8, 9.4);
    s.stroked.lineTo(8, 14.8);
    return s;
}

Symbol trash()
{
    Symbol s;
    s.stroked.moveTo(2.4, 4);
    s.stroked.lineTo(13.6, 4);
    s.stroked.moveTo(6, 4);
    s.stroked.lineTo(6, 2.3);
    s.stroked.lineTo(10, 2.3);
    s.stroked.lineTo(10, 4);
    s.stroked.moveTo(3.8, 4);
    s.stroked.lineTo(4.8, 14.6);
    s.stroked.lineTo(11.2, 14.6);
    s.stroked.lineTo(12.2, 4);
    s.stroked.moveTo(6.6, 6.6);
    s.stroked.lineTo(6.8, 12);
    s.stroked.moveTo(9.4, 6.6);
    s.stroked.lineTo(9.2, 12);
    return s;
}

Symbol xmark()
{
    Symbol s;
    s.stroked.moveTo(3.2, 3.2);
    s.stroked.lineTo(12.8, 12.8);
    s.stroked.moveTo(12.8, 3.2);
    s.stroked.lineTo(3.2, 12.8);
    return s;
}

Symbol playFill()
{
    Symbol s;
    addPolygon(s.filled, {{4, 2.2}, {13.6, 8}, {4, 13.8}});
    return s;
}

Symbol checkmark()
{
    Symbol s;
    line(s.stroked, {{2.8, 8.6}, {6.4, 12.2}, {13.4, 3.8}});
    return s;
}

Symbol folder()
{
    Symbol s;
    line(s.stroked,
         {{1.8, 4}, {1.8, 13}, {14.2, 13}, {14.2, 5.5}, {7.6, 5.5}, {6.2, 3.5}, {1.8, 3.5}});
    s.stroked.closeSubpath();
    line(s.stroked, {{1.8, 7}, {14.2, 7}});
    return s;
}

Symbol arrowUpRightSquare()
{
    Symbol s;
    s.stroked.addRoundedRect(QRectF(2, 2, 12, 12), 2.2, 2.2);
    line(s.stroked, {{5.5, 10.5}, {10.3, 5.7}});
    line(s.stroked, {{6.5, 5.5}, {10.5, 5.5}, {10.5, 9.5}});
    return s;
}

Symbol eyeSlash()
{
    Symbol s = eye();
    s.stroked.moveTo(2.6, 2.6);
    s.stroked.lineTo(13.4, 13.4);
    return s;
}

const SymbolTable &symbols()
{
    static const SymbolTable table = [] {
        SymbolTable t;
        addSymbol(t, QStringLiteral("doc.on.clipboard"), clipboard());
        addSymbol(t, QStringLiteral("arrow.down.to.line.compact"), arrowDownToLine());
        addSymbol(t, QStringLiteral("eye"), eye());
        addSymbol(t, QStringLiteral("pencil.tip.crop.circle"), pencil());
        addSymbol(t, QStringLiteral("text.viewfinder"), textViewfinder());
        addSymbol(t, QStringLiteral("pin.fill"), pin());
        addSymbol(t, QStringLiteral("trash"), trash());
        addSymbol(t, QStringLiteral("xmark"), xmark());
        addSymbol(t, QStringLiteral("play.fill"), playFill());
        addSymbol(t, QStringLiteral("checkmark"), checkmark());
        addSymbol(t, QStringLiteral("folder"), folder());
        addSymbol(t, QStringLiteral("arrow.up.right.square"), arrowUpRightSquare());
        addSymbol(t, QStringLiteral("eye.slash"), eyeSlash());
        // The windows' pages call the pushed-in pin by its plain name.
        addSymbol(t, QStringLiteral("pin"), t.value(QStringLiteral("pin.fill")));
        addToolSymbols(t);
        addWindowSymbols(t);
        return t;
    }();
    return table;
}

} // namespace

bool isKnownSymbol(const QString &name)
{
    return symbols().contains(name);
}

void paintSymbol(QPainter &painter, const QString &name, const QRectF &box, const QColor &color,
                 double weight)
{
    const auto found = symbols().constFind(name);
    if (found == symbols().constEnd() || box.isEmpty())
        return;
    const QPainterPath &stroked = found->stroked;
    const QPainterPath &filled = found->filled;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double scale = std::min(box.width(), box.height()) / 16.0;
    painter.translate(box.center());
    painter.scale(scale, scale);
    painter.translate(-8, -8);
    if (!filled.isEmpty())
        painter.fillPath(filled, color);
    if (!stroked.isEmpty()) {
        painter.setPen(QPen(color, weight, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(stroked);
    }
    painter.restore();
}
