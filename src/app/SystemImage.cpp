#include "app/SystemImage.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace SystemImage {

QStringList themeNames(const QString &symbolName)
{
    if (symbolName == QLatin1String(cameraViewfinder)) {
        return {QStringLiteral("camera-viewfinder"), QStringLiteral("accessories-screenshot"),
                QStringLiteral("camera-photo")};
    }
    return {};
}

QIcon icon(const QString &symbolName)
{
    for (const QString &name : themeNames(symbolName)) {
        if (QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
    }
    if (symbolName == QLatin1String(cameraViewfinder))
        return drawnViewfinder();
    return {};
}

QIcon drawnViewfinder()
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal stroke = qMax(1.5, size / 12.0);
        const qreal inset = stroke;
        const qreal far = size - stroke;
        const qreal arm = size * 0.28;
        QPainterPath brackets;
        brackets.moveTo(inset, inset + arm);
        brackets.lineTo(inset, inset);
        brackets.lineTo(inset + arm, inset);
        brackets.moveTo(far - arm, inset);
        brackets.lineTo(far, inset);
        brackets.lineTo(far, inset + arm);
        brackets.moveTo(far, far - arm);
        brackets.lineTo(far, far);
        brackets.lineTo(far - arm, far);
        brackets.moveTo(inset + arm, far);
        brackets.lineTo(inset, far);
        brackets.lineTo(inset, far - arm);
        QPainterPath lens;
        lens.addEllipse(QPointF(size / 2.0, size / 2.0), size * 0.17, size * 0.17);
        brackets.addPath(lens);
        // A dark rim under the light strokes keeps the icon visible on light and dark panels.
        painter.strokePath(brackets, QPen(QColor(0, 0, 0, 160), stroke + 1.5, Qt::SolidLine,
                                          Qt::RoundCap, Qt::RoundJoin));
        painter.strokePath(brackets, QPen(QColor(0xf2, 0xf2, 0xf2), stroke, Qt::SolidLine,
                                          Qt::RoundCap, Qt::RoundJoin));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace SystemImage
