// Recordings of ours read frame by frame and played by the movie player, without a sound
// output (the desktop tests play them with one): pictures in order and scaled to the box they
// are shown in, moving to a place, the sound read beside them, broken files, and the player's
// pacing, pause, seek and end.

#include "platform/ffmpeg/FfmpegMoviePlayer.h"
#include "platform/ffmpeg/FfmpegMovieReader.h"
#include "support/OurMovies.h"
#include "support/WaitUntil.h"

#include <QColor>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using platform::ffmpeg::Failure;
using platform::ffmpeg::MoviePicture;
using platform::ffmpeg::MovieReader;
using platform::ffmpeg::SoundShape;

constexpr int frameRate = 30;
constexpr int frames = 45;
const QSize movieSize(640, 360);
constexpr qint64 frameUs = 1'000'000 / frameRate;

class FfmpegMoviePlayback : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_path = m_folder.filePath(QStringLiteral("movie.mp4"));
        QString error;
        ASSERT_TRUE(writeOurMovie(m_path, movieSize, frameRate, frames, &error))
            << qPrintable(error);
    }

    // The frame a picture shows, told by the bar that crosses it: each frame's bar stands further
    // right and has a hue of its own, full and bright where the background is neither.
    static int frameShown(const QImage &picture)
    {
        const double scale = double(picture.width()) / movieSize.width();
        int shown = -1;
        int nearest = 361;
        for (int index = 0; index < frames; ++index) {
            const int x =
                std::min(int((index * movieSize.width() / frames + movieSize.width() / 40) * scale),
                         picture.width() - 1);
            const QColor colour = picture.pixelColor(x, picture.height() / 2);
            if (colour.value() < 230)
                continue;
            const int distance = std::abs(colour.hsvHue() - index * 7 % 360) % 360;
            if (std::min(distance, 360 - distance) < nearest) {
                nearest = std::min(distance, 360 - distance);
                shown = index;
            }
        }
        return nearest <= 3 ? shown : -1;
    }

    QTemporaryDir m_folder;
    QString m_path;
};

TEST_F(FfmpegMoviePlayback, ReadsEveryPictureInOrderScaledToTheBox)
{
    MovieReader reader(m_path, std::nullopt);
    EXPECT_NEAR(reader.duration(), 1500, 60);
    EXPECT_EQ(reader.frameInterval(), frameUs);
    QList<MoviePicture> pictures;
    while (std::optional<MoviePicture> picture = reader.next(QSize(320, 320), nullptr))
        pictures.append(*picture);
    ASSERT_EQ(pictures.size(), frames);
    for (int i = 0; i < frames; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(pictures[i].time, i * frameUs, 1000);
        EXPECT_EQ(pictures[i].image.size(), QSize(320, 180)) << "fitted, its shape kept";
        EXPECT_EQ(frameShown(pictures[i].image), i);
    }
    EXPECT_FALSE(reader.next(QSize(), nullptr)) << "the end stays the end";

    // Never scaled above the movie's own size.
    MovieReader whole(m_path, std::nullopt);
    EXPECT_EQ(whole.next(QSize(1920, 1080), nullptr)->image.size(), movieSize);
}

TEST_F(FfmpegMoviePlayback, ABoxWiderOrTallerThanTheMovieStillFitsItsOtherSide)
{
    for (const QSize box : {QSize(1000, 180), QSize(320, 1000), QSize(640, 200)}) {
        SCOPED_TRACE(qPrintable(QStringLiteral("%1x%2").arg(box.width()).arg(box.height())));
        MovieReader reader(m_path, std::nullopt);
        reader.next(box, nullptr);
        const std::optional<MoviePicture> picture = reader.next(box, nullptr);
        ASSERT_TRUE(picture);
        EXPECT_LE(picture->image.width(), box.width());
        EXPECT_LE(picture->image.height(), box.height());
        EXPECT_EQ(picture->image.size(), movieSize.scaled(box, Qt::KeepAspectRatio));
        EXPECT_EQ(frameShown(picture->image), 1);
    }
}

TEST_F(FfmpegMoviePlayback, PicturesBehindTheirTimeArePassedOverAFewAtATime)
{
    MovieReader reader(m_path, std::nullopt);
    std::optional<MoviePicture> picture = reader.next(QSize(), nullptr, 4 * frameUs);
    ASSERT_TRUE(picture);
    EXPECT_EQ(frameShown(picture->image), 4);
    EXPECT_EQ(frameShown(reader.next(QSize(), nullptr)->image), 5) << "then on from there";
    // Far behind: a few passed over in one go, and the last picture is never passed over.
    picture = reader.next(QSize(), nullptr, 60 * frameUs);
    ASSERT_TRUE(picture);
    EXPECT_GT(frameShown(picture->image), 7);
    EXPECT_LT(frameShown(picture->image), 20);
    reader.seek(1300, QSize());
    picture = reader.next(QSize(), nullptr, 60 * frameUs);
    ASSERT_TRUE(picture);
    EXPECT_EQ(frameShown(picture->image), frames - 1);
    EXPECT_FALSE(reader.next(QSize(), nullptr, 60 * frameUs));
}

TEST_F(FfmpegMoviePlayback, AMoveLandsOnThePictureNearestThePlace)
{
    MovieReader reader(m_path, std::nullopt);
    // Frame 30 stands at 1000 ms, frame 31 at 1033: each place goes to the nearer of the two,
    // and one just past the middle to the later.
    const std::pair<qint64, int> places[] = {{984, 30},  {1010, 30}, {1016, 30}, {1017, 31},
                                             {1020, 31}, {1033, 31}, {40, 1},    {10, 0}};
    for (const auto &[place, frame] : places) {
        SCOPED_TRACE(place);
        std::optional<MoviePicture> there = reader.seek(place, QSize());
        ASSERT_TRUE(there);
        EXPECT_EQ(frameShown(there->image), frame);
        EXPECT_NEAR(there->time, frame * frameUs, 1000);
    }
}

TEST_F(FfmpegMoviePlayback, MovesToAPlaceAndGoesOnFromThere)
{
    MovieReader reader(m_path, std::nullopt);
    std::optional<MoviePicture> there = reader.seek(1000, QSize());
    ASSERT_TRUE(there);
    EXPECT_NEAR(there->time, 30 * frameUs, 1000);
    EXPECT_EQ(frameShown(there->image), 30);
    std::optional<MoviePicture> after = reader.next(QSize(), nullptr);
    ASSERT_TRUE(after);
    EXPECT_EQ(frameShown(after->image), 31);

    // Back to the start, and past the end: the last picture.
    EXPECT_EQ(frameShown(reader.seek(0, QSize())->image), 0);
    std::optional<MoviePicture> last = reader.seek(60'000, QSize());
    ASSERT_TRUE(last);
    EXPECT_EQ(frameShown(last->image), frames - 1);
}

TEST_F(FfmpegMoviePlayback, ReadsTheSoundBesideThePicturesAndSkipsItOnAMove)
{
    const SoundShape shape{48000, 2};
    const double bytesPerSecond = shape.sampleRate * shape.channels * 2;
    MovieReader reader(m_path, shape);
    ASSERT_TRUE(reader.hasSound());
    QByteArray sound;
    int read = 0;
    while (reader.next(QSize(), &sound)) {
        ++read;
        // The sound keeps pace with the pictures: never far ahead of the one just read.
        EXPECT_LE(sound.size() / bytesPerSecond, read / double(frameRate) + 0.5);
    }
    EXPECT_NEAR(sound.size() / bytesPerSecond, 1.5, 0.15);

    sound.clear();
    ASSERT_TRUE(reader.seek(1000, QSize()));
    while (reader.next(QSize(), &sound)) {
    }
    EXPECT_NEAR(sound.size() / bytesPerSecond, 0.5, 0.15)
        << "what lies before the place is skipped";

    MovieReader silent(m_path, std::nullopt);
    EXPECT_FALSE(silent.hasSound());
}

TEST_F(FfmpegMoviePlayback, TheSoundCapturedWithAPictureIsReadAtThatPicturesTime)
{
    const QString path = m_folder.filePath(QStringLiteral("flash.mp4"));
    QString error;
    ASSERT_TRUE(writeFlashAndBeep(path, movieSize, frameRate, &error)) << qPrintable(error);
    const SoundShape shape{48000, 2};
    MovieReader reader(path, shape);
    QByteArray sound;
    qint64 flash = -1;
    while (std::optional<MoviePicture> picture = reader.next(QSize(), &sound)) {
        if (flash < 0 && qGray(picture->image.pixel(10, 10)) > 128)
            flash = picture->time;
    }
    ASSERT_EQ(flash, 1'000'000);
    // The sound read starts at the first picture's time, so a sample's place is its time.
    const auto *samples = reinterpret_cast<const qint16 *>(sound.constData());
    const qsizetype count = sound.size() / 2;
    qsizetype loud = 0;
    while (loud < count && std::abs(samples[loud]) < 3000)
        ++loud;
    ASSERT_LT(loud, count);
    const double beep = double(loud / shape.channels) / shape.sampleRate;
    EXPECT_NEAR(beep, 1.0, 0.008);
}

TEST_F(FfmpegMoviePlayback, BrokenFilesFailWithAReasonOrPlayWhatIsLeft)
{
    const QString garbage = m_folder.filePath(QStringLiteral("garbage.mp4"));
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(64 * 1024, '\x5a'));
    file.close();
    try {
        MovieReader reader(garbage, std::nullopt);
        ADD_FAILURE() << "a file of nothing but 'Z' opened";
    } catch (const Failure &failure) {
        EXPECT_FALSE(failure.reason.isEmpty());
    }

    QFile movie(m_path);
    ASSERT_TRUE(movie.open(QIODevice::ReadWrite));
    ASSERT_TRUE(movie.resize(movie.size() / 2));
    movie.close();
    MovieReader truncated(m_path, std::nullopt);
    int read = 0;
    while (std::optional<MoviePicture> picture = truncated.next(QSize(), nullptr)) {
        EXPECT_EQ(frameShown(picture->image), read);
        ++read;
    }
    EXPECT_GT(read, 0);
    EXPECT_LT(read, frames);
}

TEST_F(FfmpegMoviePlayback, ThePlayerKeepsTheMoviesPaceAndRewindsAtTheEnd)
{
    std::unique_ptr<platform::MoviePlayer> player =
        platform::makeFfmpegMoviePlayers()(QUrl::fromLocalFile(m_path));
    QSignalSpy ends(player.get(), &platform::MoviePlayer::reachedEnd);
    ASSERT_TRUE(waitUntil([&] { return player->duration() > 0; }));
    EXPECT_NEAR(player->duration(), 1500, 60);
    player->setFrameSize(QSize(320, 180));

    QList<qint64> times;
    QObject::connect(player.get(), &platform::MoviePlayer::frameChanged, player.get(),
                     [&] { times.append(player->currentFrameTime()); });
    QElapsedTimer played;
    played.start();
    player->play();
    ASSERT_TRUE(waitUntil([&] { return !ends.isEmpty(); }, 20000));
    // Decoding 45 small frames takes a fraction of this: they were held to their times.
    EXPECT_GE(played.elapsed(), 1300);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end() - 1)) << "never backwards while playing";
    EXPECT_GE(times.size(), frames / 2);
    EXPECT_FALSE(player->isPlaying());
    EXPECT_EQ(player->position(), 0);
    EXPECT_EQ(player->currentFrameTime(), 0);
    EXPECT_EQ(frameShown(player->currentFrame()), 0) << "the first picture again";
    EXPECT_EQ(player->currentFrame().size(), QSize(320, 180));
    QTest::qWait(300);
    EXPECT_EQ(ends.size(), 1) << "the end is reported once";

    // It plays again from the start, in order, to the end: pictures that reach the interface
    // late are skipped over, never shown out of order.
    times.clear();
    player->play();
    EXPECT_TRUE(waitUntil([&] { return ends.size() == 2; }, 20000));
    ASSERT_GE(times.size(), 2);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end() - 1));
    EXPECT_LT(times.first(), times[times.size() - 2]) << "it played on from the start";
    EXPECT_LT(times.first(), frames / 2 * frameUs);
    EXPECT_EQ(times.last(), 0) << "and came back to the first picture";
}

TEST_F(FfmpegMoviePlayback, ThePlayerHoldsStillWhenPausedAndShowsThePlaceItIsMovedTo)
{
    std::unique_ptr<platform::MoviePlayer> player =
        platform::makeFfmpegMoviePlayers()(QUrl::fromLocalFile(m_path));
    QSignalSpy playing(player.get(), &platform::MoviePlayer::playingChanged);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->currentFrameTime() >= 6 * frameUs; }));
    player->pause();
    ASSERT_TRUE(waitUntil([&] { return !player->isPlaying(); }));
    QTest::qWait(100);
    const qint64 paused = player->currentFrameTime();
    QTest::qWait(300);
    EXPECT_EQ(player->currentFrameTime(), paused) << "paused stays put";
    EXPECT_LT(paused, 40 * frameUs);

    player->seek(1000);
    EXPECT_EQ(player->position(), 1000) << "the timeline follows at once";
    ASSERT_TRUE(waitUntil([&] { return std::abs(player->currentFrameTime() - 1'000'000) < 1000; }))
        << "a paused player shows the place it was moved to";
    EXPECT_EQ(frameShown(player->currentFrame()), 30);
    EXPECT_FALSE(player->isPlaying());

    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->currentFrameTime() > 32 * frameUs; }));
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(playing.size(), 3) << "played, paused, played: each change once";
}

// What a process writes to its standard error while one lives.
class StandardErrorCapture {
public:
    StandardErrorCapture()
    {
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        m_file.open();
        dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StandardErrorCapture() { restore(); }
    QByteArray restore()
    {
        if (m_saved >= 0) {
            std::fflush(stderr);
            dup2(m_saved, STDERR_FILENO);
            close(m_saved);
            m_saved = -1;
            m_file.seek(0);
            m_text = m_file.readAll();
        }
        return m_text;
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
    QByteArray m_text;
};

TEST_F(FfmpegMoviePlayback, AMovieOverwrittenWhileItPlaysFailsOnceWithoutFloodingTheLog)
{
    const QString path = m_folder.filePath(QStringLiteral("long.mp4"));
    QString error;
    ASSERT_TRUE(writeOurMovie(path, QSize(160, 90), 30, 450, &error)) << qPrintable(error);
    std::unique_ptr<platform::MoviePlayer> player =
        platform::makeFfmpegMoviePlayers()(QUrl::fromLocalFile(path));
    QSignalSpy failures(player.get(), &platform::MoviePlayer::failed);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->currentFrameTime() >= 3 * frameUs; }));

    StandardErrorCapture output;
    QFile movie(path);
    ASSERT_TRUE(movie.open(QIODevice::ReadWrite));
    ASSERT_GT(movie.write(QByteArray(movie.size(), '\x5a')), 0);
    movie.close();
    const bool failed = waitUntil([&] { return !failures.isEmpty(); }, 20000);
    QTest::qWait(200);
    const QByteArray printed = output.restore();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failures.size(), 1);
    EXPECT_FALSE(failures.at(0).at(0).toString().isEmpty()) << "with its reason";
    // FFmpeg's lines read "[h264 @ 0x55...] ...".
    EXPECT_EQ(printed.count(" @ 0x"), 0) << printed.left(2000).toStdString();
    EXPECT_FALSE(player->isPlaying());
}

TEST_F(FfmpegMoviePlayback, AMovieThatCannotBeReadFailsOnce)
{
    QFile movie(m_path);
    ASSERT_TRUE(movie.open(QIODevice::WriteOnly | QIODevice::Truncate));
    movie.write(QByteArray(64 * 1024, '\x5a'));
    movie.close();
    std::unique_ptr<platform::MoviePlayer> player =
        platform::makeFfmpegMoviePlayers()(QUrl::fromLocalFile(m_path));
    QSignalSpy failures(player.get(), &platform::MoviePlayer::failed);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return !failures.isEmpty(); }));
    player->play();
    player->seek(500);
    QTest::qWait(300);
    EXPECT_EQ(failures.size(), 1);
    EXPECT_FALSE(player->errorString().isEmpty());
    EXPECT_FALSE(player->isPlaying());
    EXPECT_TRUE(player->currentFrame().isNull());
}

} // namespace
