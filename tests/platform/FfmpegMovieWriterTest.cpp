#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "MovieProbe.h"
#include "platform/AudioInput.h"
#include "platform/ffmpeg/FfmpegPosterFrames.h"
#include "support/EveryFrameWritten.h"
#include "support/OurMovies.h"

#include <QColor>
#include <QImage>
#include <QTemporaryDir>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vector>

namespace {

using platform::MovieContainer;
using platform::MovieSettings;
using platform::MovieWriter;

constexpr qint64 second = 1'000'000;
const QSize movieSize(320, 240);

// Red for the first quarter second, then green; a white bar moves across so that no two frames
// are alike.
QImage patternFrame(int index, int frameRate)
{
    QImage frame(movieSize, QImage::Format_RGB32);
    frame.fill(index * 4 < frameRate ? QColor(220, 30, 30) : QColor(30, 200, 60));
    const int x = (index * 7) % (movieSize.width() - 10);
    for (int y = 0; y < 20; ++y)
        std::fill_n(reinterpret_cast<quint32 *>(frame.scanLine(y)) + x, 10, 0xffffffffu);
    return frame;
}

// Frames `frameRate` a second for `seconds`, time-stamped from `start`, every one of them in the
// movie.
void writePattern(MovieWriter &writer, int frameRate, double seconds, qint64 start)
{
    const int count = int(frameRate * seconds);
    for (int i = 0; i < count; ++i)
        EXPECT_TRUE(
            addEveryFrame(writer, patternFrame(i, frameRate), start + i * second / frameRate));
}

// A 440 Hz tone of `seconds`, in chunks of 441 frames, time-stamped from `start`.
void writeTone(MovieWriter &writer, double seconds, qint64 start)
{
    constexpr int chunk = 441;
    std::vector<float> samples(chunk * 2);
    const int chunks = int(seconds * platform::audioSampleRate / chunk);
    for (int c = 0; c < chunks; ++c) {
        for (int i = 0; i < chunk; ++i) {
            const double t = double(c * chunk + i) / platform::audioSampleRate;
            samples[2 * i] = samples[2 * i + 1] = float(0.3 * std::sin(2 * M_PI * 440 * t));
        }
        writer.addAudio(samples.data(), chunk, start + qint64(c) * chunk * second / 44100);
    }
}

bool near(QColor actual, QColor expected)
{
    return std::abs(actual.red() - expected.red()) < 16 &&
           std::abs(actual.green() - expected.green()) < 16 &&
           std::abs(actual.blue() - expected.blue()) < 16;
}

class FfmpegMovieWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!MovieProbe::available())
            GTEST_SKIP() << "ffprobe is not installed";
    }

    MovieSettings settings(const QString &name, MovieContainer container, bool withAudio = false,
                           int frameRate = 20)
    {
        MovieSettings settings;
        settings.filePath = dir.filePath(name);
        settings.container = container;
        settings.frameSize = movieSize;
        settings.frameRate = frameRate;
        settings.withAudio = withAudio;
        return settings;
    }

    QTemporaryDir dir;
};

TEST_F(FfmpegMovieWriterTest, MoviesAreHighProfileH264AtTheAskedSizeRateAndBitRate)
{
    struct Case {
        MovieContainer container;
        unsigned cores; // 2 picks the fastest preset, 8 the better one
        bool withAudio;
        const char *brand;
    };
    for (const Case &c : {Case{MovieContainer::mpeg4, 8, true, "iso5"},
                          Case{MovieContainer::quickTime, 2, false, "qt  "}}) {
        SCOPED_TRACE(c.brand);
        const MovieSettings movie =
            settings(QStringLiteral("movie-%1").arg(c.cores), c.container, c.withAudio);
        QString error;
        std::unique_ptr<MovieWriter> writer =
            platform::FfmpegMovieWriters(c.cores).create(movie, &error);
        ASSERT_TRUE(writer) << error.toStdString();
        writePattern(*writer, 20, 2.0, 5 * second);
        writeTone(*writer, 2.0, 5 * second);
        ASSERT_TRUE(writer->finish(&error)) << error.toStdString();

        const MovieProbe probe = MovieProbe::of(movie.filePath, true);
        ASSERT_TRUE(probe.readable);
        EXPECT_EQ(probe.video.value("codec_name").toString(), "h264");
        EXPECT_EQ(probe.video.value("profile").toString(), "High");
        EXPECT_EQ(probe.video.value("pix_fmt").toString(), "yuv420p");
        EXPECT_EQ(probe.video.value("width").toInt(), 320);
        EXPECT_EQ(probe.video.value("height").toInt(), 240);
        EXPECT_EQ(probe.video.value("avg_frame_rate").toString(), "20/1");
        EXPECT_EQ(probe.frames(), 40);
        EXPECT_NEAR(probe.duration(), 2.0, 0.15);
        EXPECT_EQ(probe.brand(), c.brand);
        // 320 × 240 × 4 bits a second.
        EXPECT_TRUE(MovieProbe::encoderSettingsContain(movie.filePath, "bitrate=307"));
        EXPECT_TRUE(MovieProbe::encoderSettingsContain(movie.filePath, "sliced_threads=0"));
        EXPECT_EQ(probe.audio.isEmpty(), !c.withAudio);
        if (c.withAudio) {
            EXPECT_EQ(probe.audio.value("codec_name").toString(), "aac");
            EXPECT_EQ(probe.audio.value("sample_rate").toString(), "44100");
            EXPECT_EQ(probe.audio.value("channels").toInt(), 2);
        }
    }
}

TEST_F(FfmpegMovieWriterTest, SoundStartsWithTheFirstPicture)
{
    const MovieSettings movie = settings("sound.mp4", MovieContainer::mpeg4, true);
    std::unique_ptr<MovieWriter> writer = platform::FfmpegMovieWriters().create(movie);
    ASSERT_TRUE(writer);
    // Sound heard a second before the first frame, and sound that arrives before it.
    writeTone(*writer, 0.5, 5 * second);
    writePattern(*writer, 20, 2.0, 5 * second);
    writeTone(*writer, 3.0, 4 * second);
    ASSERT_TRUE(writer->finish());

    const MovieProbe probe = MovieProbe::of(movie.filePath);
    EXPECT_NEAR(probe.audio.value("start_time").toString().toDouble(), 0.0, 0.05);
    // Two seconds and the encoder's padding; three or more would hold the sound from before.
    EXPECT_NEAR(probe.audio.value("duration").toString().toDouble(), 2.0, 0.15);
}

TEST_F(FfmpegMovieWriterTest, SoundCapturedAcrossTheFirstPictureIsCutAtIt)
{
    const MovieSettings movie = settings("across.mp4", MovieContainer::mpeg4, true);
    std::unique_ptr<MovieWriter> writer = platform::FfmpegMovieWriters().create(movie);
    ASSERT_TRUE(writer);
    writePattern(*writer, 20, 2.0, 5 * second);
    // One block from a quarter second before the first picture to three quarters after: a tone
    // up to the first picture, silence from it. Then the tone again in small blocks.
    std::vector<float> block(2 * 44100, 0.0f);
    for (int i = 0; i < 44100 / 4; ++i)
        block[2 * i] = block[2 * i + 1] = float(0.3 * std::sin(2 * M_PI * 440 * i / 44100.0));
    writer->addAudio(block.data(), 44100, 5 * second - second / 4);
    writeTone(*writer, 1.25, 5 * second + 3 * second / 4);
    ASSERT_TRUE(writer->finish());

    // The sound track starts silent: the tone before the first picture is left out.
    const std::optional<MovieProbe::Loudness> opening =
        MovieProbe::loudness(movie.filePath, QStringLiteral("atrim=end_sample=8820"));
    ASSERT_TRUE(opening);
    EXPECT_LT(opening->peak, -40);
    const MovieProbe probe = MovieProbe::of(movie.filePath);
    EXPECT_NEAR(probe.audio.value("duration").toString().toDouble(), 2.0, 0.15);
}

TEST_F(FfmpegMovieWriterTest, PicturesCloserThanOneFrameTimeAllReachTheMovie)
{
    const MovieSettings movie = settings("close.mp4", MovieContainer::mpeg4);
    std::unique_ptr<MovieWriter> writer = platform::FfmpegMovieWriters().create(movie);
    ASSERT_TRUE(writer);
    // Four pictures within a twentieth of a second, then one every twentieth.
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(addEveryFrame(*writer, patternFrame(i, 20), 5 * second + i * 5000));
    for (int i = 4; i < 24; ++i)
        EXPECT_TRUE(addEveryFrame(*writer, patternFrame(i, 20), 5 * second + i * second / 20));
    QString error;
    ASSERT_TRUE(writer->finish(&error)) << qPrintable(error);
    const MovieProbe probe = MovieProbe::of(movie.filePath, true);
    ASSERT_TRUE(probe.readable);
    EXPECT_EQ(probe.frames(), 24);
    // Each at a time of its own, in the order written: a player shows every one.
    const QList<double> times = MovieProbe::pictureTimes(movie.filePath);
    ASSERT_EQ(times.size(), 24);
    for (int i = 1; i < times.size(); ++i)
        EXPECT_GT(times[i], times[i - 1]) << "picture " << i;
}

TEST_F(FfmpegMovieWriterTest, SoundLongBeforeTheEncoderGivesItsFirstPictureWaitsForIt)
{
    const MovieSettings movie = settings("late.mp4", MovieContainer::mpeg4, true);
    std::unique_ptr<MovieWriter> writer = platform::FfmpegMovieWriters().create(movie);
    ASSERT_TRUE(writer);
    // The encoder holds its first pictures while it looks ahead; the sound of twelve seconds
    // reaches the writer meanwhile.
    EXPECT_TRUE(addEveryFrame(*writer, patternFrame(0, 20), 5 * second));
    writeTone(*writer, 12.0, 5 * second);
    for (int i = 1; i < 240; ++i)
        EXPECT_TRUE(addEveryFrame(*writer, patternFrame(i, 20), 5 * second + i * second / 20));
    QString error;
    ASSERT_TRUE(writer->finish(&error)) << qPrintable(error);
    const MovieProbe probe = MovieProbe::of(movie.filePath, true);
    ASSERT_TRUE(probe.readable);
    EXPECT_EQ(probe.frames(), 240);
    // The first pictures keep their places: none clipped to the sound's, none out of order.
    const QList<double> times = MovieProbe::pictureTimes(movie.filePath);
    ASSERT_EQ(times.size(), 240);
    for (int i = 1; i < times.size(); ++i)
        EXPECT_NEAR(times[i] - times[0], i / 20.0, 0.002) << "picture " << i;
}

TEST_F(FfmpegMovieWriterTest, PicturesAndSoundCapturedTogetherPlayTogether)
{
    for (const int frameRate : {30, 60}) {
        SCOPED_TRACE(frameRate);
        const QString path = dir.filePath(QStringLiteral("flash-%1.mp4").arg(frameRate));
        QString error;
        ASSERT_TRUE(writeFlashAndBeep(path, movieSize, frameRate, &error)) << qPrintable(error);
        const std::optional<MovieProbe::Onsets> onsets = MovieProbe::onsets(path);
        ASSERT_TRUE(onsets);
        // Within a few milliseconds (the tone's first wave), where a viewer would notice 45.
        EXPECT_NEAR(onsets->sound, onsets->picture, 0.008);
    }
}

TEST_F(FfmpegMovieWriterTest, AMovieWithoutPicturesIsNotCompleted)
{
    const MovieSettings movie = settings("empty.mp4", MovieContainer::mpeg4, true);
    std::unique_ptr<MovieWriter> writer = platform::FfmpegMovieWriters().create(movie);
    ASSERT_TRUE(writer);
    writeTone(*writer, 0.5, 0);
    QString error;
    EXPECT_FALSE(writer->finish(&error));
    EXPECT_EQ(error, "No video frames were recorded");

    QString createError;
    MovieSettings unwritable = settings("missing/folder/x.mp4", MovieContainer::mpeg4);
    EXPECT_FALSE(platform::FfmpegMovieWriters().create(unwritable, &createError));
    EXPECT_TRUE(createError.startsWith("Cannot create " + unwritable.filePath))
        << createError.toStdString();
}

TEST_F(FfmpegMovieWriterTest, TheMovieIsPrivateAndNothingPlantedAtItsNameIsWritten)
{
    // A umask that would leave the movie readable by everyone.
    const mode_t previousMask = ::umask(022);
    const MovieSettings movie = settings("private.mp4", MovieContainer::mpeg4);
    std::unique_ptr<MovieWriter> writer = platform::FfmpegMovieWriters().create(movie);
    ::umask(previousMask);
    ASSERT_TRUE(writer);
    writePattern(*writer, 20, 0.5, 0);
    ASSERT_TRUE(writer->finish());
    struct stat status {};
    ASSERT_EQ(::lstat(QFile::encodeName(movie.filePath).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    EXPECT_EQ(MovieProbe::of(movie.filePath, true).frames(), 10);

    // Someone else's file, a link to one of the user's files and a link to where one would be
    // made: none is opened, truncated or created.
    const QString victim = dir.filePath("victim.txt");
    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    const QString planted = dir.filePath("planted.mp4");
    QFile::copy(victim, planted);
    const QString linked = dir.filePath("linked.mp4");
    ASSERT_TRUE(QFile::link(victim, linked));
    const QString dangling = dir.filePath("dangling.mp4");
    const QString wouldBeMade = dir.filePath("made-through-link.txt");
    ASSERT_TRUE(QFile::link(wouldBeMade, dangling));
    for (const QString &path : {planted, linked, dangling}) {
        SCOPED_TRACE(path.toStdString());
        MovieSettings taken = movie;
        taken.filePath = path;
        QString error;
        EXPECT_FALSE(platform::FfmpegMovieWriters().create(taken, &error));
        EXPECT_TRUE(error.startsWith("Cannot create " + path)) << error.toStdString();
    }
    for (const QString &path : {victim, planted}) {
        QFile kept(path);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), "keep me");
    }
    EXPECT_FALSE(QFile::exists(wouldBeMade));
}

TEST_F(FfmpegMovieWriterTest, A4KMovieThatOutrunsTheEncoderDropsFramesInsteadOfHoldingThem)
{
    // At 10 fps, few enough pixels a second for veryfast on eight cores.
    MovieSettings movie = settings("4k.mp4", MovieContainer::mpeg4, false, 10);
    movie.frameSize = QSize(3840, 2160);
    QString error;
    std::unique_ptr<MovieWriter> writer = platform::FfmpegMovieWriters(8).create(movie, &error);
    ASSERT_TRUE(writer) << error.toStdString();
    // Handed over as fast as they come, far faster than x264 encodes 4K.
    QImage frames[2] = {QImage(movie.frameSize, QImage::Format_RGB32),
                        QImage(movie.frameSize, QImage::Format_RGB32)};
    frames[0].fill(QColor(220, 30, 30));
    frames[1].fill(QColor(30, 200, 60));
    constexpr int handed = 40;
    for (int i = 0; i < handed; ++i)
        writer->addVideoFrame(frames[i % 2], i * second / 60);
    ASSERT_TRUE(writer->finish(&error)) << error.toStdString();

    EXPECT_GT(writer->droppedFrames(), 0);
    EXPECT_EQ(MovieProbe::of(movie.filePath, true).frames(), handed - writer->droppedFrames());
    // One picture in flight for all threads, and a look-ahead cut to what fits.
    EXPECT_TRUE(MovieProbe::encoderSettingsContain(movie.filePath, "sliced_threads=1"));
    EXPECT_TRUE(MovieProbe::encoderSettingsContain(movie.filePath, "rc_lookahead=3"));

    // At 30 fps veryfast's sliced threads fall behind (about 32 frames a second on eight cores).
    EXPECT_STREQ(platform::FfmpegMovieWriters::presetFor(movie.frameSize, 30, 8), "ultrafast");

    // At 60 fps, too many for veryfast: ultrafast, with as many frame threads as fit.
    movie.frameRate = 60;
    movie.filePath = dir.filePath("4k60.mp4");
    writer.reset();
    writer = platform::FfmpegMovieWriters(8).create(movie, &error);
    ASSERT_TRUE(writer) << error.toStdString();
    EXPECT_TRUE(addEveryFrame(*writer, frames[0], 0));
    ASSERT_TRUE(writer->finish(&error)) << error.toStdString();
    EXPECT_TRUE(MovieProbe::encoderSettingsContain(movie.filePath, "subme=0"));
    EXPECT_TRUE(MovieProbe::encoderSettingsContain(movie.filePath, "threads=3"));
    EXPECT_TRUE(MovieProbe::encoderSettingsContain(movie.filePath, "sliced_threads=0"));
}

TEST_F(FfmpegMovieWriterTest, PosterFramesAreDecodedAtTheAskedTime)
{
    const MovieSettings movie = settings("poster.mov", MovieContainer::quickTime);
    std::unique_ptr<MovieWriter> writer = platform::FfmpegMovieWriters().create(movie);
    ASSERT_TRUE(writer);
    writePattern(*writer, 20, 1.0, 0);
    ASSERT_TRUE(writer->finish());

    platform::FfmpegPosterFrames posters;
    QString error;
    const QImage atTenth = posters.frameAt(movie.filePath, 0.1, &error);
    ASSERT_FALSE(atTenth.isNull()) << error.toStdString();
    EXPECT_EQ(atTenth.size(), movieSize);
    EXPECT_TRUE(near(atTenth.pixelColor(160, 200), QColor(220, 30, 30)));
    EXPECT_TRUE(
        near(posters.frameAt(movie.filePath, 0.6).pixelColor(160, 200), QColor(30, 200, 60)));
    // Past the end: the last frame.
    EXPECT_TRUE(
        near(posters.frameAt(movie.filePath, 30).pixelColor(160, 200), QColor(30, 200, 60)));

    EXPECT_TRUE(posters.frameAt(dir.filePath("nothing.mp4"), 0, &error).isNull());
    EXPECT_TRUE(error.startsWith("Cannot open")) << error.toStdString();
}

TEST_F(FfmpegMovieWriterTest, AWriterKilledMidMovieLeavesAPlayableMovie)
{
    const MovieSettings movie = settings("killed.mp4", MovieContainer::mpeg4, true, 30);
    EXPECT_EXIT(
        {
            std::unique_ptr<MovieWriter> writer = platform::FfmpegMovieWriters().create(movie);
            if (writer) {
                writeTone(*writer, 0.1, 0);
                writePattern(*writer, 30, 3.0, 0);
                writeTone(*writer, 3.0, 0);
            }
            std::raise(SIGKILL);
        },
        ::testing::KilledBySignal(SIGKILL), "");

    const MovieProbe probe = MovieProbe::of(movie.filePath, true);
    ASSERT_TRUE(probe.readable);
    EXPECT_GE(probe.frames(), 30);
    EXPECT_EQ(probe.video.value("codec_name").toString(), "h264");
}

} // namespace
