#pragma once

#include <QPointer>
#include <QWidget>

class PlateButton;
class QLabel;
class QSlider;
namespace platform {
class MoviePlayer;
}

// The timeline under a playing recording, as a standard player view has it: the time played, a
// seek bar that can be dragged, the whole length and a mute button. When the movie cannot be
// played it shows why instead.
class PreviewTimeline final : public QWidget {
    Q_OBJECT

public:
    explicit PreviewTimeline(QWidget *parent = nullptr);

    void setPlayer(platform::MoviePlayer *player);
    void showFailure(const QString &message);

    // "m:ss", or "h:mm:ss" from an hour on.
    static QString timeText(qint64 ms);

private:
    void showPosition(qint64 position);
    void showDuration(qint64 duration);
    void showMuted(bool muted);

    QPointer<platform::MoviePlayer> m_player;
    QLabel *m_elapsed = nullptr;
    QSlider *m_seekBar = nullptr;
    QLabel *m_total = nullptr;
    PlateButton *m_mute = nullptr;
    QLabel *m_failure = nullptr;
};
