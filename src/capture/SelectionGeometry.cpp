#include "capture/SelectionGeometry.h"

#include <QColor>
#include <algorithm>
#include <cmath>

namespace {

constexpr double heightWithoutDisplays = 1000.0;
constexpr double frameVisibleAfter = 1.0;
constexpr double edgeMargin = 10.0;

// The loupe sits this far from the pointer, its colour label below it.
constexpr double loupeGap = 36.0;
constexpr double loupeRadius = loupeDiameter / 2;
constexpr double loupeLabelAllowance = 30.0;

constexpr double sizeLabelGap = 8.0;
constexpr double windowLabelGap = 10.0;
constexpr double windowLabelMargin = 16.0;
constexpr double windowLabelTopMargin = 24.0;

// Half the frame's stroke and a pixel of antialiasing, rounded up.
constexpr int strokeAllowance = 2;

QRect coveringRect(const QRectF &rect)
{
    return rect.toAlignedRect();
}

} // namespace

QPointF flipInView(QPointF point, double viewHeight)
{
    return QPointF(point.x(), viewHeight - point.y());
}

QRectF flipInView(const QRectF &rect, double viewHeight)
{
    return QRectF(rect.x(), viewHeight - rect.y() - rect.height(), rect.width(), rect.height());
}

QRectF selectionRect(QPointF start, QPointF current)
{
    return QRectF(std::min(start.x(), current.x()), std::min(start.y(), current.y()),
                  std::abs(current.x() - start.x()), std::abs(current.y() - start.y()));
}

bool isLargeEnoughSelection(const QRectF &rect)
{
    return rect.width() >= minimumSelectionSide && rect.height() >= minimumSelectionSide;
}

bool showsSelectionFrame(QPointF start, QPointF current)
{
    return std::abs(current.x() - start.x()) > frameVisibleAfter ||
           std::abs(current.y() - start.y()) > frameVisibleAfter;
}

double flipHeight(const QList<platform::Display> &displays)
{
    return displays.isEmpty() ? heightWithoutDisplays : displays.first().screenFrame.height();
}

QRectF viewRectToCapture(const QRectF &viewRect, const QRectF &screenFrame, double flipHeight)
{
    const QRectF onScreen = viewRect.translated(screenFrame.topLeft());
    return QRectF(onScreen.x(), flipHeight - onScreen.y() - onScreen.height(), onScreen.width(),
                  onScreen.height());
}

QPointF viewPointToCapture(QPointF viewPoint, const QRectF &screenFrame, double flipHeight)
{
    return viewRectToCapture(QRectF(viewPoint, QSizeF(0, 0)), screenFrame, flipHeight).topLeft();
}

QRectF captureRectToView(const QRectF &captureRect, const QRectF &screenFrame, double flipHeight)
{
    const QRectF onScreen(captureRect.x(), flipHeight - captureRect.y() - captureRect.height(),
                          captureRect.width(), captureRect.height());
    return onScreen.translated(-screenFrame.topLeft());
}

QString sizeLabelText(QSizeF points, double scale)
{
    return QStringLiteral("%1 × %2")
        .arg(qint64(std::trunc(points.width() * scale)))
        .arg(qint64(std::trunc(points.height() * scale)));
}

QRectF sizeLabelBubble(const QRectF &selection, QSizeF textSize)
{
    const QSizeF size(textSize.width() + 2 * sizeLabelPadding,
                      textSize.height() + 2 * sizeLabelPadding);
    const double x = std::max(selection.center().x() - size.width() * 0.5, edgeMargin);
    const double y = std::max(
        selection.top() - textSize.height() - 2 * sizeLabelPadding - sizeLabelGap, edgeMargin);
    return QRectF(QPointF(x, y), size);
}

QPointF loupeCentre(QPointF pointer, const QRectF &bounds)
{
    // View points: bounds.bottom() is the top edge.
    const double reachRight = pointer.x() + loupeGap + loupeRadius + loupeRadius;
    const double x = bounds.right() - edgeMargin < reachRight
                         ? pointer.x() - loupeGap - loupeRadius
                         : pointer.x() + loupeGap + loupeRadius;
    const double reachUp = pointer.y() + loupeGap + loupeRadius + loupeRadius + loupeLabelAllowance;
    const double y = bounds.bottom() - edgeMargin < reachUp
                         ? pointer.y() - loupeGap - loupeRadius - loupeLabelAllowance
                         : pointer.y() + loupeGap + loupeRadius;
    return QPointF(x, y);
}

QRectF loupeRect(QPointF centre)
{
    return QRectF(centre.x() - loupeRadius, centre.y() - loupeRadius, loupeDiameter, loupeDiameter);
}

QPoint imagePixelAt(QPointF viewPoint, double viewHeight, double scale)
{
    return QPoint(int(std::trunc(scale * viewPoint.x())),
                  int(std::trunc(scale * (viewHeight - viewPoint.y()))));
}

QRect loupeSampleRect(QPointF pointer, double viewHeight, double scale, QSize imageSize)
{
    const QRect sample(int(std::floor(scale * pointer.x())) - loupeSamplePixels / 2,
                       int(std::floor(scale * (viewHeight - pointer.y()))) - loupeSamplePixels / 2,
                       loupeSamplePixels, loupeSamplePixels);
    return sample.intersected(QRect(QPoint(0, 0), imageSize));
}

QString pixelColorHex(const QImage &image, QPointF viewPoint, double viewHeight, double scale)
{
    const QString white = QStringLiteral("#FFFFFF");
    if (image.isNull())
        return white;
    const QPoint pixel = imagePixelAt(viewPoint, viewHeight, scale);
    if (!image.valid(pixel))
        return white;
    // The pixel as a colour: memory order differs between formats (X11 keeps blue first).
    const QColor color = image.pixelColor(pixel);
    return QString::asprintf("#%02X%02X%02X", color.red(), color.green(), color.blue());
}

QString loupeLabelText(QPointF pointer, double viewHeight, double scale, const QString &hex)
{
    const QPoint pixel = imagePixelAt(pointer, viewHeight, scale);
    return QStringLiteral("%1, %2 • %3").arg(pixel.x()).arg(pixel.y()).arg(hex);
}

QRectF loupeLabelBubble(const QRectF &loupe, QSizeF textSize)
{
    const QSizeF size(textSize.width() + 2 * loupeLabelPaddingX,
                      textSize.height() + 2 * loupeLabelPaddingY);
    return QRectF(
        QPointF(loupe.center().x() - size.width() * 0.5, loupe.top() - textSize.height() - 10.0),
        size);
}

QRegion changedSelectionArea(const std::optional<QRectF> &before,
                             const std::optional<QRectF> &after)
{
    const auto interior = [](const std::optional<QRectF> &rect) {
        return rect ? QRegion(coveringRect(*rect)) : QRegion();
    };
    const auto frame = [](const std::optional<QRectF> &rect) {
        if (!rect)
            return QRegion();
        const QRect outer = coveringRect(*rect).adjusted(-strokeAllowance, -strokeAllowance,
                                                         strokeAllowance, strokeAllowance);
        const QRect inner = outer.adjusted(2 * strokeAllowance, 2 * strokeAllowance,
                                           -2 * strokeAllowance, -2 * strokeAllowance);
        return QRegion(outer).subtracted(QRegion(inner));
    };
    return interior(before).xored(interior(after)) | frame(before) | frame(after);
}

OverlayBackground overlayBackground(bool compositing, bool hasFrozenImage)
{
    return !compositing && hasFrozenImage ? OverlayBackground::frozenImage
                                          : OverlayBackground::liveDesktop;
}

bool isSelectableWindow(const platform::WindowInfo &window)
{
    return !window.ownProcess && window.isOnScreen && window.layer >= platform::normalWindowLayer &&
           window.captureFrame.width() >= minimumWindowWidth &&
           window.captureFrame.height() >= minimumWindowHeight;
}

QList<platform::WindowInfo> selectableWindows(const QList<platform::WindowInfo> &windows)
{
    QList<platform::WindowInfo> selectable;
    std::copy_if(windows.begin(), windows.end(), std::back_inserter(selectable),
                 isSelectableWindow);
    return selectable;
}

QString windowLabelText(const platform::WindowInfo &window)
{
    const QString &name = window.applicationName;
    const QString &title = window.title;
    if (!name.isEmpty() && !title.isEmpty())
        return name + QStringLiteral(" — ") + title;
    if (!name.isEmpty())
        return name;
    if (!title.isEmpty())
        return title;
    return QStringLiteral("Window");
}

QRectF windowLabelBox(const QRectF &highlight, QSizeF textSize, double viewHeight)
{
    const QSizeF size(textSize.width() + 2 * windowLabelPaddingX,
                      textSize.height() + 2 * windowLabelPaddingY);
    // View points: bottom() is the highlight's top edge.
    const double x = std::max(highlight.center().x() - size.width() / 2, windowLabelMargin);
    const double y = std::max(windowLabelMargin,
                              std::min(highlight.bottom() + windowLabelGap,
                                       viewHeight - textSize.height() - windowLabelTopMargin));
    return QRectF(QPointF(x, y), size);
}
