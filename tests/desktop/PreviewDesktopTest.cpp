// The preview on the harness's X server: opened from the tray's thumbnails, closed with Escape,
// recordings played with Qt Multimedia, and markup written back into the staged capture.

#include "DesktopPreview.h"
#include "DesktopTrayFixture.h"
#include "PanelDesktopSupport.h"
#include "model/CaptureTestSupport.h"
#include "platform/PointerMonitor.h"
#include "platform/ffmpeg/FfmpegMoviePlayer.h"
#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "platform/x11/X11Platform.h"
#include "preview/AnnotationCanvas.h"
#include "preview/AnnotationEditorState.h"
#include "preview/AnnotationEditorView.h"
#include "preview/QtPreviewWindow.h"
#include "preview/QuickLookPreviewController.h"
#include "preview/QuickLookPreviewView.h"
#include "support/EveryFrameWritten.h"
#include "support/WaitUntil.h"
#include "support/XclipPaste.h"
#include "tray/CaptureTrayView.h"
#include "tray/NotchTrackingContainerView.h"
#include "tray/NotchWindowController.h"

#include <QAbstractButton>
#include <QAudioDevice>
#include <QCursor>
#include <QMediaDevices>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

QImage picture()
{
    QImage image(640, 400, QImage::Format_RGB32);
    image.fill(QColor(20, 40, 90));
    QPainter painter(&image);
    painter.fillRect(100, 80, 200, 120, Qt::yellow);
    return image;
}

class PreviewDesktopTest : public DesktopTrayFixture {
protected:
    void SetUp() override
    {
        DesktopTrayFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_preview = makeDesktopPreview(*m_desktop.displays, m_queue);
    }
    void TearDown() override
    {
        if (m_preview)
            m_preview->close();
        m_trayController.reset();
        m_preview.reset();
        m_coordinator.reset();
        QTest::qWait(50);
    }

    NotchWindowController &tray()
    {
        TrayNeighbours neighbours;
        neighbours.preview = m_preview.get();
        return makeTray(copyThroughCoordinator(), neighbours);
    }

    QWidget *previewWidget() const { return desktopPreviewPanel(*m_preview); }
    // The tray, expanded and on screen, with a screenshot staged.
    NotchWindowController &expandedTrayWith(const CaptureItem &item)
    {
        coordinator();
        m_queue.enqueue(item);
        NotchWindowController &controller = tray();
        controller.show(std::nullopt, TrayInteractionState::expanded);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(controller.panel()->windowHandle()));
        return controller;
    }

    std::unique_ptr<QuickLookPreviewController> m_preview;
};

TEST_F(PreviewDesktopTest, ThumbnailClickOpensThePreviewAndEscapeClosesIt)
{
    const CaptureItem item = makeScreenshot(picture());
    NotchWindowController &controller = expandedTrayWith(item);
    QWindow *trayWindow = controller.panel()->windowHandle();

    auto *thumbnail = controller.trayView()->findChild<QAbstractButton *>("largeThumbnail");
    ASSERT_NE(thumbnail, nullptr);
    const QPoint centre = thumbnail->mapTo(controller.panel(), thumbnail->rect().center());
    QCursor::setPos(trayWindow->mapToGlobal(centre));
    ASSERT_TRUE(waitUntil([&] { return QCursor::pos() == trayWindow->mapToGlobal(centre); }));
    QTest::mouseClick(trayWindow, Qt::LeftButton, {}, centre);

    ASSERT_TRUE(waitUntil([&] { return m_preview->isVisible(); }));
    EXPECT_TRUE(m_preview->isPersistent());
    EXPECT_EQ(m_preview->currentItemID(), item.id());
    QWidget *panel = previewWidget();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel->windowHandle()));
    // The preview shows the capture: its yellow box is on screen.
    const QImage shown = panel->grab().toImage();
    int yellow = 0;
    for (int y = 0; y < shown.height(); y += 4)
        for (int x = 0; x < shown.width(); x += 4)
            yellow += QColor(shown.pixel(x, y)) == QColor(Qt::yellow) ? 1 : 0;
    EXPECT_GT(yellow, 50);

    ASSERT_TRUE(QTest::qWaitForWindowActive(panel->windowHandle()));
    QTest::keyClick(panel->windowHandle(), Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return !m_preview->isVisible(); }));
}

TEST_F(PreviewDesktopTest, MarkupReachesTheStagedFileAndTheClipboard)
{
    const CaptureItem item = makeScreenshot(picture());
    waitForWrites();
    coordinator();
    m_queue.enqueue(item);
    m_preview->show(item, m_queue, {}, {}, {});
    m_preview->setMarkupMode(true);
    QWidget *panel = previewWidget();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel->windowHandle()));
    auto *editor = panel->findChild<AnnotationEditorView *>();
    ASSERT_NE(editor, nullptr);

    // An arrow across the capture's middle row, dragged with the real pointer events.
    AnnotationCanvas &canvas = editor->canvas();
    const QRectF surface = canvas.surfaceRect();
    const double scale = surface.width() / 640;
    const QPoint from = (surface.topLeft() + QPointF(20, 300) * scale).toPoint();
    const QPoint to = (surface.topLeft() + QPointF(600, 300) * scale).toPoint();
    QTest::mousePress(&canvas, Qt::LeftButton, {}, from);
    QTest::mouseMove(&canvas, (from + to) / 2);
    QTest::mouseMove(&canvas, to);
    QTest::mouseRelease(&canvas, Qt::LeftButton, {}, to);
    ASSERT_EQ(editor->state().annotations().size(), 1);
    editor->saveAndDismiss();
    ASSERT_TRUE(waitUntil([&] { return !m_preview->isMarkupMode(); }));
    waitForWrites();

    const QColor arrow(0xFF, 0x3B, 0x30);
    const QImage onDisk(m_tmp.captureFile(item.fileName()));
    ASSERT_FALSE(onDisk.isNull());
    EXPECT_EQ(QColor(onDisk.pixel(320, 300)), arrow);
    EXPECT_EQ(QColor(onDisk.pixel(320, 100)), QColor(20, 40, 90));

    coordinator().copyCapture(m_queue.items().first());
    ASSERT_TRUE(waitUntil(
        [&] { return m_queue.items().first().state() == CaptureItemState::pending(); }, 10000));
    const QImage pasted = QImage::fromData(pasteWithXclip(QStringLiteral("image/png")), "PNG");
    ASSERT_FALSE(pasted.isNull());
    EXPECT_EQ(QColor(pasted.pixel(320, 300)), arrow);
}

// The tray's keys are the tray's only while no window of ours asks for them: Escape in the
// markup editor cancels the markup, with the expanded tray on screen.
TEST_F(PreviewDesktopTest, EscapeInMarkupCancelsTheMarkupWhileTheTrayIsShown)
{
    const CaptureItem item = makeScreenshot(picture());
    NotchWindowController &controller = expandedTrayWith(item);
    m_preview->setPersistent(true);
    m_preview->show(item, m_queue, {}, {}, {});
    m_preview->setMarkupMode(true);
    QWidget *panel = previewWidget();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel->windowHandle()));
    auto *editor = panel->findChild<AnnotationEditorView *>();
    ASSERT_NE(editor, nullptr);
    editor->setFocus();

    QTest::keyClick(panel->windowHandle(), Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return !m_preview->isMarkupMode(); })) << "Cancel";
    EXPECT_TRUE(m_preview->isVisible()) << "the preview stays, showing the capture";
    EXPECT_EQ(controller.interactionState(), TrayInteractionState::expanded)
        << "the tray did not take the key";
    // Out of markup, Escape closes the preview as before.
    QTest::keyClick(panel->windowHandle(), Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return !m_preview->isVisible(); }));
}

// Where the pointer was at each press and move the preview's background received.
class BackgroundPointer final : public QObject {
public:
    explicit BackgroundPointer(QWidget *background) { background->installEventFilter(this); }

    bool pressedAt(QPoint position) const { return m_presses.contains(position); }
    bool movedTo(QPoint position) const { return m_moves.contains(position); }
    QString presses() const
    {
        QStringList shown;
        for (QPoint at : m_presses)
            shown.append(QStringLiteral("%1,%2").arg(at.x()).arg(at.y()));
        return shown.join(' ');
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove) {
            const QPoint at = static_cast<QMouseEvent *>(event)->globalPosition().toPoint();
            (event->type() == QEvent::MouseMove ? m_moves : m_presses).append(at);
        }
        return false;
    }

private:
    QList<QPoint> m_presses;
    QList<QPoint> m_moves;
};

QString number(int value)
{
    return QString::number(value);
}

// The background moves the window as a title bar does: after a short click the window stays
// where it is when the pointer moves on; a drag carries it along.
TEST_F(PreviewDesktopTest, AClickOnTheBackgroundLeavesTheWindowWhereItWasAndADragMovesIt)
{
    const CaptureItem item = makeScreenshot(picture());
    m_queue.enqueue(item);
    m_preview->show(item, m_queue, {}, {}, {});
    QWidget *panel = previewWidget();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel->windowHandle()));
    // The window manager's reparenting tells Qt a place within the frame first.
    ASSERT_TRUE(waitUntil([&] { return serverOrigin(*panel) == panel->mapToGlobal(QPoint()); }));
    const QPoint start = panel->pos();
    BackgroundPointer background(panel);

    // Left of the title, on nothing but the background.
    const QPoint click = panel->mapToGlobal(QPoint(40, 30));
    xdotool({"mousemove", number(click.x()), number(click.y()), "mousedown", "1", "mouseup", "1"});
    ASSERT_TRUE(waitUntil([&] { return background.pressedAt(click); }))
        << "pressed at " << click.x() << "," << click.y() << "; received "
        << qPrintable(background.presses()) << "; window at " << panel->pos().x() << ","
        << panel->pos().y() << " from " << start.x() << "," << start.y();
    // Pressed again further along: the press reaches the window, which has not moved.
    const QPoint grab = click + QPoint(80, 0);
    xdotool({"mousemove", number(grab.x()), number(grab.y()), "mousedown", "1"});
    ASSERT_TRUE(waitUntil([&] { return background.pressedAt(grab); }))
        << "the window manager still held the pointer after the click";
    EXPECT_EQ(panel->pos(), start);

    // Dragged: the window follows once the pointer has gone the drag distance.
    const int distance = QApplication::startDragDistance();
    const QPoint before = grab + QPoint(distance / 2, 0);
    xdotool({"mousemove", number(before.x()), number(before.y())});
    ASSERT_TRUE(waitUntil([&] { return background.movedTo(before); }));
    EXPECT_EQ(panel->pos(), start) << "not yet";
    const QPoint drop = grab + QPoint(120, 90);
    xdotool({"mousemove", number(drop.x()), number(drop.y()), "mouseup", "1"});
    // Where the X server has it: Qt takes the place as soon as the move is asked.
    std::optional<QPoint> at;
    EXPECT_TRUE(waitUntil([&] { return (at = serverOrigin(*panel)) == start + (drop - grab); }))
        << "at " << (at ? shown(*at) : "no place") << ", not " << shown(start + drop - grab);
}

// Movies the recorder writes, as the preview plays them: every container, with and without
// sound.
class MoviePlaybackDesktop
    : public ::testing::TestWithParam<std::tuple<platform::MovieContainer, bool>> {};

TEST_P(MoviePlaybackDesktop, OurRecordingsPlayPauseAndRewindAtTheEnd)
{
    if (!qEnvironmentVariableIsSet("CORVANTA_HARNESS"))
        GTEST_SKIP() << "needs the desktop harness";
    const auto [container, withAudio] = GetParam();
    QTemporaryDir folder;
    platform::MovieSettings settings;
    settings.filePath =
        folder.filePath(container == platform::MovieContainer::mpeg4 ? QStringLiteral("movie.mp4")
                                                                     : QStringLiteral("movie.mov"));
    settings.container = container;
    settings.frameSize = QSize(320, 240);
    settings.frameRate = 30;
    settings.withAudio = withAudio;
    platform::FfmpegMovieWriters writers;
    QString error;
    std::unique_ptr<platform::MovieWriter> writer = writers.create(settings, &error);
    ASSERT_TRUE(writer) << qPrintable(error);
    std::vector<float> silence(2 * 1470, 0.0f);
    for (int i = 0; i < 45; ++i) {
        QImage frame(settings.frameSize, QImage::Format_RGB32);
        frame.fill(QColor::fromHsv(i * 8, 255, 255));
        ASSERT_TRUE(addEveryFrame(*writer, frame, i * 33'333));
        if (withAudio)
            writer->addAudio(silence.data(), 1470, i * 33'333);
    }
    ASSERT_TRUE(writer->finish(&error)) << qPrintable(error);

    if (qEnvironmentVariableIsSet("CORVANTA_EXPECT_NO_SOUND_SERVER")) {
        ASSERT_TRUE(QMediaDevices::audioOutputs().isEmpty());
    }
    std::unique_ptr<platform::MoviePlayer> player =
        platform::makeFfmpegMoviePlayers()(QUrl::fromLocalFile(settings.filePath));
    bool ended = false;
    QObject::connect(player.get(), &platform::MoviePlayer::reachedEnd, [&] { ended = true; });
    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->position() > 300; }, 10000))
        << qPrintable(player->errorString());
    EXPECT_FALSE(player->currentFrame().isNull());
    player->pause();
    ASSERT_TRUE(waitUntil([&] { return !player->isPlaying(); }));
    const qint64 paused = player->position();
    QTest::qWait(300);
    EXPECT_LE(player->position() - paused, 40) << "paused stays put";

    player->play();
    ASSERT_TRUE(waitUntil([&] { return ended; }, 10000));
    EXPECT_FALSE(player->isPlaying());
    player->seekToStart();
    EXPECT_TRUE(waitUntil([&] { return player->position() == 0; }));
}

// Without a sound server there is no output device: the movie plays without its sound.
TEST(MoviePlaybackWithoutSound, PlaysInAProgramThatHasNoSoundServer)
{
    if (!qEnvironmentVariableIsSet("CORVANTA_HARNESS") ||
        qEnvironmentVariableIsSet("CORVANTA_EXPECT_NO_SOUND_SERVER"))
        GTEST_SKIP() << "needs the desktop harness";
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent"));
    environment.insert(QStringLiteral("CORVANTA_EXPECT_NO_SOUND_SERVER"), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=EveryContainer/MoviePlaybackDesktop.*/3")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << output.constData();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.constData();
}

INSTANTIATE_TEST_SUITE_P(EveryContainer, MoviePlaybackDesktop,
                         ::testing::Combine(::testing::Values(platform::MovieContainer::mpeg4,
                                                              platform::MovieContainer::quickTime),
                                            ::testing::Bool()));

} // namespace
