#pragma once

#include "model/CaptureItem.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QSet>
#include <QSizeF>
#include <QString>
#include <QUuid>
#include <functional>

// The pictures the tray draws its thumbnails from, made once per capture and look and then only
// copied to the screen. A picture is made from the small thumbnail a capture carries, never from
// its full image. An edited capture keeps its identifier but gets a new thumbnail, and so new
// pictures.
class TrayThumbnailCache {
public:
    // The picture of `look` for the capture: `make` turns the thumbnail into it on the first
    // request.
    QPixmap picture(const CaptureItem &item, const QString &look,
                    const std::function<QPixmap(const QImage &thumbnail)> &make);
    // Forgets the pictures of captures that are no longer staged.
    void retain(const QSet<QUuid> &ids);
    qsizetype count() const { return m_pictures.size(); }

private:
    struct Key {
        QUuid id;
        qint64 thumbnail;
        QString look;
        bool operator==(const Key &other) const = default;
    };
    friend size_t qHash(const Key &key, size_t seed)
    {
        return qHashMulti(seed, key.id, key.thumbnail, key.look);
    }

    QHash<Key, QPixmap> m_pictures;
};

enum class ThumbnailScaling {
    // Covers the frame, cropping the overflow.
    fill,
    // Fits inside the frame; the uncovered part stays transparent.
    fit
};

// The thumbnail scaled into a frame of `size` points at the device pixel ratio and clipped to a
// rounded rectangle of `radius`. An empty thumbnail gives a transparent picture.
QImage roundedThumbnail(const QImage &thumbnail, QSizeF size, double radius,
                        ThumbnailScaling scaling, qreal devicePixelRatio);

// A soft shadow of what `layer` covers (its alpha), blurred by `blur` points, in `color`. The
// result is larger than the layer by `shadowMargin(blur)` on every side.
QImage dropShadow(const QImage &layer, double blur, const QColor &color);
int shadowMargin(double blur);

// Paints the soft shadow of a rectangle with rounded corners (the top ones square when asked)
// under `rect`, blurred by `blur`. Made once per shape and stretched, so that an animated
// outline costs no blurring per frame.
void paintRoundedShadow(QPainter &painter, const QRectF &rect, double radius, bool squareTop,
                        double blur, const QColor &color);
