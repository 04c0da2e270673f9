// The program as its composition root builds it, on the harness's desktop, with recordings: a
// recording started by the hot key or the menu and ended by the tray's Stop Recording or cancel
// button or by the menu, and every button and key of the preview of a staged recording, each
// checked by what a user meets: the movie staged, the clipboard another program pastes, the file
// written, the movie handed to the desktop's player, the picture moving.

#include "../platform/MovieProbe.h"
#include "ProgramDesktopTest.h"
#include "app/CorvantaMenuView.h"
#include "preview/PreviewMediaView.h"
#include "preview/QuickLookPreviewView.h"
#include "support/FakeFileManager.h"
#include "support/OurMovies.h"

#include <QAbstractButton>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QSlider>

namespace {

constexpr int waitLimitMs = programWaitLimitMs;

class ProgramRecordingDesktop : public ProgramDesktopTest {
protected:
    // The newest staged capture, once one more than `before` is staged: a recording of the
    // display whose movie ffprobe reads.
    void expectStagedRecording(qsizetype before)
    {
        ASSERT_TRUE(waitUntil([&] { return queue().items().size() == before + 1; }, waitLimitMs));
        EXPECT_FALSE(recorder().isRecording());
        const CaptureItem item = queue().items().first();
        EXPECT_EQ(item.mode(), CaptureMode::recording);
        ASSERT_TRUE(item.videoURL());
        const MovieProbe probe = MovieProbe::of(item.videoURL()->toLocalFile());
        ASSERT_TRUE(probe.readable) << qPrintable(item.videoURL()->toLocalFile());
        EXPECT_EQ(QSize(probe.video.value("width").toInt(), probe.video.value("height").toInt()),
                  m_screen.size());
        EXPECT_GT(probe.duration(), 0);
    }

    // A movie written as the recorder writes it, staged as a recording.
    CaptureItem stageRecording(const QString &name, QColor poster)
    {
        const QString movie = savedFile(name);
        QString error;
        EXPECT_TRUE(writeOurMovie(movie, QSize(320, 240), 30, 300, &error)) << qPrintable(error);
        QImage picture(320, 240, QImage::Format_RGB32);
        picture.fill(poster);
        const CaptureItem recording(QUuid::createUuid(), QDateTime::currentDateTime(), std::nullopt,
                                    CaptureMode::recording, picture, std::nullopt,
                                    QUrl::fromLocalFile(movie), CaptureItemState::pending());
        m_environment->captureCoordinator().enqueue(recording);
        return recording;
    }
    QuickLookPreviewView *view() const
    {
        return previewPanel() ? previewPanel()->findChild<QuickLookPreviewView *>() : nullptr;
    }
    // What the screen shows where the preview draws the movie.
    QImage shownPicture() const
    {
        const auto *media = view()->findChild<PreviewMediaView *>();
        const QRect area = media->pictureRect().toRect().adjusted(4, 4, -4, -4);
        const QPoint at = media->mapToGlobal(area.topLeft());
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, at.x(), at.y(), area.width(), area.height())
            .toImage();
    }
    // The picture shown changes from `before` within the wait.
    bool pictureMovesOn(const QImage &before) const
    {
        return waitUntil([&] { return !samePicture(shownPicture(), before); }, waitLimitMs);
    }

    QString playedCopy() const { return m_applications.path() + QStringLiteral("/played.mp4"); }
};

TEST_F(ProgramRecordingDesktop, TheTrayAndTheMenuStopOrCancelARunningRecording)
{
    CorvantaMenuView menu(*m_environment);
    const QPoint menuAt = m_screen.center() - QPoint(200, 100);

    // The hot key starts; the tray's Stop Recording stages the movie.
    xdotool({"key", "--clearmodifiers", "ctrl+alt+4"});
    chooseToRecordTheScreen();
    clickTrayRecordingButton("stopRecording");
    expectStagedRecording(0);

    // The tray's cancel ends it with nothing staged.
    movePointerTo(m_screen.center());
    xdotool({"key", "--clearmodifiers", "ctrl+alt+4"});
    chooseToRecordTheScreen();
    clickTrayRecordingButton("cancelRecording");
    EXPECT_TRUE(waitUntil([&] { return !recorder().isRecording(); }, waitLimitMs));
    EXPECT_TRUE(waitUntil([&] {
        const auto *stop = tray()->trayView()->findChild<QAbstractButton *>("stopRecording");
        return !stop || !stop->isVisible();
    })) << "the tray no longer offers to stop";
    EXPECT_EQ(queue().items().size(), 1) << "nothing staged";

    // The menu starts, and its Stop Screen Recording stages the movie.
    movePointerTo(m_screen.center());
    chooseFromMenu(menu.menu(), QStringLiteral("Screen Recording"), menuAt);
    chooseToRecordTheScreen();
    chooseFromMenu(menu.menu(), QStringLiteral("Stop Screen Recording"), menuAt);
    expectStagedRecording(1);

    // The hot key, pressed again, stops it too.
    xdotool({"key", "--clearmodifiers", "ctrl+alt+4"});
    chooseToRecordTheScreen();
    xdotool({"key", "--clearmodifiers", "ctrl+alt+4"});
    expectStagedRecording(2);
}

// A recording whose movie was deleted fails with its alert; the program's parts going while the
// alert is open take it with them, and nothing of it runs on afterwards.
TEST_F(ProgramRecordingDesktop, TheProgramGoingWhileAFailedRecordingsAlertIsOpenEndsCleanly)
{
    xdotool({"key", "--clearmodifiers", "ctrl+alt+4"});
    chooseToRecordTheScreen();
    ASSERT_TRUE(QFile::remove(recorder().outputPath()));
    xdotool({"key", "--clearmodifiers", "ctrl+alt+4"});
    QMessageBox *alert = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (alert = visibleTopLevel<QMessageBox>()); }, waitLimitMs));
    EXPECT_EQ(alert->text(), QStringLiteral("Recording Save Failed"));
    EXPECT_TRUE(queue().items().isEmpty());

    m_environment = nullptr;
    m_ownEnvironment.reset();
    EXPECT_EQ(visibleTopLevel<QMessageBox>(), nullptr) << "the alert went with the program";
    // Whatever is still open ends as a closing desktop ends it.
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<QDialog *>(widget); dialog && dialog->isVisible())
            dialog->reject();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTest::qWait(100);
}

TEST_F(ProgramRecordingDesktop, EveryButtonAndKeyOfThePreviewActsOnTheRecordingItShows)
{
    FakeFileManager fileManager;
    ASSERT_TRUE(fileManager.registered);
    // The desktop's player for movies copies the file it is given.
    DesktopDefaults defaults(applicationsFolder());
    ASSERT_TRUE(defaults.add(QStringLiteral("Player Probe"),
                             QStringLiteral("cp %f ") + playedCopy(),
                             {QStringLiteral("video/mp4")}));
    const CaptureItem other = stageRecording(QStringLiteral("Recording 1.mp4"), Qt::darkGreen);
    const CaptureItem recording = stageRecording(QStringLiteral("Recording 2.mp4"), Qt::darkBlue);
    const QString movie = recording.videoURL()->toLocalFile();
    hoverTheTray();
    clickTrayButton(TrayButtonID::open);
    expectPreviewOf(recording);
    movePointerTo(m_screen.center());
    ASSERT_NE(view(), nullptr);

    // Space plays: the picture moves on from the poster; Pause holds it, Play plays on, and
    // Space pauses again.
    const QImage poster = shownPicture();
    typePreviewKey("space");
    ASSERT_TRUE(waitUntil([&] { return view()->isPlaying(); }, waitLimitMs));
    EXPECT_TRUE(pictureMovesOn(poster)) << "the movie plays";
    clickPreviewButton(QStringLiteral("Pause"));
    ASSERT_TRUE(waitUntil([&] { return !view()->isPlaying(); }, waitLimitMs));
    ASSERT_TRUE(waitUntil([&] { return previewButton(QStringLiteral("Play")) != nullptr; }));
    const QImage paused = shownPicture();
    clickPreviewButton(QStringLiteral("Play"));
    ASSERT_TRUE(waitUntil([&] { return view()->isPlaying(); }, waitLimitMs));
    EXPECT_TRUE(pictureMovesOn(paused)) << "playing on";
    typePreviewKey("space");
    ASSERT_TRUE(waitUntil([&] { return !view()->isPlaying(); }, waitLimitMs));

    // The seek bar's handle dragged to four fifths: the player and the picture go there.
    auto *seekBar = view()->findChild<QSlider *>(QStringLiteral("seekBar"));
    ASSERT_NE(seekBar, nullptr);
    ASSERT_TRUE(waitUntil([&] { return seekBar->maximum() >= 9900; }, waitLimitMs));
    const QImage beforeSeek = shownPicture();
    const QRect groove = seekBar->rect();
    const QPoint handle = seekBar->mapToGlobal(
        QPoint(groove.left() + 6 +
                   int(double(seekBar->value()) / seekBar->maximum() * (groove.width() - 12)),
               groove.center().y()));
    const QPoint target = seekBar->mapToGlobal(
        QPoint(groove.left() + int(0.8 * groove.width()), groove.center().y()));
    xdotool({"mousemove", QString::number(handle.x()), QString::number(handle.y()), "mousedown",
             "1", "mousemove", QString::number((handle.x() + target.x()) / 2),
             QString::number(target.y()), "mousemove", QString::number(target.x()),
             QString::number(target.y()), "mouseup", "1"});
    EXPECT_TRUE(waitUntil([&] { return view()->player()->position() > 6000; }, waitLimitMs))
        << "the seek bar moved the player";
    EXPECT_TRUE(pictureMovesOn(beforeSeek)) << "the picture shows the new place";

    // Mute, and again: the sound off and on, as the button shows.
    auto *mute = view()->findChild<QAbstractButton *>(QStringLiteral("muteButton"));
    ASSERT_NE(mute, nullptr);
    clickAt(mute->mapToGlobal(mute->rect().center()));
    EXPECT_TRUE(waitUntil([&] { return view()->player()->isMuted(); }));
    EXPECT_EQ(mute->toolTip(), QStringLiteral("Unmute"));
    clickAt(mute->mapToGlobal(mute->rect().center()));
    EXPECT_TRUE(waitUntil([&] { return !view()->player()->isMuted(); }));
    EXPECT_EQ(mute->toolTip(), QStringLiteral("Mute"));
    movePointerTo(m_screen.center());

    // Save Video... and Ctrl+S: the dialog, answered, writes a movie ffprobe reads.
    for (const QString &name : {QStringLiteral("button.mp4"), QStringLiteral("key.mp4")}) {
        if (name == QStringLiteral("button.mp4"))
            clickPreviewButton(QStringLiteral("Save Video..."));
        else
            typePreviewKey("ctrl+s");
        answerSaveDialog(savedFile(name));
        EXPECT_TRUE(
            waitUntil([&] { return MovieProbe::of(savedFile(name)).readable; }, waitLimitMs))
            << qPrintable(name);
        EXPECT_TRUE(waitUntil([&] {
            return queuedItem(queue(), recording.id())->state() == CaptureItemState::saved(name);
        }));
    }

    // Show in Folder: the desktop's file manager is asked to select the movie.
    clickPreviewButton(QStringLiteral("Show in Folder"));
    ASSERT_TRUE(waitUntil([&] { return !fileManager.calls().isEmpty(); }, waitLimitMs));
    const QDBusMessage call = fileManager.calls().first();
    EXPECT_EQ(call.member(), "ShowItems");
    EXPECT_EQ(call.arguments().value(0).toStringList(),
              QStringList{QUrl::fromLocalFile(movie).toString(QUrl::FullyEncoded)});

    // Open in Video Player: the default player for movies gets the recording.
    clickPreviewButton(QStringLiteral("Open in Video Player"));
    EXPECT_TRUE(waitUntil([&] { return MovieProbe::of(playedCopy()).readable; }, waitLimitMs))
        << "the player got the movie";
    QFile::remove(playedCopy());

    // Share: the application chosen from the menu gets the movie.
    clickPreviewButton(QStringLiteral("Share..."));
    QMenu *menu = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (menu = visibleTopLevel<QMenu>()); }, waitLimitMs));
    clickMenuEntry(menu, QStringLiteral("Player Probe"));
    EXPECT_TRUE(waitUntil([&] { return MovieProbe::of(playedCopy()).readable; }, waitLimitMs))
        << "the shared movie";

    // Copy Video: another program pastes the movie as a file; the recording leaves the tray.
    clearClipboard();
    clickPreviewButton(QStringLiteral("Copy Video"));
    EXPECT_TRUE(waitUntil(
        [&] {
            return QUrl(QString::fromUtf8(pasteWithXclip(QStringLiteral("text/uri-list")))
                            .trimmed()) == QUrl::fromLocalFile(movie);
        },
        waitLimitMs))
        << "the movie offered as a file";
    EXPECT_TRUE(waitUntil([&] { return !queueHolds(recording.id()); }));

    // Delete: the other recording, shown next, leaves the tray; the preview closes.
    EXPECT_TRUE(waitUntil([&] { return preview().currentItemID() == other.id(); }, waitLimitMs));
    clickPreviewButton(QStringLiteral("Delete"));
    EXPECT_TRUE(waitUntil([&] { return !queueHolds(other.id()); }));
    EXPECT_TRUE(waitUntil([&] { return !preview().isVisible(); }));
}

} // namespace
