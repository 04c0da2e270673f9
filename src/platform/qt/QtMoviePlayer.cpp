#include "platform/MoviePlayer.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QVideoFrame>
#include <QVideoSink>

namespace platform {

namespace {

class QtMoviePlayer final : public MoviePlayer {
public:
    explicit QtMoviePlayer(const QUrl &url)
    {
        m_player.setVideoSink(&m_sink);
        // The FFmpeg backend crashes with an audio output but no device to play on.
        if (!QMediaDevices::audioOutputs().isEmpty()) {
            m_audio = std::make_unique<QAudioOutput>();
            m_player.setAudioOutput(m_audio.get());
        }
        connect(&m_sink, &QVideoSink::videoFrameChanged, this, [this](const QVideoFrame &frame) {
            if (!frame.isValid())
                return;
            m_frame = frame.toImage();
            emit frameChanged();
        });
        connect(&m_player, &QMediaPlayer::playbackStateChanged, this,
                [this](QMediaPlayer::PlaybackState state) {
                    emit playingChanged(state == QMediaPlayer::PlayingState);
                });
        connect(&m_player, &QMediaPlayer::positionChanged, this, &MoviePlayer::positionChanged);
        connect(&m_player, &QMediaPlayer::mediaStatusChanged, this,
                [this](QMediaPlayer::MediaStatus status) {
                    if (status == QMediaPlayer::EndOfMedia)
                        emit reachedEnd();
                });
        connect(&m_player, &QMediaPlayer::errorOccurred, this,
                [this](QMediaPlayer::Error, const QString &message) { emit failed(message); });
        m_player.setSource(url);
    }

    ~QtMoviePlayer() override
    {
        disconnect(&m_sink, nullptr, this, nullptr);
        m_player.stop();
    }

    void play() override { m_player.play(); }
    void pause() override { m_player.pause(); }
    void seekToStart() override { m_player.setPosition(0); }
    bool isPlaying() const override
    {
        return m_player.playbackState() == QMediaPlayer::PlayingState;
    }
    qint64 position() const override { return m_player.position(); }
    qint64 duration() const override { return m_player.duration(); }
    QImage currentFrame() const override { return m_frame; }
    QString errorString() const override { return m_player.errorString(); }

private:
    QMediaPlayer m_player;
    QVideoSink m_sink;
    std::unique_ptr<QAudioOutput> m_audio;
    QImage m_frame;
};

} // namespace

MoviePlayerFactory makeQtMoviePlayers()
{
    return [](const QUrl &url) -> std::unique_ptr<MoviePlayer> {
        return std::make_unique<QtMoviePlayer>(url);
    };
}

void selectMovieBackend()
{
    // Debian's GStreamer backend fails without plugins we do not need; the FFmpeg one uses the
    // libraries the recorder links anyway.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
}

} // namespace platform
