// The movie reader's sound, on movies made to be awkward: sound that starts before the first
// picture, a move to a place inside a sound frame, and sound that changes from stereo to mono
// part-way through. The sound handed out must keep each sample at its time.

#include "platform/ffmpeg/FfmpegMovieReader.h"
#include "MovieProbe.h"
#include "support/OurMovies.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using platform::ffmpeg::MoviePicture;
using platform::ffmpeg::MovieReader;
using platform::ffmpeg::SoundShape;

const SoundShape stereo{48000, 2};

bool ffmpegMakes(const QString &path, const QStringList &arguments)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{"-hide_banner", "-loglevel", "error", "-y"} << arguments << path);
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0;
}

// The place of the first sample at or after `from` louder than a quiet level, in seconds of
// `shape`; -1 when there is none.
double firstLoud(const QByteArray &sound, const SoundShape &shape, qsizetype from = 0)
{
    const auto *samples = reinterpret_cast<const qint16 *>(sound.constData());
    for (qsizetype i = from / 2; i < sound.size() / 2; ++i) {
        if (std::abs(samples[i]) > 3000)
            return double((i - from / 2) / shape.channels) / shape.sampleRate;
    }
    return -1;
}

// The loudness of a stretch of the sound, as the root of its mean square, in full-scale parts.
double loudness(const QByteArray &sound, double from, double to, const SoundShape &shape)
{
    const auto *samples = reinterpret_cast<const qint16 *>(sound.constData());
    const qsizetype first = qsizetype(from * shape.sampleRate) * shape.channels;
    const qsizetype last =
        std::min<qsizetype>(qsizetype(to * shape.sampleRate) * shape.channels, sound.size() / 2);
    double sum = 0;
    for (qsizetype i = first; i < last; ++i)
        sum += double(samples[i]) * samples[i];
    return last > first ? std::sqrt(sum / double(last - first)) / 32768 : 0;
}

class FfmpegMovieReading : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            GTEST_SKIP() << "needs the ffmpeg command to make its movies";
    }
    QTemporaryDir m_folder;
};

TEST_F(FfmpegMovieReading, SoundBeforeTheFirstPictureIsLeftOutToTheSample)
{
    // The pictures start about half a second after the sound; the sound beeps 0.9 s into its
    // own time, some 0.4 s after the first picture.
    const QString path = m_folder.filePath(QStringLiteral("early-sound.mkv"));
    ASSERT_TRUE(ffmpegMakes(
        path, {"-itsoffset", "0.5", "-f", "lavfi", "-i", "testsrc=size=160x90:rate=25:duration=2",
               "-f", "lavfi", "-i",
               "aevalsrc=if(between(t\\,0.9\\,1.0)\\,0.8*sin(2*PI*1000*t)\\,0):s=44100:d=2.5",
               "-ac", "2", "-c:v", "mjpeg", "-c:a", "pcm_s16le"}));
    const MovieProbe probe = MovieProbe::of(path);
    const double pictureStart = probe.video.value("start_time").toString().toDouble();
    const double soundStart = probe.audio.value("start_time").toString().toDouble();
    ASSERT_GT(pictureStart - soundStart, 0.4);
    MovieReader reader(path, stereo);
    ASSERT_TRUE(reader.hasSound());
    // Sound the caller already holds stays as it was.
    const QByteArray held(9600, '\x11');
    QByteArray sound = held;
    std::optional<MoviePicture> first = reader.next(QSize(), &sound);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->time, 0);
    while (reader.next(QSize(), &sound)) {
    }
    ASSERT_GE(sound.size(), held.size());
    EXPECT_EQ(sound.left(held.size()), held);
    EXPECT_NEAR(firstLoud(sound, stereo, held.size()), 0.9 - (pictureStart - soundStart), 0.002);
}

TEST_F(FfmpegMovieReading, AfterAMoveTheSoundStartsAtThePicturesTime)
{
    const QString path = m_folder.filePath(QStringLiteral("flash.mp4"));
    QString error;
    ASSERT_TRUE(writeFlashAndBeep(path, QSize(320, 180), 30, &error)) << qPrintable(error);
    MovieReader reader(path, stereo);
    // Into the silence, inside a sound frame: the beep comes as far after the picture as the
    // picture is before one second.
    for (const qint64 place : {500, 733, 10}) {
        SCOPED_TRACE(place);
        std::optional<MoviePicture> there = reader.seek(place, QSize());
        ASSERT_TRUE(there);
        EXPECT_NEAR(reader.soundEnd(), there->time, 25);
        QByteArray sound;
        for (int i = 0; i < 10 && reader.next(QSize(), &sound); ++i) {
        }
        while (reader.soundEnd() < 1'200'000 && reader.next(QSize(), &sound)) {
        }
        EXPECT_NEAR(firstLoud(sound, stereo), 1.0 - there->time / 1e6, 0.008);
        EXPECT_NEAR(double(sound.size()) / (stereo.sampleRate * 4),
                    (reader.soundEnd() - there->time) / 1e6, 0.001)
            << "what was handed out is what was read";
    }
    // Into the tone: loud from the first sample.
    ASSERT_TRUE(reader.seek(1500, QSize()));
    QByteArray sound;
    reader.next(QSize(), &sound);
    EXPECT_EQ(firstLoud(sound, stereo), 0);
}

TEST_F(FfmpegMovieReading, SoundThatTurnsFromStereoToMonoIsReadToTheEnd)
{
    // Two pieces of one stream: 0.6 s of a 440 Hz tone in stereo, then 0.6 s of 880 Hz in mono.
    const QString first = m_folder.filePath(QStringLiteral("stereo.ts"));
    const QString second = m_folder.filePath(QStringLiteral("mono.ts"));
    const QStringList picture{"-f", "lavfi", "-i", "testsrc=size=64x36:rate=25:duration=0.6"};
    ASSERT_TRUE(ffmpegMakes(first, QStringList(picture) << "-f"
                                                        << "lavfi"
                                                        << "-i"
                                                        << "sine=f=440:d=0.6"
                                                        << "-ac"
                                                        << "2"
                                                        << "-c:v"
                                                        << "mpeg2video"
                                                        << "-c:a"
                                                        << "mp2"
                                                        << "-ar"
                                                        << "44100"));
    ASSERT_TRUE(ffmpegMakes(second, QStringList(picture) << "-f"
                                                         << "lavfi"
                                                         << "-i"
                                                         << "sine=f=880:d=0.6"
                                                         << "-ac"
                                                         << "1"
                                                         << "-c:v"
                                                         << "mpeg2video"
                                                         << "-c:a"
                                                         << "mp2"
                                                         << "-ar"
                                                         << "44100"
                                                         << "-output_ts_offset"
                                                         << "0.6"));
    const QString joined = m_folder.filePath(QStringLiteral("stereo-then-mono.ts"));
    QFile out(joined);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    for (const QString &piece : {first, second}) {
        QFile in(piece);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        out.write(in.readAll());
    }
    out.close();

    for (const SoundShape shape : {stereo, SoundShape{44100, 1}}) {
        SCOPED_TRACE(shape.channels);
        MovieReader reader(joined, shape);
        QByteArray sound;
        int pictures = 0;
        while (reader.next(QSize(), &sound))
            ++pictures;
        EXPECT_GE(pictures, 28);
        const double seconds = double(sound.size()) / (shape.sampleRate * shape.channels * 2);
        EXPECT_NEAR(seconds, 1.2, 0.1);
        // FFmpeg's sine is an eighth of full scale.
        EXPECT_GT(loudness(sound, 0.1, 0.5, shape), 0.05) << "the stereo part";
        EXPECT_GT(loudness(sound, 0.7, 1.1, shape), 0.05) << "the mono part";
    }
}

} // namespace
