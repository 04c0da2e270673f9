// Recordings in the preview on the harness's X server: played to the end, with their sound,
// paused, moved with the seek bar, broken, and paged through with the arrow keys. After each
// the program still answers: a global hot key still reaches it.

#include "DesktopPreviewTest.h"
#include "app/GlobalHotkeyManager.h"
#include "model/CaptureTestSupport.h"
#include "platform/ffmpeg/SoundOutput.h"
#include "platform/x11/X11GlobalHotkeys.h"
#include "preview/PreviewControls.h"
#include "preview/QtPreviewWindow.h"
#include "preview/QuickLookPreviewController.h"
#include "preview/QuickLookPreviewView.h"
#include "support/LogCapture.h"
#include "support/OurMovies.h"
#include "support/WaitUntil.h"
#include "support/X11DesktopTest.h"

#include <QAudioDevice>
#include <QFile>
#include <QLabel>
#include <QMediaDevices>
#include <QProcess>
#include <QSlider>
#include <QTemporaryDir>
#include <QWindow>
#include <gtest/gtest.h>
#include <optional>

namespace {

const ShortcutDefinition controlOptionOne("fullDisplay", 18, 6144, "⌃⌥1");
constexpr int playLimitMs = 30000;

class PreviewPlaybackDesktop : public DesktopPreviewTest {
protected:
    void SetUp() override
    {
        DesktopPreviewTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_hotkeys =
            std::make_unique<GlobalHotkeyManager>(std::make_shared<platform::X11GlobalHotkeys>());
        m_hotkeys->registerHotkey(controlOptionOne, [this] { ++m_presses; });
    }
    void TearDown() override
    {
        DesktopPreviewTest::TearDown();
        m_hotkeys.reset();
    }

    CaptureItem recording(const QString &name, QSize size, int frameRate, int frames)
    {
        const QString path = m_folder.filePath(name);
        QString error;
        EXPECT_TRUE(writeOurMovie(path, size, frameRate, frames, &error)) << qPrintable(error);
        return makeRecording(path);
    }

    QuickLookPreviewView *view() const
    {
        QWidget *panel = desktopPreviewPanel(*m_preview);
        return panel ? panel->findChild<QuickLookPreviewView *>() : nullptr;
    }
    QWindow *previewWindow() const
    {
        QWidget *panel = desktopPreviewPanel(*m_preview);
        return panel ? panel->windowHandle() : nullptr;
    }
    PlateButton *button(const QString &title) const
    {
        if (!view())
            return nullptr;
        for (PlateButton *candidate : view()->findChildren<PlateButton *>()) {
            if (candidate->look().title == title && candidate->isVisible())
                return candidate;
        }
        return nullptr;
    }
    void open(const CaptureItem &item)
    {
        m_preview->show(item, m_queue, {}, {}, {});
        ASSERT_NE(view(), nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(previewWindow()));
    }
    // The program answers a global hot key pressed on the desktop.
    bool hotKeyStillAnswers()
    {
        const int before = m_presses;
        if (QProcess::execute(QStringLiteral("xdotool"), {"key", "ctrl+alt+1"}) != 0)
            return false;
        return waitUntil([&] { return m_presses > before; });
    }

    QTemporaryDir m_folder;
    std::unique_ptr<GlobalHotkeyManager> m_hotkeys;
    int m_presses = 0;
};

TEST_F(PreviewPlaybackDesktop, AFullHdSixtyFrameRecordingPlaysToItsEndAndRewinds)
{
    const CaptureItem item = recording(QStringLiteral("full-hd.mp4"), QSize(1920, 1080), 60, 90);
    m_queue.enqueue(item);
    open(item);
    ASSERT_NE(button(QStringLiteral("Play")), nullptr);
    QTest::mouseClick(button(QStringLiteral("Play")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return view()->isPlaying(); }, playLimitMs));
    ASSERT_TRUE(waitUntil([&] { return view()->player()->position() > 200; }, playLimitMs));
    EXPECT_FALSE(view()->player()->currentFrame().isNull()) << "frames reach the picture";

    // The end: stopped, back at the start, and the button offers Play again.
    ASSERT_TRUE(waitUntil([&] { return !view()->isPlaying(); }, playLimitMs));
    EXPECT_NE(button(QStringLiteral("Play")), nullptr);
    EXPECT_TRUE(waitUntil([&] { return view()->player()->position() == 0; }));
    EXPECT_EQ(view()->findChild<QLabel *>(QStringLiteral("elapsedTime"))->text(),
              QStringLiteral("0:00"));
    EXPECT_EQ(view()->findChild<QLabel *>(QStringLiteral("totalTime"))->text(),
              QStringLiteral("0:01"));
    EXPECT_TRUE(hotKeyStillAnswers());

    // It plays again from the start, and Escape still closes the preview.
    QTest::keyClick(previewWindow(), Qt::Key_Space);
    EXPECT_TRUE(waitUntil([&] { return view()->isPlaying(); }, playLimitMs));
    QTest::keyClick(previewWindow(), Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return !m_preview->isVisible(); }));
    EXPECT_TRUE(hotKeyStillAnswers());
}

TEST_F(PreviewPlaybackDesktop, PauseHoldsThePlaceAndTheSeekBarMovesIt)
{
    const CaptureItem item = recording(QStringLiteral("seek.mp4"), QSize(640, 360), 30, 150);
    m_queue.enqueue(item);
    open(item);
    QTest::keyClick(previewWindow(), Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return view()->player()->position() > 300; }, playLimitMs));
    QTest::keyClick(previewWindow(), Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return !view()->isPlaying(); }));
    ASSERT_NE(button(QStringLiteral("Play")), nullptr);
    const qint64 paused = view()->player()->position();
    QTest::qWait(400);
    EXPECT_LE(view()->player()->position() - paused, 60) << "paused stays put";
    EXPECT_LT(paused, 4000) << "paused before the end";

    // Dragging the handle to 4 s and letting go: playing goes on from there.
    auto *seekBar = view()->findChild<QSlider *>(QStringLiteral("seekBar"));
    ASSERT_NE(seekBar, nullptr);
    ASSERT_TRUE(waitUntil([&] { return seekBar->maximum() >= 4900; }));
    const QRect groove = seekBar->rect();
    const QPoint handle(groove.left() + int(double(paused) / seekBar->maximum() * groove.width()),
                        groove.center().y());
    const QPoint target(groove.left() + int(0.8 * groove.width()), groove.center().y());
    QTest::mousePress(seekBar, Qt::LeftButton, {}, handle);
    QTest::mouseMove(seekBar, (handle + target) / 2);
    QTest::mouseMove(seekBar, target);
    QTest::mouseRelease(seekBar, Qt::LeftButton, {}, target);
    ASSERT_TRUE(waitUntil([&] { return view()->player()->position() > 3000; }))
        << "the seek bar moved the player";
    QTest::keyClick(previewWindow(), Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return view()->isPlaying(); }, playLimitMs));
    EXPECT_GT(view()->player()->position(), 3000) << "Play goes on from there, not from 0:00";
    EXPECT_TRUE(waitUntil([&] { return view()->player()->currentFrameTime() > 3'000'000; }))
        << "the picture shows the new place";
    EXPECT_TRUE(hotKeyStillAnswers());
}

TEST_F(PreviewPlaybackDesktop, ATruncatedMovieShowsItsPosterAndOneFailure)
{
    const CaptureItem whole = recording(QStringLiteral("whole.mp4"), QSize(640, 360), 30, 90);
    QFile movie(whole.videoURL()->toLocalFile());
    ASSERT_TRUE(movie.open(QIODevice::ReadWrite));
    ASSERT_TRUE(movie.resize(movie.size() / 3));
    movie.close();
    LogCapture log;
    m_queue.enqueue(whole);
    open(whole);
    QTest::keyClick(previewWindow(), Qt::Key_Space);

    auto failures = [&] {
        return log.messages(QStringLiteral("overlay"))
            .filter(QStringLiteral("Video playback failed: "))
            .size();
    };
    // Either the movie cannot be opened, or what is left of it plays to where it breaks.
    ASSERT_TRUE(waitUntil(
        [&] { return failures() > 0 || (view()->player() && view()->player()->position() > 0); },
        playLimitMs));
    ASSERT_TRUE(waitUntil([&] { return !view()->isPlaying(); }, playLimitMs));
    QTest::qWait(500);
    EXPECT_LE(failures(), 1);
    if (failures() == 1) {
        auto *shown = view()->findChild<QLabel *>(QStringLiteral("playbackFailure"));
        ASSERT_NE(shown, nullptr);
        EXPECT_TRUE(shown->isVisible());
        EXPECT_TRUE(shown->text().startsWith(QStringLiteral("Video playback failed: ")));
        EXPECT_EQ(view()->player(), nullptr) << "the broken movie is closed";
    }
    EXPECT_NE(button(QStringLiteral("Play")), nullptr);
    EXPECT_TRUE(hotKeyStillAnswers());
    QTest::keyClick(previewWindow(), Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return !m_preview->isVisible(); }));
}

TEST_F(PreviewPlaybackDesktop, AMovieThatCannotBeReadShowsItsPosterAndSaysSoOnce)
{
    const CaptureItem broken = recording(QStringLiteral("broken.mp4"), QSize(640, 360), 30, 30);
    // The movie's bytes overwritten: nothing in the file can be decoded.
    QFile movie(broken.videoURL()->toLocalFile());
    ASSERT_TRUE(movie.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(movie.write(QByteArray(64 * 1024, '\x5a')), 64 * 1024);
    movie.close();
    LogCapture log;
    m_queue.enqueue(broken);
    // Opening it fails at once, before anything is played.
    open(broken);
    auto failures = [&] {
        return log.messages(QStringLiteral("overlay"))
            .filter(QStringLiteral("Video playback failed: "))
            .size();
    };
    ASSERT_TRUE(waitUntil([&] { return failures() > 0; }, playLimitMs));
    QTest::qWait(500);
    EXPECT_EQ(failures(), 1);
    auto *shown = view()->findChild<QLabel *>(QStringLiteral("playbackFailure"));
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_TRUE(shown->text().startsWith(QStringLiteral("Video playback failed: ")));
    EXPECT_EQ(view()->player(), nullptr) << "the poster is shown, the movie closed";
    // Space tries again, and says once more why it cannot play.
    QTest::keyClick(previewWindow(), Qt::Key_Space);
    EXPECT_TRUE(waitUntil([&] { return failures() == 2; }, playLimitMs));
    QTest::qWait(300);
    EXPECT_EQ(failures(), 2);
    EXPECT_FALSE(view()->isPlaying());
    EXPECT_TRUE(shown->isVisible());
    EXPECT_TRUE(hotKeyStillAnswers());
}

TEST_F(PreviewPlaybackDesktop, AMovieOverwrittenWhileItPlaysFailsOnceAndPlayTriesAgain)
{
    const CaptureItem item = recording(QStringLiteral("overwritten.mp4"), QSize(320, 180), 30, 300);
    QFile movie(item.videoURL()->toLocalFile());
    ASSERT_TRUE(movie.open(QIODevice::ReadOnly));
    const QByteArray whole = movie.readAll();
    movie.close();
    LogCapture log;
    m_queue.enqueue(item);
    open(item);
    QTest::keyClick(previewWindow(), Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return view()->player()->position() > 200; }, playLimitMs));

    // Written over in place while it plays.
    ASSERT_TRUE(movie.open(QIODevice::ReadWrite));
    ASSERT_EQ(movie.write(QByteArray(whole.size(), '\x5a')), whole.size());
    movie.close();
    auto failures = [&] {
        return log.messages(QStringLiteral("overlay"))
            .filter(QStringLiteral("Video playback failed: "))
            .size();
    };
    ASSERT_TRUE(waitUntil([&] { return failures() > 0; }, playLimitMs));
    QTest::qWait(300);
    EXPECT_EQ(failures(), 1) << "one line for one failure";
    EXPECT_GT(log.messages(QStringLiteral("overlay"))
                  .filter(QStringLiteral("Video playback failed: "))
                  .first()
                  .size(),
              QStringLiteral("Video playback failed: ").size())
        << "with its reason";
    auto *shown = view()->findChild<QLabel *>(QStringLiteral("playbackFailure"));
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    ASSERT_NE(button(QStringLiteral("Play")), nullptr);

    // Put back, Play plays it again, without reopening the preview.
    ASSERT_TRUE(movie.open(QIODevice::WriteOnly));
    ASSERT_EQ(movie.write(whole), whole.size());
    movie.close();
    QTest::mouseClick(button(QStringLiteral("Play")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return view()->isPlaying(); }, playLimitMs));
    EXPECT_TRUE(waitUntil([&] { return view()->player()->position() > 200; }, playLimitMs));
    EXPECT_FALSE(shown->isVisible());
    EXPECT_EQ(failures(), 1);
    EXPECT_TRUE(hotKeyStillAnswers());
}

// Written over in place by another recording, as a copy does: the player stops where the file
// now ends, and Play plays the other recording, not what the player read before.
TEST_F(PreviewPlaybackDesktop, AMovieWrittenOverByAnotherPlaysTheOtherOnPlay)
{
    const CaptureItem item = recording(QStringLiteral("replaced.mp4"), QSize(320, 180), 30, 300);
    const CaptureItem other = recording(QStringLiteral("other.mp4"), QSize(320, 180), 30, 60);
    QFile otherFile(other.videoURL()->toLocalFile());
    ASSERT_TRUE(otherFile.open(QIODevice::ReadOnly));
    const QByteArray otherMovie = otherFile.readAll();
    m_queue.enqueue(item);
    open(item);
    QTest::keyClick(previewWindow(), Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return view()->player()->position() > 200; }, playLimitMs));
    auto *length = view()->findChild<QLabel *>(QStringLiteral("totalTime"));
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(length->text(), QStringLiteral("0:10"));

    QFile movie(item.videoURL()->toLocalFile());
    ASSERT_TRUE(movie.open(QIODevice::WriteOnly));
    ASSERT_EQ(movie.write(otherMovie), otherMovie.size());
    movie.close();
    ASSERT_TRUE(waitUntil([&] { return !view()->isPlaying(); }, playLimitMs));

    QTest::keyClick(previewWindow(), Qt::Key_Space);
    EXPECT_TRUE(waitUntil(
        [&] {
            return length->text() == QStringLiteral("0:02") && view()->player() &&
                   view()->player()->position() > 200;
        },
        playLimitMs))
        << "the other recording plays, not " << length->text().toStdString();
    EXPECT_TRUE(hotKeyStillAnswers());
}

// Whether each of the sound server's playback streams is corked, as pactl lists them; nothing
// when there is no sound server.
std::optional<QStringList> soundStreamsCorked()
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("sink-inputs")});
    if (!pactl.waitForFinished(10000) || pactl.exitCode() != 0)
        return std::nullopt;
    QStringList corked;
    for (const QByteArray &line : pactl.readAllStandardOutput().split('\n')) {
        if (line.trimmed().startsWith("Corked:"))
            corked.append(QString::fromLatin1(line.trimmed().mid(7).trimmed()));
    }
    return corked;
}

TEST_F(PreviewPlaybackDesktop, TheSoundPlaysWhilePlayingAndStopsWhenPaused)
{
    if (!soundStreamsCorked())
        GTEST_SKIP() << "needs the harness's sound server (scripts/harness --pulse)";
    const CaptureItem item = recording(QStringLiteral("sound.mp4"), QSize(640, 360), 30, 150);
    m_queue.enqueue(item);
    open(item);
    QTest::keyClick(previewWindow(), Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return view()->player()->position() > 300; }, playLimitMs));
    EXPECT_TRUE(waitUntil([&] { return soundStreamsCorked()->contains(QStringLiteral("no")); }))
        << "the movie's sound reaches the sound server";

    QTest::keyClick(previewWindow(), Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return !view()->isPlaying(); }));
    EXPECT_TRUE(waitUntil([&] { return !soundStreamsCorked()->contains(QStringLiteral("no")); }))
        << "paused, nothing plays";
    QTest::keyClick(previewWindow(), Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return !m_preview->isVisible(); }));
    EXPECT_TRUE(waitUntil([&] { return soundStreamsCorked()->isEmpty(); }))
        << "closing the preview ends the stream";
}

// Every start of a movie's sound, as playing from the start and each move make, asks the sound
// server for the same room: given less at each start, the sound was starved and played slower.
TEST_F(PreviewPlaybackDesktop, TheSoundOutputHasTheSameRoomAtEveryStart)
{
    if (!soundStreamsCorked())
        GTEST_SKIP() << "needs the harness's sound server (scripts/harness --pulse)";
    const platform::ffmpeg::SoundOutputs outputs =
        platform::ffmpeg::qtSoundOutputs(QMediaDevices::defaultAudioOutput());
    ASSERT_TRUE(outputs.make);
    const std::unique_ptr<platform::ffmpeg::SoundOutput> output = outputs.make();
    QList<qint64> room;
    for (int start = 0; start < 12; ++start) {
        output->start();
        room.append(output->bytesFree());
        output->stop();
    }
    EXPECT_GT(room.first(), 0);
    EXPECT_EQ(room.last(), room.first())
        << "room at each start: " << QDebug::toString(room).toStdString();
}

TEST_F(PreviewPlaybackDesktop, PagingThroughRecordingsWithTheArrowKeys)
{
    QList<CaptureItem> items;
    for (int i = 0; i < 4; ++i) {
        items.append(recording(QStringLiteral("page-%1.mp4").arg(i), QSize(1920, 1080), 60, 30));
        m_queue.enqueue(items.last());
    }
    open(m_queue.items().first());
    QTest::keyClick(previewWindow(), Qt::Key_Space);
    for (int i = 0; i < 8; ++i)
        QTest::keyClick(previewWindow(), Qt::Key_Right);
    EXPECT_EQ(m_preview->currentItemID(), m_queue.items().first().id()) << "eight steps round four";
    EXPECT_TRUE(hotKeyStillAnswers());

    // The recording shown now plays.
    QTest::keyClick(previewWindow(), Qt::Key_Left);
    ASSERT_NE(view(), nullptr);
    QTest::keyClick(previewWindow(), Qt::Key_Space);
    EXPECT_TRUE(waitUntil([&] { return view()->isPlaying(); }, playLimitMs));
    EXPECT_TRUE(waitUntil([&] { return !view()->isPlaying(); }, playLimitMs));
    EXPECT_TRUE(hotKeyStillAnswers());
}

} // namespace
