#include "preview/AnnotationGeometry.h"

#include <algorithm>
#include <cmath>

namespace AnnotationGeometry {

namespace {

bool isFinite(QPointF p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

bool allFinite(const AnnotationItem &item)
{
    if (!std::isfinite(item.strokeWidth) || !isFinite(item.startPoint) || !isFinite(item.endPoint))
        return false;
    return std::all_of(item.points.begin(), item.points.end(), isFinite);
}

// The widest the editor offers is 16; far wider marks are no marks a user made, and would ask
// for discs and fonts thousands of pixels across.
constexpr double widestStroke = 256;

// A band around the image in which a mark may reach: the editor's marks start inside the image,
// and a stroke or head sticks out by a few widths at most.
QRectF reach(QSize imageSize)
{
    const double band = std::max(imageSize.width(), imageSize.height()) + 1024.0;
    return QRectF(QPointF(0, 0), QSizeF(imageSize)).adjusted(-band, -band, band, band);
}

// The item as a plain box from its top-left to its bottom-right corner.
AnnotationItem asBox(AnnotationItem item, const QRectF &box)
{
    item.startPoint = box.topLeft();
    item.endPoint = box.bottomRight();
    item.points.clear();
    return item;
}

} // namespace

std::optional<AnnotationItem> drawable(const AnnotationItem &item, QSize imageSize)
{
    if (imageSize.isEmpty() || !allFinite(item) || item.strokeWidth < 0 ||
        item.strokeWidth > widestStroke)
        return std::nullopt;
    const QRectF image(QPointF(0, 0), QSizeF(imageSize));

    switch (item.tool) {
    case AnnotationTool::blur: {
        const QRectF box = item.boundingBox();
        // A box that covers no pixel of the image leaves every pixel of it alone.
        if (!box.intersects(image))
            return std::nullopt;
        // Its outline, a pixel wide, still falls outside the image where the box does.
        return asBox(item, box.intersected(image.adjusted(-2, -2, 2, 2)));
    }
    case AnnotationTool::rectangle: {
        const QRectF box = QRectF(item.startPoint, item.endPoint).normalized();
        // Cut far enough outside that neither the cut sides nor the rounded corners show.
        const double margin = item.strokeWidth + 16;
        const QRectF shown = box.intersected(image.adjusted(-margin, -margin, margin, margin));
        if (shown.isEmpty())
            return std::nullopt;
        return shown == box ? item : asBox(item, shown);
    }
    default:
        break;
    }
    const QRectF band = reach(imageSize);
    if (!band.contains(item.startPoint) || !band.contains(item.endPoint))
        return std::nullopt;
    for (QPointF p : item.points) {
        if (!band.contains(p))
            return std::nullopt;
    }
    return item;
}

double pixelationScale(double width, double height)
{
    return std::max(std::min(width, height) * 0.25, 8.0);
}

std::optional<Pixelation> pixelate(const QImage &source, QSize imageSize, const QRectF &box)
{
    if (box.width() <= 2 || box.height() <= 2 || source.isNull() || imageSize.isEmpty())
        return std::nullopt;
    const QRect image(QPoint(0, 0), imageSize);
    const QRectF inside = box.intersected(QRectF(image));
    if (inside.isEmpty())
        return std::nullopt;
    const QRect cut = inside.toAlignedRect().intersected(image);
    if (cut.isEmpty())
        return std::nullopt;
    // Bounded by the cut: a huge box reaching into the image gives one cell, not an overflow.
    const double scale = std::ceil(pixelationScale(box.width(), box.height()));
    const int cell = int(std::clamp(scale, 1.0, double(std::max(cut.width(), cut.height()))));
    const int columns = (cut.width() + cell - 1) / cell;
    const int rows = (cut.height() + cell - 1) / cell;

    const QImage pixels = source.format() == QImage::Format_ARGB32_Premultiplied ||
                                  source.format() == QImage::Format_RGB32
                              ? source
                              : source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const double fx = double(pixels.width()) / imageSize.width();
    const double fy = double(pixels.height()) / imageSize.height();
    // The span of source pixels under [from, to) image pixels; never empty.
    const auto span = [](int from, int to, double factor, int limit) {
        const int first = std::clamp(int(std::floor(from * factor)), 0, limit - 1);
        const int last = std::clamp(int(std::ceil(to * factor)), first + 1, limit);
        return std::pair{first, last};
    };

    Pixelation result{cut, cell, QImage(columns, rows, QImage::Format_ARGB32_Premultiplied)};
    for (int row = 0; row < rows; ++row) {
        const int top = cut.top() + row * cell;
        const auto [y0, y1] =
            span(top, std::min(top + cell, cut.bottom() + 1), fy, pixels.height());
        auto *out = reinterpret_cast<QRgb *>(result.cells.scanLine(row));
        for (int column = 0; column < columns; ++column) {
            const int left = cut.left() + column * cell;
            const auto [x0, x1] =
                span(left, std::min(left + cell, cut.right() + 1), fx, pixels.width());
            quint64 sum[4] = {0, 0, 0, 0};
            for (int y = y0; y < y1; ++y) {
                const auto *line = reinterpret_cast<const QRgb *>(pixels.constScanLine(y));
                for (int x = x0; x < x1; ++x) {
                    const QRgb p = line[x];
                    sum[0] += qRed(p);
                    sum[1] += qGreen(p);
                    sum[2] += qBlue(p);
                    sum[3] += qAlpha(p);
                }
            }
            const quint64 n = quint64(y1 - y0) * quint64(x1 - x0);
            out[column] = qRgba(int(sum[0] / n), int(sum[1] / n), int(sum[2] / n), int(sum[3] / n));
        }
    }
    return result;
}

} // namespace AnnotationGeometry
