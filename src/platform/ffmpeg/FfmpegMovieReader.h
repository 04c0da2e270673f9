#pragma once

#include "platform/ffmpeg/FfmpegFrames.h"
#include "platform/ffmpeg/SoundOutput.h"

extern "C" {
#include <libswresample/swresample.h>
}

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <limits>
#include <optional>

namespace platform::ffmpeg {

struct MoviePicture {
    QImage image;
    // When it is due, in microseconds from the start of the movie.
    qint64 time = 0;
};

// Reads one movie file in order, frame by frame: each picture decoded, converted and scaled to
// the size it is shown at, so that only small pictures wait, and the sound, read as it is asked
// for, converted for the sound output. The decoder's threads are few enough that a 4K movie's
// pictures in flight stay within a budget. Failures are Failure exceptions. One thread.
class MovieReader {
public:
    // Opens the movie's video and, given a shape, its sound.
    MovieReader(const QString &path, std::optional<SoundShape> sound);
    ~MovieReader();
    MovieReader(const MovieReader &) = delete;
    MovieReader &operator=(const MovieReader &) = delete;

    // Milliseconds; 0 when the file does not say.
    qint64 duration() const { return m_duration; }
    // Microseconds from one frame to the next at the movie's nominal rate.
    qint64 frameInterval() const { return m_frameInterval; }
    bool hasSound() const { return bool(m_sound); }

    // The next picture, fitted into `box` (empty: the movie's own size, never larger), with the
    // sound up to a little past its time appended to `sound`, where the movie has it. Nothing at
    // the end, and again after it. Pictures due before `passBefore` (microseconds) are decoded
    // but passed over, a few at a time, the last one of the movie excepted: a player that fell
    // behind its sound catches up.
    std::optional<MoviePicture> next(const QSize &box, QByteArray *sound,
                                     qint64 passBefore = std::numeric_limits<qint64>::min());
    // Moves to the frame due at `position` milliseconds and returns it: the nearest, or the last
    // before the place where the pictures have a hole there or end before it; nothing when there
    // is none. The sound handed out next starts at the frame's time, or at the place where that
    // lies past the frame's own time.
    std::optional<MoviePicture> seek(qint64 position, const QSize &box);
    // Appends the sound that follows what was handed out until it reaches `until` (microseconds)
    // or its end: read apart from the pictures, only what is asked for, however far they lie.
    void readSound(QByteArray *sound, qint64 until);
    // Where the sound handed out so far ends, in microseconds from the start of the movie: the
    // sound is contiguous from the first picture (or the one a seek landed on), with silence
    // where the movie has none between its sound frames.
    qint64 soundEnd() const;
    // True once all of the movie's sound has been handed out: none follows until a move.
    bool allSoundRead() const;

private:
    FramePtr nextFrame();
    bool feedDecoder();
    void openSound(const QString &path, const SoundShape &shape);
    void seekSound(qint64 at);
    void decodeSound(const AVPacket *packet, QByteArray *sound);
    void appendSound(const AVFrame *frame, QByteArray *sound);
    QImage picture(const AVFrame *frame, const QSize &box);
    qint64 microseconds(int64_t timestamp, AVRational base) const;

    InputPtr m_input;
    int m_videoIndex = -1;
    CodecContextPtr m_video;
    PacketPtr m_packet{av_packet_alloc()};
    qint64 m_duration = 0;
    qint64 m_frameInterval = 33'333;
    qint64 m_videoStart = 0;
    // Decoded while moving to a place that lies in a hole in the pictures: the next picture.
    FramePtr m_held;
    bool m_readAll = false;
    bool m_flushed = false;
    bool m_ended = false;
    int m_framesDecoded = 0;
    int m_errorsInARow = 0;

    struct Sound;
    std::unique_ptr<Sound> m_sound;

    struct ScalerKey {
        int width = 0, height = 0, format = -1, toWidth = 0, toHeight = 0, colorspace = 0;
        bool fullRange = false;
        bool operator==(const ScalerKey &) const = default;
    };
    ScalerKey m_scalerKey;
    ScaleContextPtr m_scaler;
};

// Decoder threads for pictures of this size: enough to keep up with a 4K movie on a few cores,
// few enough that each thread's picture in flight stays within a budget.
int decoderThreads(QSize frameSize, int cores);

} // namespace platform::ffmpeg
