#pragma once

#include <QImage>
#include <QObject>
#include <QUrl>
#include <functional>
#include <memory>

namespace platform {

// Plays one movie file with its sound, frame by frame into an image the caller paints. It
// never starts by itself; at the end it stops and reports it. Main thread.
class MoviePlayer : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~MoviePlayer() override = default;

    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void seekToStart() = 0;
    virtual bool isPlaying() const = 0;
    // Milliseconds from the start; the duration is 0 until it is known.
    virtual qint64 position() const = 0;
    virtual qint64 duration() const = 0;
    // The frame last decoded; null before the first.
    virtual QImage currentFrame() const = 0;
    // The reason the movie cannot be played; empty while it can.
    virtual QString errorString() const = 0;

signals:
    void playingChanged(bool playing);
    void frameChanged();
    void positionChanged(qint64 position);
    void reachedEnd();
    void failed(const QString &message);
};

using MoviePlayerFactory = std::function<std::unique_ptr<MoviePlayer>(const QUrl &url)>;

// Qt Multimedia on its FFmpeg backend, with sound only where there is an output device.
// Call selectMovieBackend() before the application object exists.
MoviePlayerFactory makeQtMoviePlayers();
void selectMovieBackend();

} // namespace platform
