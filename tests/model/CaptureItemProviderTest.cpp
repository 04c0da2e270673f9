#include "model/CaptureItemProvider.h"
#include "model/CaptureItem.h"
#include "model/CaptureTestSupport.h"
#include "support/AwaitError.h"
#include "support/LogCapture.h"
#include "support/TempDirScope.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(DragFile, IsMadeAfreshForEveryDrag)
{
    TempDirScope tmp;
    const CaptureItem item = makeScreenshot(filledImage(30, 20, Qt::red));
    waitForWrites();
    const QString png = tmp.captureFile(item.fileName());

    // A drag copy of an older version lies where the folder goes now.
    const QString dragFolder = tmp.captureFile("Drag_" + item.fileName());
    QFile(dragFolder).open(QIODevice::WriteOnly);

    const std::optional<QUrl> first = item.makeDragFileURL();
    ASSERT_TRUE(first);
    const QString drag = first->toLocalFile();
    // Under the capture's own name, which is all a drop target learns over X11, in a folder
    // nobody else can reach.
    EXPECT_EQ(first->fileName(), item.fileName());
    EXPECT_EQ(drag, dragFolder + '/' + item.fileName());
    EXPECT_EQ(int(QFileInfo(dragFolder).permissions() & 0x0077), 0);
    EXPECT_TRUE(QFileInfo(dragFolder).isDir());
    QFile(drag).open(QIODevice::WriteOnly | QIODevice::Truncate); // spoilt by a drop target

    std::unique_ptr<QMimeData> data(item.makeItemProvider(awaited(item.prepareDragFile()), {}));
    auto *provider = qobject_cast<CaptureItemProvider *>(data.get());
    ASSERT_TRUE(provider);
    EXPECT_EQ(provider->suggestedName(), item.fileName());
    EXPECT_EQ(provider->urls(), QList<QUrl>{*first});
    EXPECT_EQ(contents(drag), contents(png));
    EXPECT_FALSE(contents(drag).isEmpty());
}

TEST(DragFile, NeverLandsThroughALinkPlantedInItsPlace)
{
    TempDirScope tmp;
    const CaptureItem item = makeScreenshot(filledImage(30, 20, Qt::green));
    waitForWrites();
    const QString elsewhere = tmp.path() + "/elsewhere";
    ASSERT_TRUE(QDir().mkdir(elsewhere));
    const QString dragFolder = tmp.captureFile("Drag_" + item.fileName());
    ASSERT_TRUE(QFile::link(elsewhere, dragFolder));

    const std::optional<QUrl> drag = item.makeDragFileURL();
    ASSERT_TRUE(drag);
    EXPECT_FALSE(QFileInfo(dragFolder).isSymLink());
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
    EXPECT_EQ(QImage(drag->toLocalFile()), QImage(tmp.captureFile(item.fileName())));
}

TEST(DragFile, IsWrittenFromTheImageWhileThePngIsNotYetThere)
{
    TempDirScope tmp;
    const QImage image = filledImage(30, 20, Qt::blue);
    PoolBlocker pool;
    const CaptureItem item = makeScreenshot(image);
    const QString png = tmp.captureFile(item.fileName());
    ASSERT_FALSE(QFile::exists(png));

    const std::optional<QUrl> drag = item.makeDragFileURL();
    ASSERT_TRUE(drag);
    EXPECT_EQ(QImage(drag->toLocalFile()), image);
    EXPECT_EQ(QImage(png), image); // the capture has its PNG again
    pool.release();
    EXPECT_EQ(QImage(png), image);
}

TEST(DragFile, IsNotHandedOutWhenItCannotBeMade)
{
    TempDirScope tmp;
    LogCapture log;
    const CaptureItem item = makeScreenshot(filledImage(30, 20, Qt::blue));
    waitForWrites();
    // PNG gone and nothing left in memory: no image to drag.
    QFile::remove(tmp.captureFile(item.fileName()));
    EXPECT_FALSE(item.makeDragFileURL());
    EXPECT_FALSE(QFileInfo::exists(tmp.captureFile("Drag_" + item.fileName())));

    const CaptureItem recording = makeRecording(tmp.path() + "/Recording-gone.mov");
    bool called = false;
    std::unique_ptr<QMimeData> data(
        recording.makeItemProvider(awaited(recording.prepareDragFile()), [&] { called = true; }));
    EXPECT_FALSE(qobject_cast<CaptureItemProvider *>(data.get()));
    EXPECT_TRUE(data->formats().isEmpty());
    QCoreApplication::processEvents();
    EXPECT_FALSE(called);
    EXPECT_EQ(log.lines().filter("capture|warning|").size(), 2);

    // A movie that is no regular file: no drag file, and no wait for a pipe's writer.
    for (const Spoil damage : {Spoil::pipe, Spoil::endless}) {
        const QString movie = tmp.path() + QStringLiteral("/Recording-%1.mov").arg(int(damage));
        QFile(movie).open(QIODevice::WriteOnly);
        const SpoiltFile spoilt(movie, damage);
        const CaptureItem unreadable = makeRecording(movie);
        EXPECT_FALSE(awaited(unreadable.prepareDragFile())) << int(damage);
        EXPECT_FALSE(QFileInfo::exists(tmp.captureFile("Drag_" + unreadable.fileName())));
    }

    // A movie cut short since the recording was staged.
    QFile movie(tmp.path() + "/Recording-cut.mov");
    ASSERT_TRUE(movie.open(QIODevice::WriteOnly) && movie.write("movie bytes") == 11);
    movie.close();
    const CaptureItem cut = makeRecording(movie.fileName());
    ASSERT_TRUE(movie.resize(5));
    EXPECT_FALSE(awaited(cut.prepareDragFile()));
    EXPECT_FALSE(
        QFileInfo::exists(tmp.captureFile("Drag_" + cut.fileName() + "/" + cut.fileName())));
}

TEST(CaptureItemProvider, CallsBackOnceOnTheMainThreadWhateverThreadsAsk)
{
    TempDirScope tmp;
    QFile movie(tmp.path() + "/Recording-z.mp4");
    ASSERT_TRUE(movie.open(QIODevice::WriteOnly));
    movie.write("movie");
    movie.close();
    const CaptureItem recording = makeRecording(movie.fileName());

    int calls = 0;
    bool onMainThread = false;
    std::unique_ptr<QMimeData> data(
        recording.makeItemProvider(awaited(recording.prepareDragFile()), [&] {
            ++calls;
            onMainThread = QThread::currentThread() == qApp->thread();
        }));
    auto *provider = qobject_cast<CaptureItemProvider *>(data.get());
    ASSERT_TRUE(provider);
    EXPECT_FALSE(provider->hasConsumed());

    QSemaphore start;
    QList<QByteArray> answers(2);
    auto request = [&](int i) {
        return QThread::create([&, i] {
            start.acquire();
            answers[i] = provider->data("text/uri-list");
        });
    };
    std::unique_ptr<QThread> first(request(0)), second(request(1));
    first->start();
    second->start();
    start.release(2);
    ASSERT_TRUE(first->wait(5000));
    ASSERT_TRUE(second->wait(5000));
    EXPECT_TRUE(provider->hasConsumed());
    EXPECT_TRUE(answers[0].contains("Drag_"));
    EXPECT_EQ(answers[0], answers[1]);
    EXPECT_EQ(contents(QUrl(QString::fromUtf8(answers[0]).trimmed()).toLocalFile()), "movie");

    EXPECT_TRUE(waitUntil([&] { return calls == 1; }));
    provider->data("text/uri-list");
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(onMainThread);
}
