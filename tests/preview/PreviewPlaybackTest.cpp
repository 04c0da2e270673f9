#include "preview/PreviewPlayback.h"
#include "model/CaptureTestSupport.h"
#include "support/FakeMoviePlayer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class PreviewPlaybackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(movie.open());
        ASSERT_TRUE(otherMovie.open());
    }

    CaptureItem recording(const QTemporaryFile &file) { return makeRecording(file.fileName()); }
    // Sets the file's modification time to `nanoseconds` into one fixed second, as two writes
    // within the same second leave it.
    static bool modifiedAt(QFile &file, long nanoseconds)
    {
        const timespec times[2] = {{0, UTIME_OMIT}, {1'700'000'000, nanoseconds}};
        return file.flush() && ::futimens(file.handle(), times) == 0;
    }

    QStringList log;
    QList<QPointer<FakeMoviePlayer>> players;
    QTemporaryFile movie{QDir::tempPath() + QStringLiteral("/XXXXXX.mp4")};
    QTemporaryFile otherMovie{QDir::tempPath() + QStringLiteral("/XXXXXX.mp4")};
    PreviewPlayback playback{[this](const QUrl &url) {
        log << QStringLiteral("open %1").arg(url.fileName());
        auto player = std::make_unique<FakeMoviePlayer>(log);
        players << player.get();
        return player;
    }};
    QSignalSpy playingChanges{&playback, &PreviewPlayback::isPlayingChanged};
};

} // namespace

TEST_F(PreviewPlaybackTest, PublishesOnlyChangesAndClosesThePlayerOfTheRecordingBefore)
{
    playback.open(makeScreenshot(filledImage(40, 30, Qt::red)));
    EXPECT_FALSE(playback.player());
    EXPECT_TRUE(log.isEmpty()) << "a screenshot has nothing to play";

    playback.open(recording(movie));
    ASSERT_EQ(playback.player(), players.value(0).data());
    EXPECT_EQ(log, QStringList{QStringLiteral("open %1").arg(QFileInfo(movie).fileName())});
    EXPECT_FALSE(playback.isPlaying()) << "opened stopped";
    playback.toggle();
    ASSERT_EQ(playback.player(), players.value(0).data()) << "Play plays the player opened";
    for (int i = 0; i < 3; ++i)
        emit players[0]->playingChanged(true);
    EXPECT_TRUE(playback.isPlaying());
    EXPECT_EQ(playingChanges.count(), 1);
    players[0]->finish();
    EXPECT_FALSE(playback.isPlaying());
    EXPECT_EQ(playingChanges.count(), 2);

    playback.toggle();
    playback.open(recording(otherMovie));
    EXPECT_TRUE(players[0].isNull()) << "the player before is closed";
    EXPECT_EQ(log.at(log.size() - 2), QStringLiteral("pause"));
    EXPECT_EQ(playback.player(), players.value(1).data());
    EXPECT_FALSE(playback.isPlaying());
    EXPECT_EQ(playingChanges.count(), 4);
}

TEST_F(PreviewPlaybackTest, AFailedPlayerGoesAndPlayTriesTheRecordingAgain)
{
    QSignalSpy failures(&playback, &PreviewPlayback::failed);
    QSignalSpy replaced(&playback, &PreviewPlayback::playerChanged);
    playback.open(recording(movie));
    playback.toggle();
    ASSERT_TRUE(playback.isPlaying());
    ASSERT_EQ(playback.player(), players.value(0).data());

    emit players[0]->failed(QStringLiteral("no decoder"));
    const QString reason = QStringLiteral("Video playback failed: no decoder");
    ASSERT_EQ(failures.count(), 1);
    EXPECT_EQ(failures.at(0).at(0).toString(), reason);
    EXPECT_FALSE(playback.player());
    EXPECT_FALSE(playback.isPlaying());
    EXPECT_EQ(playback.errorString(), reason);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(players[0].isNull());

    // Play opens the same recording afresh and plays it.
    const QString opened = QStringLiteral("open %1").arg(QFileInfo(movie).fileName());
    log.clear();
    playback.toggle();
    EXPECT_EQ(log, (QStringList{opened, QStringLiteral("play")}));
    EXPECT_EQ(playback.player(), players.value(1).data());
    EXPECT_EQ(replaced.count(), 1);
    EXPECT_TRUE(playback.errorString().isEmpty());
    EXPECT_TRUE(playback.isPlaying());

    // It may fail again, and be tried again.
    emit players[1]->failed(QStringLiteral("still broken"));
    EXPECT_EQ(failures.count(), 2);
    EXPECT_FALSE(playback.isPlaying());
    log.clear();
    playback.toggle();
    EXPECT_EQ(log, (QStringList{opened, QStringLiteral("play")}));

    playback.open(recording(otherMovie));
    EXPECT_TRUE(playback.errorString().isEmpty());
    EXPECT_EQ(playback.player(), players.value(3).data());
}

TEST_F(PreviewPlaybackTest, PlayOpensARecordingWrittenOverSinceItsPlayerOpenedItAfresh)
{
    QSignalSpy replaced(&playback, &PreviewPlayback::playerChanged);
    ASSERT_EQ(movie.write("a first movie"), 13);
    ASSERT_TRUE(modifiedAt(movie, 100));
    playback.open(recording(movie));
    playback.toggle();
    playback.toggle();
    log.clear();
    playback.toggle();
    ASSERT_EQ(log, QStringList{QStringLiteral("play")}) << "unchanged, it goes on where it was";

    // Another movie of the same size written over it in the same second while it plays: its
    // player stops, at what it takes for the end, and would play what it read before.
    ASSERT_TRUE(movie.seek(0));
    ASSERT_EQ(movie.write("another movie"), 13);
    ASSERT_TRUE(modifiedAt(movie, 200));
    players[0]->finish();
    log.clear();
    playback.toggle();
    EXPECT_EQ(log.filter(QStringLiteral("open ")),
              QStringList{QStringLiteral("open %1").arg(QFileInfo(movie).fileName())});
    EXPECT_EQ(log.last(), QStringLiteral("play"));
    EXPECT_TRUE(players[0].isNull()) << "the old player is closed";
    EXPECT_EQ(playback.player(), players.value(1).data());
    EXPECT_EQ(replaced.count(), 1);
    EXPECT_TRUE(playback.isPlaying());

    // Pause and play again: the file is what the new player opened.
    playback.toggle();
    log.clear();
    playback.toggle();
    EXPECT_EQ(log, QStringList{QStringLiteral("play")});
    EXPECT_EQ(replaced.count(), 1);
}
