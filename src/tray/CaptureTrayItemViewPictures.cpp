#include "tray/CaptureTrayItemViewPictures.h"

#include "tray/TrayControlLayout.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <algorithm>
#include <cmath>
#include <vector>

QPixmap TrayThumbnailCache::picture(const CaptureItem &item, const QString &look,
                                    const std::function<QPixmap(const QImage &)> &make)
{
    const QImage thumbnail = item.thumbnail();
    const Key key{item.id(), thumbnail.cacheKey(), look};
    const auto found = m_pictures.constFind(key);
    if (found != m_pictures.constEnd())
        return *found;
    // An edited capture's earlier pictures of this look are of no further use.
    m_pictures.removeIf(
        [&](const auto &entry) { return entry.key().id == key.id && entry.key().look == look; });
    const QPixmap made = make(thumbnail);
    m_pictures.insert(key, made);
    return made;
}

void TrayThumbnailCache::retain(const QSet<QUuid> &ids)
{
    m_pictures.removeIf([&](const auto &entry) { return !ids.contains(entry.key().id); });
}

QImage roundedThumbnail(const QImage &thumbnail, QSizeF size, double radius,
                        ThumbnailScaling scaling, qreal devicePixelRatio)
{
    const QSize pixels = (size * devicePixelRatio).toSize().expandedTo(QSize(1, 1));
    QImage picture(pixels, QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(devicePixelRatio);
    picture.fill(Qt::transparent);
    if (thumbnail.isNull() || thumbnail.width() <= 0 || thumbnail.height() <= 0)
        return picture;
    const Qt::AspectRatioMode mode =
        scaling == ThumbnailScaling::fill ? Qt::KeepAspectRatioByExpanding : Qt::KeepAspectRatio;
    const QImage scaled = thumbnail.scaled(pixels, mode, Qt::SmoothTransformation);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF frame(QPointF(0, 0), size);
    painter.setClipPath(trayOutlinePath(frame, radius, false));
    const QSizeF drawn = QSizeF(scaled.size()) / devicePixelRatio;
    painter.drawImage(
        QRectF(QPointF((size.width() - drawn.width()) / 2, (size.height() - drawn.height()) / 2),
               drawn),
        scaled);
    return picture;
}

int shadowMargin(double blur)
{
    return int(std::ceil(std::max(blur, 0.0) * 1.5)) + 1;
}

namespace {

// Three passes of a running box average along each axis approximate a Gaussian blur.
void boxBlurAlpha(std::vector<float> &alpha, int width, int height, int radius)
{
    if (radius <= 0)
        return;
    std::vector<float> line(size_t(std::max(width, height)));
    const auto pass = [&](int count, int length, auto at) {
        for (int i = 0; i < count; ++i) {
            for (int j = 0; j < length; ++j)
                line[size_t(j)] = at(i, j);
            double sum = 0;
            const int window = 2 * radius + 1;
            for (int j = -radius; j <= radius; ++j)
                sum += (j >= 0 && j < length) ? line[size_t(j)] : 0;
            for (int j = 0; j < length; ++j) {
                at(i, j) = float(sum / window);
                const int out = j - radius;
                const int in = j + radius + 1;
                sum -= (out >= 0) ? line[size_t(out)] : 0;
                sum += (in < length) ? line[size_t(in)] : 0;
            }
        }
    };
    for (int round = 0; round < 3; ++round) {
        pass(height, width,
             [&](int y, int x) -> float & { return alpha[size_t(y) * size_t(width) + size_t(x)]; });
        pass(width, height,
             [&](int x, int y) -> float & { return alpha[size_t(y) * size_t(width) + size_t(x)]; });
    }
}

} // namespace

QImage dropShadow(const QImage &layer, double blur, const QColor &color)
{
    const qreal ratio = layer.devicePixelRatio();
    const int margin = int(std::ceil(shadowMargin(blur) * ratio));
    const QImage source = layer.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int width = source.width() + 2 * margin;
    const int height = source.height() + 2 * margin;
    std::vector<float> alpha(size_t(width) * size_t(height), 0.0f);
    for (int y = 0; y < source.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        for (int x = 0; x < source.width(); ++x)
            alpha[size_t(y + margin) * size_t(width) + size_t(x + margin)] = float(qAlpha(row[x]));
    }
    // A shadow's "radius" spreads about twice as far as a box of that size would.
    boxBlurAlpha(alpha, width, height, int(std::round(blur * ratio / 2)));
    QImage shadow(width, height, QImage::Format_ARGB32_Premultiplied);
    shadow.setDevicePixelRatio(ratio);
    const double strength = color.alphaF();
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(shadow.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int a = std::clamp(
                int(std::lround(alpha[size_t(y) * size_t(width) + size_t(x)] * strength)), 0, 255);
            row[x] = qPremultiply(qRgba(color.red(), color.green(), color.blue(), a));
        }
    }
    return shadow;
}

void paintRoundedShadow(QPainter &painter, const QRectF &rect, double radius, bool squareTop,
                        double blur, const QColor &color)
{
    if (rect.isEmpty())
        return;
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const int margin = shadowMargin(blur);
    // The corners plus the blur on each side, and a stretchable middle of 2 points.
    const int corner = int(std::ceil(std::max(radius, 0.0))) + margin;
    const QSize sourceSize(2 * corner + 2, 2 * corner + 2);
    const QString key = QStringLiteral("corvanta.trayShadow:%1:%2:%3:%4:%5")
                            .arg(radius)
                            .arg(squareTop)
                            .arg(blur)
                            .arg(color.rgba())
                            .arg(ratio);
    QPixmap source;
    if (!QPixmapCache::find(key, &source)) {
        const QSizeF shape(sourceSize.width() - 2 * margin, sourceSize.height() - 2 * margin);
        QImage layer((shape * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        layer.setDevicePixelRatio(ratio);
        layer.fill(Qt::transparent);
        {
            QPainter p(&layer);
            p.setRenderHint(QPainter::Antialiasing);
            p.fillPath(trayOutlinePath(QRectF(QPointF(0, 0), shape), radius, squareTop), Qt::black);
        }
        source = QPixmap::fromImage(dropShadow(layer, blur, color));
        QPixmapCache::insert(key, source);
    }
    // Nine pieces: the corners as they are, the edges and the middle stretched.
    const QRectF target = rect.adjusted(-margin, -margin, margin, margin);
    const double c = corner;
    const double sw = sourceSize.width(), sh = sourceSize.height();
    const double xs[] = {0, c, sw - c, sw};
    const double ys[] = {0, c, sh - c, sh};
    const double xt[] = {target.left(), target.left() + c, target.right() - c, target.right()};
    const double yt[] = {target.top(), target.top() + c, target.bottom() - c, target.bottom()};
    if (xt[2] < xt[1] || yt[2] < yt[1]) {
        // Smaller than its own corners: the whole shadow squeezed in will do.
        painter.drawPixmap(target, source, QRectF(source.rect()));
        return;
    }
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRectF from(xs[col] * ratio, ys[row] * ratio, (xs[col + 1] - xs[col]) * ratio,
                              (ys[row + 1] - ys[row]) * ratio);
            const QRectF to(xt[col], yt[row], xt[col + 1] - xt[col], yt[row + 1] - yt[row]);
            if (!to.isEmpty())
                painter.drawPixmap(to, source, from);
        }
    }
}
