#include "preview/AnnotationModel.h"

#include <algorithm>
#include <cmath>

QString systemIcon(AnnotationTool tool)
{
    switch (tool) {
    case AnnotationTool::arrow:
        return QStringLiteral("arrow.up.right");
    case AnnotationTool::rectangle:
        return QStringLiteral("square");
    case AnnotationTool::blur:
        return QStringLiteral("checkerboard.rectangle");
    case AnnotationTool::stepNumber:
        return QStringLiteral("number.circle.fill");
    case AnnotationTool::text:
        return QStringLiteral("character.textbox");
    case AnnotationTool::highlighter:
        return QStringLiteral("highlighter");
    case AnnotationTool::pencil:
        return QStringLiteral("pencil");
    }
    return {};
}

QRectF AnnotationItem::boundingBox() const
{
    if (points.size() < 2) {
        return QRectF(std::min(startPoint.x(), endPoint.x()),
                      std::min(startPoint.y(), endPoint.y()),
                      std::max(std::abs(endPoint.x() - startPoint.x()), 1.0),
                      std::max(std::abs(endPoint.y() - startPoint.y()), 1.0));
    }
    double minX = points.first().x(), maxX = minX;
    double minY = points.first().y(), maxY = minY;
    for (const QPointF &p : points) {
        minX = std::min(minX, p.x());
        maxX = std::max(maxX, p.x());
        minY = std::min(minY, p.y());
        maxY = std::max(maxY, p.y());
    }
    return QRectF(minX, minY, std::max(maxX - minX, 1.0), std::max(maxY - minY, 1.0));
}

namespace {

int hexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// Reads a hexadecimal number from the start of the text the way a lenient
// scanner does: leading white space and a 0x prefix are skipped, reading stops
// at the first non-digit. Nothing when no digit could be read.
std::optional<quint64> scanHex(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    if (i + 2 < text.size() && text.at(i) == u'0' &&
        (text.at(i + 1) == u'x' || text.at(i + 1) == u'X') && hexDigit(text.at(i + 2)) >= 0)
        i += 2;
    quint64 value = 0;
    bool any = false;
    for (; i < text.size(); ++i) {
        const int digit = hexDigit(text.at(i));
        if (digit < 0)
            break;
        any = true;
        // Saturates rather than wrapping, as an overlong number would.
        value = value > (UINT64_MAX >> 4) ? UINT64_MAX : (value << 4) | quint64(digit);
    }
    if (!any)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<QColor> colorFromHex(const QString &hex)
{
    QString cleaned = hex.trimmed();
    cleaned.remove(u'#');
    const std::optional<quint64> number = scanHex(cleaned);
    if (!number)
        return std::nullopt;
    const quint64 v = *number;
    if (cleaned.size() == 8)
        return QColor(int((v >> 24) & 0xFF), int((v >> 16) & 0xFF), int((v >> 8) & 0xFF),
                      int(v & 0xFF));
    if (cleaned.size() == 6)
        return QColor(int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF), 255);
    return std::nullopt;
}
