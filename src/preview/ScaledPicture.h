#pragma once

#include <QImage>
#include <QObject>
#include <QPixmap>
#include <functional>

// An image as a widget shows it: scaled smoothly to the size it is painted at, once per size.
// Smoothing a large capture (a 4K screen, or a 12000 × 12000 display, which would hold the main
// thread for half a second) on the main thread would keep it from the user, so above a size the
// picture is first sampled pixel by pixel, which costs only the pixels shown, and smoothed on a
// worker thread; `smoothed` is called once that picture is in.
class ScaledPicture {
public:
    ScaledPicture(QObject *owner, std::function<void()> smoothed);

    // Drops what was scaled from the image before.
    void setImage(const QImage &image);
    // The size shown changed: the next picture is scaled afresh.
    void invalidate();
    // The image at `target` device pixels, for a device of `ratio`; null without an image.
    const QPixmap &at(const QSize &target, qreal ratio);
    // Whether what at() gives is the smooth picture, not the quick one standing in for it.
    bool isSmooth() const { return m_smooth; }

private:
    QObject *m_owner;
    std::function<void()> m_smoothed;
    QImage m_image;
    QPixmap m_scaled;
    bool m_smooth = false;
    quint64 m_generation = 0;
};
