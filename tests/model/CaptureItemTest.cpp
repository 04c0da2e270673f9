#include "model/CaptureItem.h"
#include "model/CaptureTestSupport.h"
#include "model/PosterFile.h"
#include "model/TemporaryFiles.h"
#include "model/Thumbnail.h"
#include "support/CraftedPosterFiles.h"
#include "support/FileOpens.h"
#include "support/LogCapture.h"
#include "support/TempDirScope.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

TEST(Thumbnail, FitsTheLongerSideWithinTheLimitAndNeverEnlarges)
{
    struct Case {
        QSize source;
        QSize expected;
    };
    const Case cases[] = {{{400, 100}, {200, 50}},
                          {{150, 80}, {150, 80}},
                          {{1000, 1}, {200, 1}},
                          {{1, 1000}, {1, 200}},
                          // 289 × (200 / 289) falls a hair short of 200 in floating point.
                          {{289, 100}, {200, 69}},
                          {{3840, 2160}, {200, 112}}};
    for (const Case &c : cases) {
        const QImage thumbnail =
            makeThumbnail(filledImage(c.source.width(), c.source.height(), Qt::red), 200);
        EXPECT_EQ(thumbnail.size(), c.expected) << c.source.width() << "x" << c.source.height();
        EXPECT_EQ(thumbnail.pixelColor(0, 0), QColor(Qt::red));
    }
    const QImage empty(0, 0, QImage::Format_RGB32);
    EXPECT_EQ(makeThumbnail(empty, 200).cacheKey(), empty.cacheKey());
}

TEST(CaptureItemState, ComparesCaseAndValueAndDescribesItself)
{
    using S = CaptureItemState;
    EXPECT_EQ(S::saved("a.png"), S::saved("a.png"));
    EXPECT_NE(S::saved("a.png"), S::saved("b.png"));
    EXPECT_EQ(S::failed(CaptureActionError::saveCancelled()),
              S::failed(CaptureActionError::saveCancelled()));
    EXPECT_NE(S::failed(CaptureActionError::saveFailed("x")),
              S::failed(CaptureActionError::copyFailed("x")));
    EXPECT_NE(S::pending(), S::saving());

    const std::tuple<S, const char *, bool> cases[] = {
        {S::pending(), "Unsaved capture", false},
        {S::saving(), "Saving...", true},
        {S::copying(), "Copying...", true},
        {S::deleting(), "Removing...", true},
        {S::saved("a.png"), "Saved to a.png", false},
        {S::failed(CaptureActionError::saveFailed("disk full")),
         "Couldn't save (Failed to save screenshot: disk full)", false}};
    for (const auto &[state, text, busy] : cases) {
        EXPECT_EQ(state.statusText(), text);
        EXPECT_EQ(state.isBusy(), busy) << text;
    }
}

TEST(CaptureItem, NamesFilesByTimeAndKindAndNeverTwiceTheSame)
{
    TempDirScope tmp;
    const QDateTime at = nextCaptureTime();
    const QString stem = QString::asprintf(
        "Corvanta %04d-%02d-%02d at %02d.%02d.%02d", at.date().year(), at.date().month(),
        at.date().day(), at.time().hour(), at.time().minute(), at.time().second());
    const CaptureItem first = makeScreenshot(filledImage(10, 10, Qt::red), at);
    const CaptureItem second = makeScreenshot(filledImage(10, 10, Qt::green), at);
    EXPECT_EQ(first.fileName(), stem + ".png");
    EXPECT_EQ(second.fileName(), stem + " (2).png");

    const CaptureItem mov = makeRecording(tmp.path() + "/Recording-1.mov", at);
    const CaptureItem bare = makeRecording(tmp.path() + "/Recording-2", at);
    EXPECT_EQ(mov.fileName(), stem + ".mov");
    EXPECT_EQ(bare.fileName(), stem + ".mp4");
    EXPECT_TRUE(mov.isVideo());
    EXPECT_FALSE(first.isVideo());

    // Each keeps its own file and its own pixels.
    waitForWrites();
    EXPECT_EQ(first.image().pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(second.image().pixelColor(0, 0), QColor(Qt::green));
}

TEST(CapturedImageStorage, HoldsTheImageUntilWrittenThenServesItFromDisk)
{
    TempDirScope tmp;
    const QImage image = filledImage(40, 30, Qt::magenta);
    PoolBlocker pool;
    const CaptureItem item = makeScreenshot(image);
    const QString png = tmp.captureFile(item.fileName());
    EXPECT_EQ(item.image().cacheKey(), image.cacheKey());
    EXPECT_FALSE(QFile::exists(png));
    EXPECT_EQ(item.pixelWidth(), 40);
    EXPECT_EQ(item.pixelHeight(), 30);
    EXPECT_EQ(item.thumbnail().size(), QSize(40, 30));

    pool.release();
    const QImage decoded = item.image();
    EXPECT_NE(decoded.cacheKey(), image.cacheKey());
    EXPECT_EQ(decoded, image);

    // Gone from disk with no copy in memory: missing, not some stand-in.
    ASSERT_TRUE(QFile::remove(png));
    EXPECT_TRUE(item.image().isNull());
}

namespace {

// The process's peak resident size in KiB since the last reset (VmHWM).
qint64 peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

void resetPeakResident()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

} // namespace

// What every action asks first: a file that is still there but holds anything other than the
// picture counts as gone, found out from the file as it is now (written over in place at its
// size, too); one that is no regular file is never opened, one whose header claims another
// picture is refused before its pixels are made, and a file larger than its picture can take is
// not read.
TEST(CaptureItem, AFileThatNoLongerHoldsThePictureIsRefusedWithoutWaitingOrDecodingIt)
{
    TempDirScope tmp;
    QList<CaptureItem> gone;
    const Spoil damages[] = {Spoil::junk, Spoil::scrambled, Spoil::pipe, Spoil::hugeClaim};
    for (const Spoil damage : damages)
        gone << makeScreenshot(noisyImage(120, 90, 20 + quint32(damage)));
    const CaptureItem other = makeScreenshot(filledImage(40, 30, Qt::blue));
    const CaptureItem deleted = makeScreenshot(filledImage(40, 30, Qt::cyan));
    const CaptureItem grownShot = makeScreenshot(filledImage(40, 30, Qt::magenta));
    const CaptureItem junkPoster = makeRecording(tmp.path() + "/Recording-j.mp4");
    const CaptureItem pipedPoster = makeRecording(tmp.path() + "/Recording-p.mp4");
    const CaptureItem hugePoster = makeRecording(tmp.path() + "/Recording-h.mp4");
    const CaptureItem grownPoster = makeRecording(tmp.path() + "/Recording-g.mp4");
    const CaptureItem tallBandsPoster(
        QUuid::createUuid(), nextCaptureTime(), 1u, CaptureMode::recording,
        filledImage(1920, 1080, Qt::blue), std::nullopt,
        QUrl::fromLocalFile(tmp.path() + "/Recording-t.mp4"), CaptureItemState::pending());
    waitForWrites();
    for (int i = 0; i < gone.size(); ++i)
        ASSERT_TRUE(spoilFile(tmp.captureFile(gone[i].fileName()), damages[i])) << i;
    ASSERT_TRUE(filledImage(41, 30, Qt::blue).save(tmp.captureFile(other.fileName()), "PNG"));
    ASSERT_TRUE(QFile::remove(tmp.captureFile(deleted.fileName())));
    ASSERT_TRUE(spoilFile(junkPoster.storedImage().pngPath));
    ASSERT_TRUE(spoilFile(pipedPoster.storedImage().pngPath, Spoil::pipe));
    // A poster that claims 16384 × 16384 pixels (1 GiB once decoded) in 64 bands of grey rows, a
    // few hundred KB; and the recording's own poster behind a link, grown to 1 GiB.
    const QByteArray band = blackPng(16384, 256);
    const QByteArray claim =
        CraftedPosterFiles::header(16384, 16384, {64, {256, quint64(band.size())}}) +
        band.repeated(64);
    QFile huge(hugePoster.storedImage().pngPath);
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.write(claim) == claim.size() &&
                huge.flush());
    // The recording's own 1920 × 1080 in its header, but eight bands of 16384 × 2048 grey pixels
    // (128 MiB each once decoded) in a few hundred KB.
    const QByteArray tallBand = blackPng(16384, 2048);
    const QByteArray tallBands =
        CraftedPosterFiles::header(1920, 1080, {8, {135, quint64(tallBand.size())}}) +
        tallBand.repeated(8);
    QFile tall(tallBandsPoster.storedImage().pngPath);
    ASSERT_TRUE(tall.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                tall.write(tallBands) == tallBands.size() && tall.flush());
    const QString grown = grownPoster.storedImage().pngPath;
    ASSERT_TRUE(QFile::rename(grown, tmp.path() + "/grown"));
    ASSERT_TRUE(QFile(tmp.path() + "/grown").resize(qint64(1) << 30));
    ASSERT_TRUE(QFile::link(tmp.path() + "/grown", grown));
    // Still the picture at its start, but larger than any PNG of it can be.
    ASSERT_TRUE(QFile(tmp.captureFile(grownShot.fileName())).resize(qint64(1) << 30));
    gone << other << deleted << grownShot;

    const qint64 resident = peakResidentKiB();
    resetPeakResident();
    for (const CaptureItem &item : std::as_const(gone)) {
        SCOPED_TRACE(item.fileName().toStdString());
        EXPECT_FALSE(item.checkPicture().result()) << "asked before anything decoded the file";
        EXPECT_TRUE(item.loadPng().result().isEmpty());
        EXPECT_TRUE(item.loadImage().result().isNull());
        EXPECT_TRUE(item.image().isNull());
        EXPECT_FALSE(item.makeDragFileURL());
    }
    for (const CaptureItem &recording :
         {junkPoster, pipedPoster, hugePoster, grownPoster, tallBandsPoster}) {
        SCOPED_TRACE(recording.fileName().toStdString());
        EXPECT_TRUE(recording.image().isNull());
        EXPECT_TRUE(recording.loadImage().result().isNull());
    }
    EXPECT_LT(peakResidentKiB() - resident, 128 * 1024) << "a claimed picture or 1 GiB was made";
}

// One decode serves every action that asks while it runs; the file just written is known whole
// without one.
TEST(CapturedImageStorage, AFileJustWrittenIsNotDecodedAndActionsAskingTogetherShareOneDecode)
{
    TempDirScope tmp;
    const QImage picture = noisyImage(120, 90, 31);
    const CaptureItem item = makeScreenshot(picture);
    const QString path = item.storedImage(QDeadlineTimer(10000)).pngPath;
    FileOpens opens(path);
    EXPECT_TRUE(item.checkPicture().result());
    EXPECT_EQ(opens.count(), 0);

    PoolBlocker pool;
    const QFuture<QImage> first = item.loadImage();
    const QFuture<QImage> second = item.loadImage();
    pool.release();
    EXPECT_EQ(first.result(), picture);
    EXPECT_EQ(first.result().constBits(), second.result().constBits());
    EXPECT_EQ(opens.count(), 1);
}

// What actions are handed: the picture while its file decodes whole to it, and as a PNG that
// other programs read (the file's own bytes while it is the one written); nothing from a file
// damaged after its header.
TEST(CaptureItem, ActionsGetThePictureOrAWholePngOfItAndNothingFromADamagedFile)
{
    TempDirScope tmp;
    const std::optional<Spoil> damages[] = {std::nullopt, Spoil::endCut, Spoil::cut,
                                            Spoil::scrambled};
    for (const std::optional<Spoil> &damage : damages) {
        SCOPED_TRACE(damage ? int(*damage) : -1);
        const QImage picture = noisyImage(120, 90, damage ? 10 + quint32(*damage) : 9);
        const CaptureItem item = makeScreenshot(picture);
        const QString path = item.storedImage(QDeadlineTimer(10000)).pngPath;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        file.close();
        if (damage)
            ASSERT_TRUE(spoilFile(path, *damage));
        const bool readable = !damage || *damage == Spoil::endCut;

        EXPECT_EQ(item.loadImage().result(), readable ? picture : QImage());
        EXPECT_EQ(item.checkPicture().result(), readable);
        const QByteArray png = item.loadPng().result();
        const std::optional<QUrl> drag = item.makeDragFileURL();
        if (!readable) {
            EXPECT_TRUE(png.isEmpty());
            EXPECT_FALSE(drag);
            continue;
        }
        if (!damage)
            EXPECT_EQ(png, written) << "its own file, as it is";
        QImage pasted;
        ASSERT_TRUE(pasted.loadFromData(png, "PNG"));
        EXPECT_EQ(pasted.convertToFormat(QImage::Format_RGB32), picture);
        ASSERT_TRUE(drag);
        QImageReader dropped(drag->toLocalFile());
        EXPECT_EQ(dropped.read().convertToFormat(QImage::Format_RGB32), picture)
            << dropped.errorString().toStdString();
    }
}

// A file cut short while actions read it, a screenshot's and a recording's poster: each read
// gives the picture or nothing, and none faults the process or reads past what it got of the
// file. Each read begins on the whole file, cut a little later each time, from before its size
// is asked to after its last byte is read; reads go on until enough of them met the cut.
TEST(CapturedImageStorage, AFileCutShortWhileItIsReadGivesThePictureOrNothing)
{
    TempDirScope tmp;
    const QImage picture = noisyImage(1000, 700, 43);
    const CaptureItem items[] = {makeScreenshot(picture),
                                 CaptureItem(QUuid::createUuid(), nextCaptureTime(), 1u,
                                             CaptureMode::recording, picture, std::nullopt,
                                             QUrl::fromLocalFile(tmp.path() + "/Recording-c.mp4"),
                                             CaptureItemState::pending())};
    for (const CaptureItem &item : items) {
        SCOPED_TRACE(item.fileName().toStdString());
        QFile file(item.storedImage(QDeadlineTimer(10000)).pngPath);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const QByteArray whole = file.readAll();
        std::atomic<int> begun = 0, restored = 0;
        std::atomic<bool> reading = true;
        std::thread cutter([&] {
            for (int cuts = 0; reading; std::this_thread::yield()) {
                if (begun == cuts)
                    continue;
                const auto at =
                    std::chrono::steady_clock::now() + std::chrono::microseconds(cuts % 16 * 5);
                while (std::chrono::steady_clock::now() < at) {
                }
                const bool cut = file.resize(4096) && file.seek(4096) &&
                                 file.write(whole.sliced(4096)) == whole.size() - 4096 &&
                                 file.flush();
                restored = ++cuts;
                if (!cut)
                    return;
            }
        });
        // The whole file always gives the picture: a read that gives nothing met the cut.
        int reads = 0, refused = 0;
        for (; (refused < 20 || reads - refused < 5) && reads < 400; ++reads) {
            ++begun;
            const QImage found = reads % 2 ? item.image() : item.loadImage().result();
            if (found.isNull())
                ++refused;
            else
                EXPECT_EQ(found, picture) << reads;
            if (!waitUntil([&] { return restored == begun; }))
                break;
        }
        reading = false;
        cutter.join();
        EXPECT_GT(refused, 0) << "no read of " << reads << " met the file cut short";
        EXPECT_EQ(item.loadImage().result(), picture) << "whole again";
    }
}

// The largest PNG of a capture that an encoder writes, 16-bit RGBA rows stored uncompressed, is
// still read: only a file larger than that is taken for something else.
TEST(CapturedImageStorage, ReadsTheLargestPngAnEncoderWritesOfTheCapture)
{
    TempDirScope tmp;
    const QImage picture = noisyImage(1600, 1000, 47);
    const CaptureItem item = makeScreenshot(picture);
    const QString path = item.storedImage(QDeadlineTimer(10000)).pngPath;
    QImageWriter stored(path, "png");
    stored.setQuality(100);
    ASSERT_TRUE(stored.write(picture.convertToFormat(QImage::Format_RGBA64)));
    ASSERT_GT(QFileInfo(path).size(), 1000 * (1 + 1600 * 8)) << "16-bit RGBA, not compressed";
    EXPECT_EQ(item.image().convertToFormat(QImage::Format_RGB32), picture);
    EXPECT_EQ(item.loadImage().result().convertToFormat(QImage::Format_RGB32), picture);
}

// A capture larger than Qt's 128 MB image limit (6000 × 6000 × 4 bytes) still comes back from
// its file, while that limit keeps guarding every image that is not ours.
TEST(CapturedImageStorage, ReadsBackCapturesBeyondQtsSizeLimit)
{
    TempDirScope tmp;
    QImage large(6000, 6000, QImage::Format_RGB32);
    large.fill(qRgb(20, 40, 60));
    for (int y = 0; y < 6000; y += 997)
        large.setPixel(5999 - y, y, qRgb(250, 10, 128));
    const CaptureItem item = makeScreenshot(large);
    waitForWrites();
    const QImage decoded = item.image();
    ASSERT_EQ(decoded.size(), QSize(6000, 6000));
    EXPECT_EQ(decoded.pixel(10, 10), qRgb(20, 40, 60));
    for (int y = 0; y < 6000; y += 997)
        EXPECT_EQ(decoded.pixel(5999 - y, y), qRgb(250, 10, 128)) << y;
    EXPECT_EQ(QImageReader::allocationLimit(), 128);

    // Transparency survives, not premultiplied; a file that is no PNG gives nothing.
    QImage clear(8, 4, QImage::Format_ARGB32);
    clear.fill(qRgba(200, 100, 50, 128));
    const CaptureItem translucent = makeScreenshot(clear);
    waitForWrites();
    EXPECT_EQ(translucent.image().pixel(3, 2), qRgba(200, 100, 50, 128));
    const QString png = tmp.captureFile(translucent.fileName());
    QFile file(png);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("not a picture");
    file.close();
    EXPECT_TRUE(translucent.image().isNull());
}

TEST(CapturedImageStorage, OverwritesALeftoverFileInsteadOfAdoptingIt)
{
    TempDirScope tmp;
    const QDateTime at = nextCaptureTime();
    QDir().mkpath(tmp.capturesPath());
    const QString leftover =
        tmp.capturesPath() + "/Corvanta " + at.toString("yyyy-MM-dd 'at' HH.mm.ss") + ".png";
    ASSERT_TRUE(filledImage(5, 5, Qt::black).save(leftover));
    const CaptureItem item = makeScreenshot(filledImage(6, 6, Qt::yellow), at);
    ASSERT_EQ(tmp.captureFile(item.fileName()), leftover);
    waitForWrites();
    EXPECT_EQ(QImage(leftover), filledImage(6, 6, Qt::yellow));
}

TEST(CapturedImageStorage, KeepsTheImageInMemoryWithoutACapturesFolder)
{
    TempDirScope tmp;
    tmp.dropTmpdir(tmp.path() + "/no-system");
    LogCapture log;
    const QImage image = filledImage(8, 8, Qt::cyan);
    const CaptureItem item = makeScreenshot(image);
    waitForWrites();
    EXPECT_EQ(item.image().cacheKey(), image.cacheKey());
    const QStringList lines = log.lines().filter("capture|error|");
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().contains(item.fileName()));
}

TEST(CapturedImageStorage, WritesIntoAPrivateFolderWhenTheSharedOneIsNotPrivate)
{
    TempDirScope tmp;
    QDir().mkdir(tmp.path() + "/elsewhere");
    ASSERT_TRUE(QFile::link(tmp.path() + "/elsewhere", tmp.capturesPath()));
    LogCapture log;
    const CaptureItem first = makeScreenshot(filledImage(8, 8, Qt::red));
    const CaptureItem second = makeScreenshot(filledImage(8, 8, Qt::red));
    waitForWrites();
    EXPECT_TRUE(QDir(tmp.path() + "/elsewhere").isEmpty());
    const QStringList warnings = log.lines().filter("capture|warning|");
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.first().contains("symbolic link"));
    EXPECT_EQ(first.image(), filledImage(8, 8, Qt::red));
}

namespace {

// A poster frame whose every pixel differs from its neighbours, so that a poster read back from
// anywhere but its own file shows.
QImage posterFrame(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 7) & 0xff, (y * 13) & 0xff, (x * y) & 0xff));
    }
    return image;
}

CaptureItem makeRecordingOf(const QImage &poster, const QString &moviePath)
{
    return CaptureItem(QUuid::createUuid(), nextCaptureTime(), std::nullopt, CaptureMode::recording,
                       poster, std::nullopt, QUrl::fromLocalFile(moviePath),
                       CaptureItemState::pending());
}

} // namespace

TEST(RecordingPoster, OnlyTheThumbnailStaysInMemoryAndThePosterComesBackFromAPrivateFile)
{
    TempDirScope tmp;
    const QString movie = tmp.path() + "/Recording-1.mp4";
    QFile(movie).open(QIODevice::WriteOnly);
    const QImage poster = posterFrame(640, 360);
    const CaptureItem recording = makeRecordingOf(poster, movie);
    const CaptureItem copy = recording;
    EXPECT_EQ(recording.thumbnail().size(), QSize(200, 112));
    waitForWrites();

    const CaptureItem::StoredImage stored = copy.storedImage();
    EXPECT_TRUE(stored.pixels.isNull()) << "no full-size picture once staged";
    ASSERT_FALSE(stored.pngPath.isEmpty());
    EXPECT_EQ(QFileInfo(stored.pngPath).absolutePath(), tmp.capturesPath());
    EXPECT_NE(QFileInfo(stored.pngPath).fileName(), recording.fileName());
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(stored.pngPath).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "private to the user";
    EXPECT_EQ(recording.image(), poster);
    EXPECT_EQ(QtConcurrent::run([copy] { return copy.image(); }).result(), poster);
    EXPECT_EQ(recording.pixelWidth(), 640);

    // The movie deleted behind our back: the poster is still there, the drag offers nothing.
    ASSERT_TRUE(QFile::remove(movie));
    EXPECT_EQ(recording.image(), poster);
    EXPECT_FALSE(recording.makeDragFileURL());
}

TEST(RecordingPoster, ItsFileGoesWithTheCaptureAndAtQuit)
{
    TempDirScope tmp;
    TemporaryFiles::setCleanupDelay(std::chrono::milliseconds(50));
    const CaptureItem deleted =
        makeRecordingOf(posterFrame(32, 18), tmp.path() + "/Recording-d.mp4");
    const CaptureItem kept = makeRecordingOf(posterFrame(32, 18), tmp.path() + "/Recording-k.mp4");
    waitForWrites();
    const QString deletedPoster = deleted.storedImage().pngPath;
    const QString keptPoster = kept.storedImage().pngPath;
    ASSERT_TRUE(QFile::exists(deletedPoster));
    ASSERT_TRUE(QFile::exists(keptPoster));

    deleted.scheduleTemporaryFileCleanup();
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(deletedPoster); }));
    EXPECT_TRUE(QFile::exists(keptPoster));
    TemporaryFiles::setCleanupDelay(std::chrono::seconds(180));

    // Quitting clears the queue and deletes at once what is pending.
    kept.scheduleTemporaryFileCleanup();
    TemporaryFiles::deletePendingNow();
    EXPECT_FALSE(QFile::exists(keptPoster));
}

TEST(RecordingPoster, ItsFileReadsBackPixelForPixelAndNothingFromADamagedOne)
{
    TempDirScope tmp;
    const QString path = tmp.path() + "/poster";
    // Rows that do not divide evenly into bands, with a transparent corner.
    QImage clear = posterFrame(97, 61).convertToFormat(QImage::Format_ARGB32);
    clear.setPixelColor(0, 0, QColor(10, 20, 30, 40));
    for (const QImage &poster : {posterFrame(301, 203), clear, posterFrame(40, 3)}) {
        ASSERT_TRUE(PosterFile::write(poster, path));
        EXPECT_EQ(PosterFile::read(path), poster);
    }

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QByteArray whole = file.readAll();
    file.resize(whole.size() - 10);
    file.close();
    EXPECT_TRUE(PosterFile::read(path).isNull()) << "cut short";
    ASSERT_TRUE(filledImage(4, 4, Qt::red).save(path, "PNG"));
    EXPECT_TRUE(PosterFile::read(path).isNull()) << "not a poster file";
    EXPECT_TRUE(PosterFile::read(tmp.path() + "/missing").isNull());
}
