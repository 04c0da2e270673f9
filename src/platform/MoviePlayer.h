#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QUrl>
#include <functional>
#include <memory>

namespace platform {

// Plays one movie file with its sound, frame by frame into an image the caller paints. It
// never starts by itself; at the end it stops, rewinds and reports it once. Opening, decoding
// and scaling the frames happen on threads of its own: every call returns at once and what it
// changes is announced by the signals. Main thread.
class MoviePlayer : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~MoviePlayer() override = default;

    virtual void play() = 0;
    virtual void pause() = 0;
    // Milliseconds from the start, clamped to the movie.
    virtual void seek(qint64 position) = 0;
    void seekToStart() { seek(0); }
    virtual bool isPlaying() const = 0;
    virtual void setMuted(bool muted) = 0;
    virtual bool isMuted() const = 0;
    // Milliseconds from the start; the duration is 0 until it is known.
    virtual qint64 position() const = 0;
    virtual qint64 duration() const = 0;
    // The size, in device pixels, the frames are shown at; frames come scaled to fit it (never
    // above the movie's own size). Empty: the movie's size.
    virtual void setFrameSize(const QSize &size) = 0;
    // The frame last decoded; null before the first.
    virtual QImage currentFrame() const = 0;
    // When that frame is due, in microseconds from the start of the movie.
    virtual qint64 currentFrameTime() const = 0;
    // The reason the movie cannot be played; empty while it can.
    virtual QString errorString() const = 0;

signals:
    void playingChanged(bool playing);
    void mutedChanged(bool muted);
    void frameChanged();
    void positionChanged(qint64 position);
    void durationChanged(qint64 duration);
    void reachedEnd();
    // Once per movie: nothing more plays after it.
    void failed(const QString &message);
};

using MoviePlayerFactory = std::function<std::unique_ptr<MoviePlayer>(const QUrl &url)>;

} // namespace platform
