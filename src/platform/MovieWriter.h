#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <memory>

namespace platform {

enum class MovieContainer { mpeg4, quickTime };

// How a movie is written: H.264 video of `frameSize` at about `frameRate` frames a second, and
// with `withAudio` an AAC track of 44100 Hz stereo sound.
struct MovieSettings {
    QString filePath;
    MovieContainer container = MovieContainer::mpeg4;
    QSize frameSize;
    int frameRate = 30;
    bool withAudio = false;
};

// A movie being written. Times are std::chrono::steady_clock times in microseconds; the movie
// starts with its first video frame, and sound from before it is left out. The file stays
// playable up to about its last second when the program dies while writing.
//
// addVideoFrame and addAudio may be called from one thread each, at the same time; finish and
// cancel after both have stopped calling.
class MovieWriter {
public:
    virtual ~MovieWriter() = default;

    // A frame of the movie's size (QImage::Format_RGB32), read during the call only. Dropped,
    // and counted, when the encoder is too far behind.
    virtual void addVideoFrame(const QImage &frame, qint64 steadyTimeUs) = 0;
    // Interleaved stereo float samples; ignored without an audio track.
    virtual void addAudio(const float *samples, int frames, qint64 steadyTimeUs) = 0;
    // Video frames dropped so far because the encoder was behind.
    virtual int droppedFrames() const = 0;

    // Writes what is queued and completes the file. False, with the reason in `error` when
    // given, when the file could not be completed; a movie without a single video frame is
    // such a failure. Blocks until the file is written.
    virtual bool finish(QString *error = nullptr) = 0;
    // Abandons the movie and closes its file; the caller removes it.
    virtual void cancel() = 0;
};

class MovieWriters {
public:
    virtual ~MovieWriters() = default;
    // Creates the file and prepares the encoders; nothing, with the reason in `error` when
    // given, when that fails.
    virtual std::unique_ptr<MovieWriter> create(const MovieSettings &settings,
                                                QString *error = nullptr) = 0;
};

} // namespace platform
