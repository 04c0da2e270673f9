#include "PinTestSupport.h"
#include "platform/Background.h"
#include "support/AwaitError.h"

#include "model/CaptureItemProvider.h"
#include "pins/PinItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QThreadPool>
#include <gtest/gtest.h>
#include <memory>

namespace {

TEST(PinItemTest, TitlesAndNames)
{
    const PinItem image(PinContent::makeImage(solidImage(10, 10, Qt::red)));
    EXPECT_EQ(image.title(), "Pinned Image");
    const PinItem file(PinContent::makeFile(QUrl::fromLocalFile("/tmp/notes/report.final.pdf")));
    EXPECT_EQ(file.title(), "report.final.pdf");
    EXPECT_EQ(file.exportFileName(), "report.final.pdf");
    const PinItem named(PinContent::makeImage(QImage()), QString());
    EXPECT_EQ(named.title(), "") << "a given title is kept, also when empty";
    EXPECT_EQ(image.exportFileName(QDateTime(QDate(2025, 3, 14), QTime(9, 26, 53))),
              "Corvanta 2025-03-14 09.26.53.png");
    EXPECT_NE(image.id(), PinItem(PinContent::makeImage(QImage())).id());
}

TEST(PinItemTest, APinOfACaptureCarriesItsIdentity)
{
    TempDirScope temp;
    const CaptureItem screenshot = makeCapture(Qt::magenta);
    const PinItemPtr pin = PinItem::fromCapture(screenshot);
    EXPECT_EQ(pin->id(), screenshot.id());
    EXPECT_EQ(pin->title(), screenshot.fileName());
    EXPECT_TRUE(pin->isImage());
    EXPECT_EQ(pin->bitmap().pixelColor(5, 5), QColor(Qt::magenta));

    const QUrl movie = QUrl::fromLocalFile(temp.path() + "/Recording-1.mp4");
    const CaptureItem recording = makeCapture(Qt::yellow, movie);
    const PinItemPtr video = PinItem::fromCapture(recording);
    EXPECT_TRUE(video->isVideo());
    EXPECT_EQ(video->fileURL(), movie);
    EXPECT_EQ(video->title(), recording.fileName());
    // Read back from the capture's poster file once it is written.
    platform::backgroundThreads()->waitForDone();
    EXPECT_EQ(video->previewImage().convertToFormat(QImage::Format_RGB32),
              solidImage(64, 40, Qt::yellow).convertToFormat(QImage::Format_RGB32))
        << "the poster";
    EXPECT_EQ(video->kindText(), "Video");
    EXPECT_FALSE(video->fileSizeText());
}

TEST(PinItemTest, KindAndSizeOfFiles)
{
    TempDirScope temp;
    const QString path = temp.path() + "/data.zzqq";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(2500, 'x'));
    file.close();
    const PinItem unknown(PinContent::makeFile(QUrl::fromLocalFile(path)));
    EXPECT_EQ(unknown.kindText(), "ZZQQ");
    EXPECT_EQ(unknown.fileSizeText(),
              QLocale().formattedDataSize(2500, 1, QLocale::DataSizeSIFormat));
    const PinItem png(PinContent::makeFile(QUrl::fromLocalFile(temp.path() + "/a.png")));
    EXPECT_NE(png.kindText(), "PNG") << "a known type is described";
    EXPECT_FALSE(png.fileSizeText()) << "a file that is not there has no size";
    EXPECT_EQ(PinItem(PinContent::makeImage(QImage())).kindText(), "Image");
}

TEST(PinItemTest, AnImagePinIsDraggedAsAPngInTheCapturesFolder)
{
    TempDirScope temp;
    QDir().mkpath(temp.capturesPath());
    const PinItem pin(PinContent::makeImage(solidImage(30, 20, Qt::blue)));
    const std::unique_ptr<QMimeData> data(pin.itemProvider(temp.capturesPath(), {}));
    auto *provider = qobject_cast<CaptureItemProvider *>(data.get());
    ASSERT_NE(provider, nullptr);
    ASSERT_EQ(provider->urls().size(), 1);
    const QString written = provider->urls().first().toLocalFile();
    EXPECT_EQ(QFileInfo(written).dir().path(), temp.capturesPath());
    EXPECT_TRUE(QFileInfo(written).fileName().startsWith("Corvanta "));
    EXPECT_EQ(QImage(written).pixelColor(3, 3), QColor(Qt::blue));
    EXPECT_EQ(provider->suggestedName(), QFileInfo(written).fileName());
}

// As the tray drags it: the capture's own file, under the capture's name, never a PNG encoded
// afresh under a name of the moment.
TEST(PinItemTest, APinnedCaptureIsDraggedAsTheCapturesOwnFile)
{
    TempDirScope temp;
    const QString movie = temp.path() + "/Recording-2.mp4";
    QFile file(movie);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("movie bytes");
    file.close();
    const CaptureItem screenshot = makeCapture(Qt::red);
    const CaptureItem recording = makeCapture(Qt::yellow, QUrl::fromLocalFile(movie));
    platform::backgroundThreads()->waitForDone();
    QFile png(temp.captureFile(screenshot.fileName()));
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    const QByteArray pngBytes = png.readAll();

    for (const auto &[capture, bytes] :
         {std::pair(screenshot, pngBytes), std::pair(recording, QByteArray("movie bytes"))}) {
        bool consumed = false;
        const std::unique_ptr<QMimeData> data(
            PinItem::fromCapture(capture)->itemProvider([&] { consumed = true; }));
        auto *provider = qobject_cast<CaptureItemProvider *>(data.get());
        ASSERT_NE(provider, nullptr);
        ASSERT_EQ(provider->urls().size(), 1);
        const std::unique_ptr<QMimeData> tray(
            capture.makeItemProvider(awaited(capture.prepareDragFile()), {}));
        EXPECT_EQ(provider->urls(), tray->urls());
        EXPECT_EQ(provider->urls().first().fileName(), capture.fileName());
        EXPECT_EQ(provider->suggestedName(), capture.fileName());
        QFile dragged(provider->urls().first().toLocalFile());
        ASSERT_TRUE(dragged.open(QIODevice::ReadOnly));
        EXPECT_EQ(dragged.readAll(), bytes);
        provider->data("text/uri-list");
        QCoreApplication::processEvents();
        EXPECT_TRUE(consumed) << "the pin's callback rides along";
    }
}

TEST(PinItemTest, AFailedPngWriteOffersThePictureNotAStalePath)
{
    TempDirScope temp;
    // A folder that cannot be had (a file stands where it should be).
    const QString blocked = temp.path() + "/blocked";
    QFile blocker(blocked);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const PinItem pin(PinContent::makeImage(solidImage(30, 20, Qt::green)));
    const std::unique_ptr<QMimeData> data(pin.itemProvider(blocked, {}));
    EXPECT_FALSE(data->hasUrls());
    const QImage offered = QImage::fromData(data->data("image/png"), "PNG");
    ASSERT_FALSE(offered.isNull());
    EXPECT_EQ(offered.pixelColor(4, 4), QColor(Qt::green));

    // Without a picture there is nothing to offer at all.
    const PinItem empty(PinContent::makeImage(QImage()));
    const std::unique_ptr<QMimeData> nothing(empty.itemProvider(temp.capturesPath(), {}));
    EXPECT_TRUE(nothing->formats().isEmpty());
}

TEST(PinItemTest, AFilePinIsDraggedAsItsFileWhileItExists)
{
    TempDirScope temp;
    const QString path = temp.path() + "/clip.mov";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const PinItem pin(PinContent::makeVideo(QUrl::fromLocalFile(path), std::nullopt));
    const std::unique_ptr<QMimeData> data(pin.itemProvider());
    EXPECT_EQ(data->urls(), QList<QUrl>{QUrl::fromLocalFile(path)});
    QFile::remove(path);
    const std::unique_ptr<QMimeData> gone(pin.itemProvider());
    EXPECT_FALSE(gone->hasUrls());
}

} // namespace
