#include "preview/ScaledPicture.h"

#include "platform/Background.h"

#include <QFuture>

namespace {

// Half a 4K picture. Smoothing a 4K one took the main thread 5 ms of its own and had it wait for
// Qt's pool threads besides, which a busy machine keeps from running.
constexpr qint64 smoothOnTheSpotPixels = 4'000'000;

} // namespace

ScaledPicture::ScaledPicture(QObject *owner, std::function<void()> smoothed)
    : m_owner(owner), m_smoothed(std::move(smoothed))
{
}

void ScaledPicture::setImage(const QImage &image)
{
    m_image = image;
    invalidate();
}

void ScaledPicture::invalidate()
{
    ++m_generation;
    m_scaled = QPixmap();
    m_smooth = false;
}

const QPixmap &ScaledPicture::at(const QSize &target, qreal ratio)
{
    if (m_image.isNull() || target.isEmpty() || (!m_scaled.isNull() && m_scaled.size() == target))
        return m_scaled;
    const quint64 generation = ++m_generation;
    const bool large = qint64(m_image.width()) * m_image.height() > smoothOnTheSpotPixels;
    m_scaled = QPixmap::fromImage(m_image.scaled(
        target, Qt::IgnoreAspectRatio, large ? Qt::FastTransformation : Qt::SmoothTransformation));
    m_scaled.setDevicePixelRatio(ratio);
    m_smooth = !large;
    if (!large)
        return m_scaled;
    const auto smoothing = platform::runInBackground([image = m_image, target] {
        return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    });
    platform::deliverTo(m_owner, smoothing, [this, generation, ratio](const QImage &smooth) {
        // The image or the size changed meanwhile: that picture is of no use now.
        if (generation != m_generation || smooth.isNull())
            return;
        m_scaled = QPixmap::fromImage(smooth);
        m_scaled.setDevicePixelRatio(ratio);
        m_smooth = true;
        if (m_smoothed)
            m_smoothed();
    });
    return m_scaled;
}
