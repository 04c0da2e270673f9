#pragma once

#include <QFont>
#include <QPainter>
#include <QStringList>

// Lines of dark text as text recognition reads them: DejaVu Sans at the pixel size, the first
// line's baseline at `first`, each next one `spacing` lower.
inline void drawTextLines(QPainter &painter, const QStringList &lines, int pixelSize, QPoint first,
                          int spacing)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    painter.setFont(font);
    painter.setPen(QColor(20, 20, 20));
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(first + QPoint(0, spacing * i), lines[i]);
}
