// A movie with sound played on the sound's clock: a sound output the test holds back, then lets
// hear slowly, and the pictures that wait for it, before and after a pause and a move; movies
// whose sound ends before, with or after their pictures, or whose pictures have a hole, played
// to their end.

#include "platform/ffmpeg/FfmpegMoviePlayer.h"
#include "support/OurMovies.h"
#include "support/WaitUntil.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

namespace {

using platform::ffmpeg::SoundOutput;
using platform::ffmpeg::SoundShape;

constexpr int frameRate = 30;
constexpr qint64 frameUs = 1'000'000 / frameRate;
// How far a picture may stand from the sound heard with it.
constexpr qint64 toleranceUs = 45'000;
const SoundShape shape{48000, 2};
constexpr qint64 bytesPerSecond = 48000 * 4;

// What the test's sound output has been given and let hear, shared between the player's thread,
// where the output lives, and the test.
struct Listener {
    std::mutex mutex;
    // Sound heard since the output last started, as far as the test allows.
    qint64 allowedUs = 0;
    qint64 writtenBytes = 0;
    // What it was given since it last started.
    QByteArray given;
    qint64 capacityUs = 200'000;
    // Counts what it heard in whole steps, as a sound server asks for more: the last part of the
    // sound is counted only once more follows.
    qint64 stepUs = 0;
    bool suspended = false;
    int starts = 0;
    double volume = 1;

    qint64 heardLocked() const
    {
        const qint64 heard = std::min(allowedUs, writtenBytes * 1'000'000 / bytesPerSecond);
        return stepUs > 0 ? heard / stepUs * stepUs : heard;
    }
    qint64 heard()
    {
        std::lock_guard lock(mutex);
        return heardLocked();
    }
    void allow(qint64 us)
    {
        std::lock_guard lock(mutex);
        if (!suspended)
            allowedUs += us;
    }
};

class HeldBackOutput final : public SoundOutput {
public:
    explicit HeldBackOutput(std::shared_ptr<Listener> listener) : m_listener(std::move(listener)) {}
    void start() override
    {
        std::lock_guard lock(m_listener->mutex);
        m_listener->allowedUs = 0;
        m_listener->writtenBytes = 0;
        m_listener->given.clear();
        m_listener->suspended = false;
        ++m_listener->starts;
    }
    bool isWorking() const override { return true; }
    void stop() override {}
    void suspend() override
    {
        std::lock_guard lock(m_listener->mutex);
        m_listener->suspended = true;
    }
    void resume() override
    {
        std::lock_guard lock(m_listener->mutex);
        m_listener->suspended = false;
    }
    qint64 write(const char *data, qint64 size) override
    {
        const qint64 taken = std::min(size, bytesFree());
        std::lock_guard lock(m_listener->mutex);
        m_listener->writtenBytes += taken;
        m_listener->given.append(data, qsizetype(taken));
        return taken;
    }
    qint64 bytesFree() const override
    {
        std::lock_guard lock(m_listener->mutex);
        const qint64 held =
            m_listener->writtenBytes - m_listener->heardLocked() * bytesPerSecond / 1'000'000;
        return std::max<qint64>(m_listener->capacityUs * bytesPerSecond / 1'000'000 - held, 0) / 4 *
               4;
    }
    qint64 heard() const override { return m_listener->heard(); }
    void setVolume(double volume) override
    {
        std::lock_guard lock(m_listener->mutex);
        m_listener->volume = volume;
    }

private:
    std::shared_ptr<Listener> m_listener;
};

class FfmpegSoundClock : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        const QString path = m_folder.filePath(QStringLiteral("movie.mp4"));
        QString error;
        ASSERT_TRUE(writeOurMovie(path, QSize(320, 180), frameRate, 3 * frameRate, &error))
            << qPrintable(error);
        open(path, true);
    }

    void open(const QString &path, bool withSound)
    {
        forgetTheSoundGiven();
        m_player = platform::makeFfmpegMoviePlayers([listener = m_listener, withSound] {
            if (!withSound)
                return platform::ffmpeg::SoundOutputs{};
            return platform::ffmpeg::SoundOutputs{
                shape, [listener] { return std::make_unique<HeldBackOutput>(listener); }};
        })(QUrl::fromLocalFile(path));
        ASSERT_TRUE(waitUntil([&] { return m_player->duration() > 0; }));
        // Every picture, when it reaches the interface, against the sound heard by then.
        QObject::connect(m_player.get(), &platform::MoviePlayer::frameChanged, m_player.get(),
                         [this] {
                             if (!m_player->isPlaying())
                                 return;
                             const qint64 ahead =
                                 m_player->currentFrameTime() - (m_origin + m_listener->heard());
                             m_mostAhead = std::max(m_mostAhead, ahead);
                         });
    }

    void forgetTheSoundGiven()
    {
        std::lock_guard lock(m_listener->mutex);
        m_listener->writtenBytes = 0;
    }
    bool soundGiven()
    {
        return waitUntil([&] {
            std::lock_guard lock(m_listener->mutex);
            return m_listener->writtenBytes > 0;
        });
    }

    // Lets the output hear `us` more, `stepUs` at a time every 10 ms.
    void hear(qint64 us, qint64 stepUs)
    {
        for (qint64 done = 0; done < us; done += stepUs) {
            m_listener->allow(std::min(stepUs, us - done));
            QTest::qWait(10);
        }
    }

    // `picturesUs` of pictures but for a hole from `holeFrom` for `holeUs`, and `soundUs` of a
    // 1 kHz tone from the start, written the way the recorder writes.
    QString writeMovie(qint64 picturesUs, qint64 soundUs, qint64 holeFrom = 0, qint64 holeUs = 0)
    {
        const QString path =
            m_folder.filePath(QStringLiteral("%1-%2.mp4").arg(soundUs).arg(holeUs));
        if (QFile::exists(path))
            return path;
        QString error;
        std::unique_ptr<platform::MovieWriter> writer =
            ourMovieWriter(path, QSize(160, 90), frameRate, &error);
        EXPECT_TRUE(writer) << qPrintable(error);
        QImage picture(160, 90, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        std::vector<float> tone(2 * 441);
        for (size_t i = 0; i < tone.size(); ++i)
            tone[i] = float(0.5 * std::sin(2 * M_PI * 1000 * double(i / 2) / 44100));
        qint64 soundTo = 0;
        for (qint64 i = 0, time = 0; writer && time < std::max(picturesUs, soundUs);
             time = ++i * 1'000'000 / frameRate) {
            if (time < picturesUs && (time < holeFrom || time >= holeFrom + holeUs)) {
                EXPECT_TRUE(addEveryFrame(*writer, picture, time));
            }
            for (; soundTo < std::min(soundUs, time + frameUs); soundTo += 10'000)
                writer->addAudio(tone.data(), 441, soundTo);
        }
        EXPECT_TRUE(writer && writer->finish(&error)) << qPrintable(error);
        return path;
    }

    // With the sound held where it is, the picture shown comes to the one of its time.
    void expectThePictureOfTheSoundHeard()
    {
        const qint64 heard = m_origin + m_listener->heard();
        EXPECT_TRUE(waitUntil([&] { return m_player->currentFrameTime() > heard - frameUs; }))
            << "the picture stays at " << m_player->currentFrameTime() << " µs while the sound "
            << "is heard to " << heard << " µs";
        EXPECT_LE(std::abs(m_player->currentFrameTime() - heard), toleranceUs);
        EXPECT_LE(m_mostAhead, toleranceUs) << "a picture came before its sound";
    }

    // Of the sound given to the output since it started: how long from the first loud sample to
    // the last, and the longest quiet between them.
    std::pair<qint64, qint64> toneGiven()
    {
        std::lock_guard lock(m_listener->mutex);
        const auto *samples = reinterpret_cast<const qint16 *>(m_listener->given.constData());
        const qsizetype frames = m_listener->given.size() / 4;
        qsizetype first = -1, last = -1, quiet = 0, longest = 0;
        for (qsizetype i = 0; i < frames; ++i) {
            if (std::abs(samples[2 * i]) < 1000) {
                ++quiet;
                continue;
            }
            if (first < 0)
                first = i;
            else
                longest = std::max(longest, quiet);
            last = i;
            quiet = 0;
        }
        const auto us = [](qsizetype count) { return qint64(count) * 1'000'000 / 48000; };
        return {first < 0 ? 0 : us(last - first + 1), us(longest)};
    }

    QTemporaryDir m_folder;
    std::shared_ptr<Listener> m_listener = std::make_shared<Listener>();
    std::unique_ptr<platform::MoviePlayer> m_player;
    // The movie's time where the output began to count.
    qint64 m_origin = 0;
    qint64 m_mostAhead = std::numeric_limits<qint64>::min();
};

TEST_F(FfmpegSoundClock, PicturesWaitForASoundOutputThatStartsLateAndGoesSlowly)
{
    m_player->play();
    ASSERT_TRUE(waitUntil([&] { return m_player->isPlaying(); }));
    ASSERT_TRUE(soundGiven()) << "the sound is given to the output";
    // Held back: nothing heard for 800 ms, so the first picture stays.
    QTest::qWait(800);
    EXPECT_LT(m_player->currentFrameTime(), toleranceUs);
    EXPECT_LE(m_mostAhead, toleranceUs) << "pictures ran ahead of a sound not yet heard";

    // Heard at half speed, then held: the pictures keep to it.
    hear(600'000, 5'000);
    expectThePictureOfTheSoundHeard();

    // Paused: the output holds its sound; played again, the pictures go on with it.
    m_player->pause();
    ASSERT_TRUE(waitUntil([&] { return !m_player->isPlaying(); }));
    {
        std::lock_guard lock(m_listener->mutex);
        EXPECT_TRUE(m_listener->suspended);
    }
    m_player->play();
    ASSERT_TRUE(waitUntil([&] { return m_player->isPlaying(); }));
    hear(300'000, 10'000);
    expectThePictureOfTheSoundHeard();

    // Moved to 2 s: the output starts afresh there and the pictures wait for it again.
    m_player->seek(2000);
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(m_listener->mutex);
        return m_listener->starts == 2 && m_listener->writtenBytes > 0;
    })) << "the sound starts again from the place";
    m_origin = 2'000'000;
    m_mostAhead = std::numeric_limits<qint64>::min();
    QTest::qWait(300);
    EXPECT_LE(m_mostAhead, toleranceUs) << "pictures ran ahead after the move";
    EXPECT_LE(m_player->currentFrameTime(), m_origin + toleranceUs);
    hear(400'000, 10'000);
    expectThePictureOfTheSoundHeard();

    // Muted at once, and the rest heard: the movie ends.
    m_player->setMuted(true);
    EXPECT_TRUE(waitUntil([&] {
        std::lock_guard lock(m_listener->mutex);
        return m_listener->volume == 0;
    }));
    QSignalSpy ends(m_player.get(), &platform::MoviePlayer::reachedEnd);
    hear(1'000'000, 20'000);
    EXPECT_TRUE(waitUntil([&] { return !ends.isEmpty(); }));
}

// Heard a step at a time, as a sound server hears it, each movie ends, back at its start, and
// plays again; through a hole in the pictures the time goes on.
TEST_F(FfmpegSoundClock, MoviesWhoseSoundEndsBeforeWithOrAfterThePicturesOrWithAHoleEnd)
{
    m_listener->stepUs = 90'000;
    struct Movie {
        qint64 soundUs;
        qint64 holeUs = 0;
        bool withSound = true;
    };
    for (const Movie movie : {Movie{700'000}, Movie{1'000'000}, Movie{1'300'000},
                              Movie{2'000'000, 1'000'000}, Movie{2'000'000, 1'000'000, false}}) {
        SCOPED_TRACE(movie.soundUs + movie.holeUs + movie.withSound);
        open(writeMovie(movie.holeUs ? 2'000'000 : 1'000'000, movie.soundUs, 500'000, movie.holeUs),
             movie.withSound);
        QList<qint64> positions;
        const QObject listening;
        QObject::connect(m_player.get(), &platform::MoviePlayer::positionChanged, &listening,
                         [&](qint64 position) { positions.append(position); });
        QSignalSpy ends(m_player.get(), &platform::MoviePlayer::reachedEnd);
        m_player->play();
        for (int i = 0; i < 1000 && ends.isEmpty(); ++i)
            hear(10'000, 10'000);
        EXPECT_FALSE(ends.isEmpty());
        EXPECT_FALSE(m_player->isPlaying());
        EXPECT_TRUE(waitUntil([&] { return m_player->position() == 0; }));
        if (movie.holeUs > 0) {
            EXPECT_TRUE(std::any_of(positions.begin(), positions.end(),
                                    [](qint64 at) { return at > 600 && at < 1400; }))
                << positions.size() << " positions reported";
        }
        m_player->play();
        EXPECT_TRUE(waitUntil([&] { return m_player->isPlaying(); })) << "it plays again";
    }
}

// Every sample of the tone reaches the output, in order and once, through holes of 3 s and 8 s
// in the pictures and 3 s past the last one; the time goes on there while the last picture before
// stays, and the picture after a hole comes with its sound.
TEST_F(FfmpegSoundClock, EverySampleIsHeardThroughAHoleAndPastTheLastPicture)
{
    m_listener->stepUs = 90'000;
    struct Movie {
        qint64 picturesUs, soundUs, holeUs;
    };
    for (const Movie movie :
         {Movie{4'000'000, 4'000'000, 3'000'000}, Movie{9'000'000, 9'000'000, 8'000'000},
          Movie{500'000, 3'500'000, 0}}) {
        SCOPED_TRACE(movie.holeUs + movie.soundUs);
        m_origin = 0;
        open(writeMovie(movie.picturesUs, movie.soundUs, 500'000, movie.holeUs), true);
        QSignalSpy ends(m_player.get(), &platform::MoviePlayer::reachedEnd);
        m_player->play();
        ASSERT_TRUE(soundGiven());
        const qint64 gone = movie.holeUs ? 500'000 + movie.holeUs : movie.soundUs;
        // Halfway through where there are no pictures.
        hear((500'000 + gone) / 2, 45'000);
        EXPECT_TRUE(waitUntil([&] { return m_listener->heard() >= (500'000 + gone) / 2 - 90'000; }))
            << "the sound stops at " << m_listener->heard() << " µs";
        EXPECT_TRUE(waitUntil([&] {
            return std::abs(m_player->position() * 1000 - m_listener->heard()) < 200'000;
        })) << "the time stays at "
            << m_player->position() << " ms";
        EXPECT_LT(m_player->currentFrameTime(), 500'000);
        if (movie.holeUs) {
            hear(gone + 300'000 - m_listener->heard(), 45'000);
            expectThePictureOfTheSoundHeard();
        }
        for (int i = 0; i < 1000 && ends.isEmpty(); ++i)
            hear(45'000, 45'000);
        ASSERT_FALSE(ends.isEmpty());
        const auto [toneUs, quietUs] = toneGiven();
        EXPECT_NEAR(toneUs, movie.soundUs, 30'000) << "of the tone's " << movie.soundUs << " µs";
        EXPECT_LT(quietUs, 2000) << "silence within the tone";
        EXPECT_TRUE(waitUntil([&] { return m_player->position() == 0; }));
        if (movie.holeUs) {
            // Moved into the hole: the last picture before it, and the sound from the place on.
            m_player->seek(2'000);
            m_origin = 2'000'000;
            EXPECT_TRUE(waitUntil([&] { return m_player->currentFrameTime() > 400'000; }));
            EXPECT_LT(m_player->currentFrameTime(), 500'000);
            forgetTheSoundGiven();
            m_player->play();
            ASSERT_TRUE(soundGiven());
            for (int i = 0; i < 1000 && ends.size() < 2; ++i)
                hear(45'000, 45'000);
            EXPECT_NEAR(toneGiven().first, movie.soundUs - 2'000'000, 30'000);
        }
    }
}

// Paused while the last picture is shown and played again, the movie ends; played again from the
// start, it ends again.
TEST_F(FfmpegSoundClock, APlayPausedAtTheLastPictureEndsAndSoDoesTheNext)
{
    m_listener->stepUs = 90'000;
    QSignalSpy ends(m_player.get(), &platform::MoviePlayer::reachedEnd);
    m_player->play();
    ASSERT_TRUE(soundGiven());
    // Heard to just short of the sound's end, past the last picture's time.
    hear(2'970'000, 45'000);
    ASSERT_TRUE(waitUntil([&] { return m_player->currentFrameTime() > 2'950'000; }));
    m_player->pause();
    ASSERT_TRUE(waitUntil([&] { return !m_player->isPlaying(); }));
    m_player->play();
    for (int i = 0; i < 100 && ends.isEmpty(); ++i)
        hear(45'000, 45'000);
    ASSERT_EQ(ends.size(), 1) << "the play after the pause never ended";
    EXPECT_TRUE(waitUntil([&] { return m_player->position() == 0; }));
    m_player->play();
    for (int i = 0; i < 300 && ends.size() < 2; ++i)
        hear(45'000, 45'000);
    EXPECT_EQ(ends.size(), 2) << "the second play never ended";
    EXPECT_FALSE(m_player->isPlaying());
}

} // namespace
