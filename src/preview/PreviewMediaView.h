#pragma once

#include "preview/ScaledPicture.h"

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace platform {
class MoviePlayer;
}

// The large picture of the preview: the screenshot (or a recording's poster) fitted with its
// aspect kept, or the frames of a playing recording, on a rounded, outlined plate.
class PreviewMediaView final : public QWidget {
    Q_OBJECT

public:
    explicit PreviewMediaView(QWidget *parent = nullptr);

    void setImage(const QImage &image);
    // Shows `placeholder` (a thumbnail) at once and the full image once `load` has read it on a
    // worker thread: a 4K capture decoded from disk would hold up the window's first frame.
    void setImage(const QImage &placeholder, std::function<QImage()> load);
    // Whether the full image is shown (not the placeholder).
    bool hasFullImage() const { return m_full; }
    // The full image while it is shown; null before it has been read.
    QImage fullImage() const { return m_full ? m_image : QImage(); }
    // Frames of the player are shown in place of the image while it has any.
    void setPlayer(platform::MoviePlayer *player);
    // Where the picture is drawn, in widget coordinates.
    QRectF pictureRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QSize frameBox() const;

    quint64 m_generation = 0;
    bool m_full = false;
    QImage m_image;
    // The image at the size shown, made once per size: a 4K capture is not scaled per paint.
    ScaledPicture m_scaled;
    QPointer<platform::MoviePlayer> m_player;
};
