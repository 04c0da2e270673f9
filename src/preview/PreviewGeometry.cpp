#include "preview/PreviewGeometry.h"

#include <algorithm>

QRectF previewWindowRect(double pixelWidth, double pixelHeight, const QRectF &visibleFrame)
{
    const double aspect = std::max(pixelWidth / std::max(pixelHeight, 1.0), 0.1);
    const double maxWidth = std::min(0.9 * visibleFrame.width(), 1100.0);
    const double maxHeight = std::min(0.9 * visibleFrame.height(), 850.0);

    double width = 0;
    double height = 0;
    // The minimums yield to the caps on small screens. Landscape sizes the
    // width first and leaves room for the toolbar; portrait sizes the height.
    if (aspect >= 1) {
        width = std::min(std::max(pixelWidth / 1.5, 780.0), maxWidth);
        height = std::min(std::max((width - 40) / aspect + 130, 540.0), maxHeight);
    } else {
        height = std::min(std::max(pixelHeight / 1.5 + 130, 540.0), maxHeight);
        width = std::min(std::max(aspect * (height - 130) + 120, 780.0), maxWidth);
    }
    const QPointF centre = visibleFrame.center();
    return QRectF(centre.x() - width / 2, centre.y() - height / 2, width, height);
}

QRectF enlargedWithin(const QRectF &frame, QSizeF minimum, const QRectF &visibleFrame)
{
    const double width = std::max(frame.width(), std::min(minimum.width(), visibleFrame.width()));
    const double height =
        std::max(frame.height(), std::min(minimum.height(), visibleFrame.height()));
    QRectF grown(frame.center().x() - width / 2, frame.center().y() - height / 2, width, height);
    if (visibleFrame.isEmpty())
        return grown;
    // Pushed back inside on each axis where it fits; a frame larger than the screen keeps its
    // size and lines up with the screen's left and lower edges.
    grown.moveLeft(std::clamp(grown.left(), visibleFrame.left(),
                              std::max(visibleFrame.left(), visibleFrame.right() - width)));
    grown.moveTop(std::clamp(grown.top(), visibleFrame.top(),
                             std::max(visibleFrame.top(), visibleFrame.bottom() - height)));
    return grown;
}
