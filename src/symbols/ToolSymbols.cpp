#include "symbols/SymbolTable.h"

#include <QPainterPath>
#include <QTransform>

// The symbols of the preview's and the markup editor's controls.

namespace {

using Symbol = SymbolPaths;
constexpr auto line = addPolyline;

Symbol square()
{
    Symbol s;
    s.stroked.addRoundedRect(QRectF(2.5, 2.5, 11, 11), 2, 2);
    return s;
}

Symbol checkerboardRectangle()
{
    Symbol s;
    s.stroked.addRoundedRect(QRectF(1.5, 3, 13, 10), 1.5, 1.5);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col)
            if ((row + col) % 2 == 0)
                s.filled.addRect(QRectF(2.5 + col * 2.75, 4 + row * 2.7, 2.75, 2.7));
    return s;
}

Symbol numberCircleFill()
{
    Symbol s;
    s.filled.addEllipse(QPointF(8, 8), 7, 7);
    // The digit is cut out of the disc.
    QPainterPath digit;
    digit.addRect(QRectF(7.2, 4.2, 1.8, 7.6));
    digit.addRect(QRectF(5.6, 10, 5, 1.8));
    QPainterPath flag;
    addPolygon(flag, {{7.2, 4.2}, {9, 4.2}, {6, 6.6}, {5.4, 5.4}});
    s.filled = s.filled.subtracted(digit.united(flag));
    return s;
}

Symbol characterTextbox()
{
    Symbol s;
    s.stroked.addRoundedRect(QRectF(1.5, 2.5, 13, 11), 2, 2);
    line(s.stroked, {{5, 11}, {8, 4.8}, {11, 11}});
    line(s.stroked, {{6.2, 8.8}, {9.8, 8.8}});
    return s;
}

Symbol highlighter()
{
    Symbol s;
    addPolygon(s.stroked, {{9.5, 2}, {14, 6.5}, {8.5, 12}, {4, 7.5}});
    addPolygon(s.filled, {{4.3, 9.2}, {6.8, 11.7}, {4.2, 14.2}, {1.8, 14.2}});
    return s;
}

Symbol pencil()
{
    Symbol s;
    addPolygon(s.stroked, {{11, 2.5}, {13.5, 5}, {5.5, 13}, {2.5, 13.5}, {3, 10.5}});
    line(s.stroked, {{9.5, 4}, {12, 6.5}});
    return s;
}

Symbol uturn(bool backward)
{
    Symbol s;
    QPainterPath path;
    path.moveTo(3.5, 6);
    path.lineTo(10, 6);
    path.cubicTo(15, 6, 15, 13.5, 10, 13.5);
    path.lineTo(6.5, 13.5);
    line(path, {{6.5, 2.8}, {3.3, 6}, {6.5, 9.2}});
    if (!backward) {
        QTransform mirror;
        mirror.translate(16, 0);
        mirror.scale(-1, 1);
        path = mirror.map(path);
    }
    s.stroked = path;
    return s;
}

Symbol hourglass()
{
    Symbol s;
    line(s.stroked, {{3.5, 1.8}, {12.5, 1.8}});
    line(s.stroked, {{3.5, 14.2}, {12.5, 14.2}});
    line(s.stroked, {{4.5, 1.8}, {4.5, 4}, {8, 8}, {4.5, 12}, {4.5, 14.2}});
    line(s.stroked, {{11.5, 1.8}, {11.5, 4}, {8, 8}, {11.5, 12}, {11.5, 14.2}});
    addPolygon(s.filled, {{5.6, 13.4}, {8, 10.6}, {10.4, 13.4}});
    return s;
}

Symbol squareAndArrowUp()
{
    Symbol s;
    line(s.stroked, {{5.5, 6}, {3.5, 6}, {3.5, 14.5}, {12.5, 14.5}, {12.5, 6}, {10.5, 6}});
    line(s.stroked, {{8, 10}, {8, 1.5}});
    line(s.stroked, {{5.2, 4.3}, {8, 1.5}, {10.8, 4.3}});
    return s;
}

Symbol pauseFill()
{
    Symbol s;
    s.filled.addRoundedRect(QRectF(3.5, 2.5, 3.2, 11), 0.8, 0.8);
    s.filled.addRoundedRect(QRectF(9.3, 2.5, 3.2, 11), 0.8, 0.8);
    return s;
}

Symbol chevron(bool left)
{
    Symbol s;
    if (left)
        line(s.stroked, {{10, 2.8}, {5, 8}, {10, 13.2}});
    else
        line(s.stroked, {{6, 2.8}, {11, 8}, {6, 13.2}});
    return s;
}

Symbol speaker(bool muted)
{
    Symbol s;
    addPolygon(s.filled, {{2, 6}, {5, 6}, {9, 2.5}, {9, 13.5}, {5, 10}, {2, 10}});
    if (muted) {
        line(s.stroked, {{11, 6}, {15, 10}});
        line(s.stroked, {{15, 6}, {11, 10}});
    } else {
        s.stroked.arcMoveTo(QRectF(7, 5, 5, 6), -50);
        s.stroked.arcTo(QRectF(7, 5, 5, 6), -50, 100);
        s.stroked.arcMoveTo(QRectF(6, 2.5, 8.5, 11), -55);
        s.stroked.arcTo(QRectF(6, 2.5, 8.5, 11), -55, 110);
    }
    return s;
}

} // namespace

void addToolSymbols(SymbolTable &table)
{
    addSymbol(table, QStringLiteral("square"), square());
    addSymbol(table, QStringLiteral("checkerboard.rectangle"), checkerboardRectangle());
    addSymbol(table, QStringLiteral("number.circle.fill"), numberCircleFill());
    addSymbol(table, QStringLiteral("character.textbox"), characterTextbox());
    addSymbol(table, QStringLiteral("highlighter"), highlighter());
    addSymbol(table, QStringLiteral("pencil"), pencil());
    addSymbol(table, QStringLiteral("arrow.uturn.backward"), uturn(true));
    addSymbol(table, QStringLiteral("arrow.uturn.forward"), uturn(false));
    addSymbol(table, QStringLiteral("hourglass"), hourglass());
    addSymbol(table, QStringLiteral("square.and.arrow.up"), squareAndArrowUp());
    addSymbol(table, QStringLiteral("pause.fill"), pauseFill());
    addSymbol(table, QStringLiteral("chevron.left"), chevron(true));
    addSymbol(table, QStringLiteral("chevron.right"), chevron(false));
    addSymbol(table, QStringLiteral("speaker.wave.2.fill"), speaker(false));
    addSymbol(table, QStringLiteral("speaker.slash.fill"), speaker(true));
}
