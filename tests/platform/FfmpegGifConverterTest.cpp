#include "platform/ffmpeg/FfmpegGifConverter.h"
#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "support/EveryFrameWritten.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

constexpr qint64 second = 1'000'000;
const QSize movieSize(320, 240);
const QColor left(220, 30, 30);
const QColor right(30, 60, 220);
const QColor later(240, 220, 40);

// Two halves, red and blue, for the first second, then all yellow; a white bar moves across
// the top so that no two frames are alike.
QImage patternFrame(int index, int frameRate)
{
    QImage frame(movieSize, QImage::Format_RGB32);
    if (index < frameRate) {
        frame.fill(left);
        for (int y = 0; y < movieSize.height(); ++y)
            std::fill_n(reinterpret_cast<quint32 *>(frame.scanLine(y)) + movieSize.width() / 2,
                        movieSize.width() / 2, right.rgb());
    } else {
        frame.fill(later);
    }
    const int x = (index * 7) % (movieSize.width() - 10);
    for (int y = 0; y < 20; ++y)
        std::fill_n(reinterpret_cast<quint32 *>(frame.scanLine(y)) + x, 10, 0xffffffffu);
    return frame;
}

bool near(QColor actual, QColor expected)
{
    return std::abs(actual.red() - expected.red()) < 24 &&
           std::abs(actual.green() - expected.green()) < 24 &&
           std::abs(actual.blue() - expected.blue()) < 24;
}

// Where the GIF says how often it repeats: the NETSCAPE2.0 application block, then a
// sub-block of 3 bytes (1, then the count, little-endian); none when there is no such block.
std::optional<int> loopCount(const QByteArray &gif)
{
    const int at = gif.indexOf("NETSCAPE2.0");
    if (at < 0 || at + 16 > gif.size() || gif[at + 11] != 3 || gif[at + 12] != 1)
        return std::nullopt;
    return quint8(gif[at + 13]) | quint8(gif[at + 14]) << 8;
}

class FfmpegGifConverterTest : public ::testing::Test {
protected:
    // A movie written by the recorder's writer: `seconds` of the pattern at `frameRate`, every
    // frame of it.
    QString movie(int frameRate, double seconds = 2)
    {
        QList<QImage> pictures;
        for (int i = 0; i < int(frameRate * seconds); ++i)
            pictures.append(patternFrame(i, frameRate));
        return movieOf(pictures, frameRate, QStringLiteral("Recording-%1.mp4").arg(frameRate));
    }

    // A movie of exactly these pictures, one after the other at `frameRate`.
    QString movieOf(const QList<QImage> &pictures, int frameRate,
                    const QString &name = QStringLiteral("Short.mp4"))
    {
        platform::MovieSettings settings;
        settings.filePath = dir.filePath(name);
        QFile::remove(settings.filePath);
        settings.frameSize = movieSize;
        settings.frameRate = frameRate;
        QString error;
        std::unique_ptr<platform::MovieWriter> writer = writers.create(settings, &error);
        EXPECT_TRUE(writer) << qPrintable(error);
        if (!writer)
            return {};
        for (int i = 0; i < pictures.size(); ++i)
            EXPECT_TRUE(addEveryFrame(*writer, pictures[i], i * second / frameRate));
        EXPECT_TRUE(writer->finish(&error)) << qPrintable(error);
        return settings.filePath;
    }

    QString gifPath() const { return dir.filePath(QStringLiteral("Recording-1.gif")); }

    QTemporaryDir dir;
    platform::FfmpegMovieWriters writers;
    platform::FfmpegGifConverter converter;
};

TEST_F(FfmpegGifConverterTest, MakesAPrivateLoopingGifOfTheMovieAtMostThirtyFramesASecond)
{
    const QString source = movie(60);
    const QByteArray movieBytes = [&] {
        QFile file(source);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }();
    QString error;
    ASSERT_TRUE(converter.convert(source, gifPath(), 30, &error)) << qPrintable(error);

    QFile file(gifPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray gif = file.readAll();
    EXPECT_TRUE(gif.startsWith("GIF89a"));
    EXPECT_EQ(loopCount(gif), 0);
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(gifPath()).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    // The movie is the caller's to remove; nothing else is left beside the GIF.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              QStringList({"Recording-1.gif", "Recording-60.mp4"}));
    QFile original(source);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(original.readAll(), movieBytes);

    // Two seconds at 60 fps become two seconds at 30.
    QImageReader reader(gifPath());
    EXPECT_TRUE(reader.supportsAnimation());
    EXPECT_EQ(reader.size(), movieSize);
    EXPECT_EQ(reader.loopCount(), -1);
    EXPECT_NEAR(reader.imageCount(), 60, 2);
    QList<QImage> frames;
    int totalDelay = 0;
    for (QImage frame = reader.read(); !frame.isNull(); frame = reader.read()) {
        frames.append(frame);
        totalDelay += reader.nextImageDelay();
    }
    ASSERT_NEAR(frames.size(), 60, 2);
    EXPECT_NEAR(totalDelay, 2000, 70);
    const QImage early = frames[15];
    EXPECT_EQ(early.size(), movieSize);
    EXPECT_TRUE(near(early.pixelColor(40, 200), left))
        << early.pixelColor(40, 200).name().toStdString();
    EXPECT_TRUE(near(early.pixelColor(280, 200), right))
        << early.pixelColor(280, 200).name().toStdString();
    const QImage late = frames[45];
    EXPECT_TRUE(near(late.pixelColor(40, 200), later))
        << late.pixelColor(40, 200).name().toStdString();
    EXPECT_TRUE(near(late.pixelColor(280, 200), later));
}

TEST_F(FfmpegGifConverterTest, KeepsASlowerMovieAtItsOwnRate)
{
    QString error;
    ASSERT_TRUE(converter.convert(movie(20), gifPath(), 30, &error)) << qPrintable(error);
    QImageReader reader(gifPath());
    EXPECT_NEAR(reader.imageCount(), 40, 2);
    QList<int> delays;
    for (QImage frame = reader.read(); !frame.isNull(); frame = reader.read())
        delays.append(reader.nextImageDelay());
    EXPECT_NEAR(delays.size(), 40, 2);
    EXPECT_EQ(delays.count(50), delays.size())
        << ::testing::PrintToString(std::vector<int>(delays.begin(), delays.end()));
}

// Recordings stopped one right after the other are converted at the same time: each stage of
// each conversion needs a worker while the others wait on it, and both GIFs come out whole.
TEST_F(FfmpegGifConverterTest, ConversionsAskedForAtOnceEachMakeTheirWholeGif)
{
    const QString slow = movie(20);
    const QString fast = movie(30);
    const QString slowGif = dir.filePath(QStringLiteral("slow.gif"));
    const QString fastGif = dir.filePath(QStringLiteral("fast.gif"));
    QString slowError;
    QString fastError;
    std::unique_ptr<QThread> other(QThread::create([&] {
        EXPECT_TRUE(converter.convert(slow, slowGif, 30, &slowError)) << qPrintable(slowError);
    }));
    other->start();
    EXPECT_TRUE(converter.convert(fast, fastGif, 30, &fastError)) << qPrintable(fastError);
    ASSERT_TRUE(other->wait(120000));
    EXPECT_NEAR(QImageReader(slowGif).imageCount(), 40, 2);
    EXPECT_NEAR(QImageReader(fastGif).imageCount(), 60, 2);
}

// Every frame of a short movie, at any rate up to the GIF's, reaches the GIF with its own
// delay and its own colour: the last frame too, and colours shown only for a moment between
// two others.
TEST_F(FfmpegGifConverterTest, KeepsEveryFrameOfAShortMovieWithItsDelayAndColour)
{
    const QList<QColor> colours{QColor(230, 40, 40),   QColor(50, 50, 50),  QColor(40, 70, 230),
                                QColor(240, 220, 40),  QColor(40, 200, 90), QColor(200, 60, 220),
                                QColor(250, 250, 250), QColor(20, 20, 20)};
    for (const int frameRate : {1, 2, 5, 10, 30}) {
        for (const int count : {1, 2, 3, 8}) {
            SCOPED_TRACE(::testing::Message() << count << " frames at " << frameRate << " fps");
            QList<QImage> pictures;
            for (int i = 0; i < count; ++i) {
                QImage picture(movieSize, QImage::Format_RGB32);
                picture.fill(colours[(i + count) % colours.size()]);
                pictures.append(picture);
            }
            const QString source = movieOf(pictures, frameRate);
            const QString gif = dir.filePath(QStringLiteral("Short.gif"));
            QFile::remove(gif);
            QString error;
            EXPECT_TRUE(converter.convert(source, gif, 30, &error)) << qPrintable(error);

            QImageReader reader(gif);
            QList<QImage> frames;
            QList<int> delays;
            for (QImage frame = reader.read(); !frame.isNull(); frame = reader.read()) {
                frames.append(frame);
                delays.append(reader.nextImageDelay());
            }
            EXPECT_EQ(frames.size(), count);
            for (int i = 0; i < std::min(int(frames.size()), count); ++i) {
                const QColor expected = colours[(i + count) % colours.size()];
                const QColor shown = frames[i].pixelColor(160, 120);
                EXPECT_TRUE(near(shown, expected))
                    << "frame " << i << ": " << shown.name().toStdString() << " instead of "
                    << expected.name().toStdString();
                // Centiseconds: a thirtieth of a second is 3 or 4 of them.
                EXPECT_NEAR(delays[i], 1000 / frameRate, 10) << "frame " << i;
            }
        }
    }
}

// A movie faster than the GIF ends when its last frame has been shown for that frame's own time,
// not for a frame of the GIF's.
TEST_F(FfmpegGifConverterTest, AFasterMovieLastsItsOwnLength)
{
    for (const int count : {10, 12}) {
        SCOPED_TRACE(count);
        QList<QImage> pictures;
        for (int i = 0; i < count; ++i) {
            QImage picture(movieSize, QImage::Format_RGB32);
            picture.fill(i % 2 ? QColor(230, 40, 40) : QColor(40, 70, 230));
            pictures.append(picture);
        }
        const QString gif = dir.filePath(QStringLiteral("Fast.gif"));
        QFile::remove(gif);
        QString error;
        ASSERT_TRUE(converter.convert(movieOf(pictures, 60), gif, 30, &error)) << qPrintable(error);
        QImageReader reader(gif);
        int frames = 0;
        int shown = 0;
        for (QImage frame = reader.read(); !frame.isNull(); frame = reader.read()) {
            ++frames;
            shown += reader.nextImageDelay();
        }
        // Every other picture, a thirtieth of a second each (3 or 4 centiseconds).
        EXPECT_EQ(frames, count / 2);
        EXPECT_NEAR(shown, count * 1000 / 60, 10);
    }
}

TEST_F(FfmpegGifConverterTest, FailsWithoutLeavingAFileAndLeavesTheInputAsItIs)
{
    const QString broken = dir.filePath(QStringLiteral("Recording-broken.mp4"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();

    QString error;
    EXPECT_FALSE(converter.convert(broken, gifPath(), 30, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(converter.convert(dir.filePath(QStringLiteral("missing.mp4")), gifPath(), 30));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList("Recording-broken.mp4"));
    EXPECT_EQ(QFileInfo(broken).size(), 4096);
}

TEST_F(FfmpegGifConverterTest, NeverWritesThroughALinkPreparedAtItsName)
{
    // Someone else's link where the GIF is being written: it is neither followed nor replaced.
    const QString victim = dir.filePath(QStringLiteral("victim"));
    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("untouched");
    file.close();
    ASSERT_TRUE(QFile::link(victim, gifPath() + QStringLiteral(".part")));

    QString error;
    EXPECT_FALSE(converter.convert(movie(20, 0.5), gifPath(), 30, &error));
    EXPECT_FALSE(error.isEmpty());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "untouched");
    EXPECT_FALSE(QFileInfo::exists(gifPath()));
}

} // namespace
