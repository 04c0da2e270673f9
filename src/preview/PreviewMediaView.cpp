#include "preview/PreviewMediaView.h"

#include "platform/Background.h"
#include "platform/MoviePlayer.h"

#include <QFuture>
#include <QPainter>
#include <QPainterPath>

PreviewMediaView::PreviewMediaView(QWidget *parent)
    : QWidget(parent), m_scaled(this, [this] { update(); })
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void PreviewMediaView::setImage(const QImage &image)
{
    ++m_generation;
    m_full = true;
    m_image = image;
    m_scaled.setImage(image);
    update();
}

void PreviewMediaView::setImage(const QImage &placeholder, std::function<QImage()> load)
{
    const quint64 generation = ++m_generation;
    m_full = false;
    m_image = placeholder;
    m_scaled.setImage(placeholder);
    update();
    const auto loading = platform::runInBackground(std::move(load));
    platform::deliverTo(this, loading, [this, generation](const QImage &image) {
        // A later image replaced this one meanwhile, or reading it failed: keep what is shown.
        if (generation != m_generation || image.isNull())
            return;
        m_full = true;
        m_image = image;
        m_scaled.setImage(image);
        update();
    });
}

void PreviewMediaView::setPlayer(platform::MoviePlayer *player)
{
    if (m_player)
        disconnect(m_player, nullptr, this, nullptr);
    m_player = player;
    if (player) {
        connect(player, &platform::MoviePlayer::frameChanged, this, qOverload<>(&QWidget::update));
        player->setFrameSize(frameBox());
    }
    update();
}

QRectF PreviewMediaView::pictureRect() const
{
    const QImage frame = m_player ? m_player->currentFrame() : QImage();
    const QSizeF source = !frame.isNull() ? QSizeF(frame.size()) : QSizeF(m_image.size());
    const QRectF room = QRectF(rect());
    if (source.isEmpty())
        return room;
    const QSizeF fitted = source.scaled(room.size(), Qt::KeepAspectRatio);
    return QRectF(room.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted);
}

QSize PreviewMediaView::frameBox() const
{
    // Frames come at the size they are painted: a 4K movie is scaled on the player's threads.
    return (QSizeF(size()) * devicePixelRatioF()).toSize();
}

void PreviewMediaView::resizeEvent(QResizeEvent *event)
{
    m_scaled.invalidate();
    if (m_player)
        m_player->setFrameSize(frameBox());
    QWidget::resizeEvent(event);
}

void PreviewMediaView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF picture = pictureRect();
    QPainterPath plate;
    plate.addRoundedRect(picture, 8, 8);

    // A soft shadow in a few widening rims.
    for (int i = 1; i <= 4; ++i) {
        QPainterPath rim;
        rim.addRoundedRect(picture.translated(0, 6).adjusted(-2 * i, -2 * i, 2 * i, 2 * i),
                           8 + 2 * i, 8 + 2 * i);
        painter.fillPath(rim, QColor(0, 0, 0, 22));
    }

    painter.save();
    painter.setClipPath(plate);
    const QImage frame = m_player ? m_player->currentFrame() : QImage();
    if (!frame.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(picture, frame);
    } else if (!m_image.isNull()) {
        const qreal dpr = devicePixelRatioF();
        painter.drawPixmap(picture.topLeft(), m_scaled.at((picture.size() * dpr).toSize(), dpr));
    } else {
        painter.fillRect(picture, Qt::black);
    }
    painter.restore();
    painter.setPen(QPen(QColor(255, 255, 255, 31), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(plate);
}
