#include "platform/PngEncoder.h"
#include "platform/TiffEncoder.h"
#include "platform/qt/QtImageWriter.h"
#include "support/SimpleTiff.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <sys/resource.h>

using platform::ImageWriteResult;
using platform::QtImageWriter;

namespace {

// Distinct pixels everywhere, so that a swapped channel or a shifted row shows.
QImage patternImage(int width, int height, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(width, height, format);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba((x * 7) & 0xff, (y * 13) & 0xff, (x + y) & 0xff, 255));
    }
    return image;
}

QSize heifSize(const QString &path)
{
    heif_context *context = heif_context_alloc();
    QSize size;
    heif_image_handle *handle = nullptr;
    if (heif_context_read_from_file(context, QFile::encodeName(path).constData(), nullptr).code ==
            heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
        heif_image *image = nullptr;
        if (heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                              nullptr)
                .code == heif_error_Ok) {
            size = QSize(heif_image_get_width(image, heif_channel_interleaved),
                         heif_image_get_height(image, heif_channel_interleaved));
            heif_image_release(image);
        }
        heif_image_handle_release(handle);
    }
    heif_context_free(context);
    return size;
}

// Incompressible, so that its file is as large as its pixels.
QImage noiseImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(3);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<quint32 *>(image.scanLine(y));
        random.fillRange(row, width);
        for (int x = 0; x < width; ++x)
            row[x] |= 0xff000000u;
    }
    return image;
}

TEST(PasteboardEncodersTest, PngAndTiffCarryTheExactPixels)
{
    const QImage opaque = patternImage(37, 23);
    const QImage png = QImage::fromData(platform::PngEncoder::encode(opaque), "PNG");
    EXPECT_FALSE(png.hasAlphaChannel());
    EXPECT_EQ(png.convertToFormat(QImage::Format_RGB32), opaque);
    EXPECT_EQ(
        readSimpleTiff(platform::TiffEncoder::encode(opaque)).convertToFormat(QImage::Format_RGB32),
        opaque);

    // Translucency survives, unpremultiplied.
    QImage translucent = patternImage(9, 5, QImage::Format_ARGB32);
    translucent.setPixel(3, 2, qRgba(200, 100, 50, 128));
    const QImage pngAlpha = QImage::fromData(platform::PngEncoder::encode(translucent), "PNG");
    EXPECT_EQ(pngAlpha.convertToFormat(QImage::Format_ARGB32), translucent);
    EXPECT_EQ(readSimpleTiff(platform::TiffEncoder::encode(translucent))
                  .convertToFormat(QImage::Format_ARGB32),
              translucent);
    EXPECT_TRUE(platform::TiffEncoder::encode(QImage()).isEmpty());
}

class QtImageWriterTest : public ::testing::Test {
protected:
    QString path(const QString &name) const { return m_dir.path() + '/' + name; }
    ImageWriteResult write(const QImage &image, const QString &name, const QString &type)
    {
        return m_writer.write(image, path(name), type);
    }
    void writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray contents(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QStringList files() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir m_dir;
    QtImageWriter m_writer;
};

TEST_F(QtImageWriterTest, EveryFormatDecodesBackAtItsSize)
{
    const QImage image = patternImage(101, 57);
    ASSERT_TRUE(write(image, "a.png", "image/png").ok());
    ASSERT_TRUE(write(image, "a.jpg", "image/jpeg").ok());
    ASSERT_TRUE(write(image, "a.heic", "image/heic").ok());

    QImageReader png(path("a.png"));
    EXPECT_EQ(png.format(), "png");
    EXPECT_EQ(png.read().convertToFormat(QImage::Format_RGB32), image);
    QImageReader jpeg(path("a.jpg"));
    EXPECT_EQ(jpeg.format(), "jpeg");
    EXPECT_EQ(jpeg.read().size(), image.size());
    EXPECT_EQ(heifSize(path("a.heic")), image.size());
    EXPECT_EQ(files(), QStringList({"a.heic", "a.jpg", "a.png"}));
}

TEST_F(QtImageWriterTest, PlacesThatRefuseAFileCannotBeCreated)
{
    const QImage image = patternImage(8, 8);
    // A folder that is gone, a read-only place (even for root), a name too long for the file
    // system.
    for (const QString &destination :
         {path("gone/a.png"), QStringLiteral("/proc/corvanta-test.png"),
          path(QString(300, 'x') + ".png")}) {
        const ImageWriteResult result = m_writer.write(image, destination, "image/png");
        EXPECT_EQ(result.status, ImageWriteResult::Status::cannotCreate)
            << destination.toStdString();
        EXPECT_FALSE(result.reason.isEmpty());
    }
    EXPECT_EQ(write(image, "a.tiff", "image/tiff").status, ImageWriteResult::Status::cannotCreate);
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(QtImageWriterTest, FailedWriteLeavesTheOldFileAndNoTemporaryFile)
{
    writeFile("kept.heic", "old picture");
    // Wider than the HEVC encoder takes.
    const ImageWriteResult tooWide = write(patternImage(20000, 16), "kept.heic", "image/heic");
    EXPECT_EQ(tooWide.status, ImageWriteResult::Status::cannotEncode);
    EXPECT_FALSE(tooWide.reason.isEmpty());
    EXPECT_EQ(write(QImage(), "kept.heic", "image/heic").status,
              ImageWriteResult::Status::cannotEncode);

    // The disk fills up half-way through: the file size limit stands in for it.
    writeFile("kept.png", "old picture");
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    const ImageWriteResult full = write(noiseImage(400, 400), "kept.png", "image/png");
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(full.status, ImageWriteResult::Status::cannotEncode);

    EXPECT_EQ(contents("kept.heic"), "old picture");
    EXPECT_EQ(contents("kept.png"), "old picture");
    EXPECT_EQ(files(), QStringList({"kept.heic", "kept.png"}));
}

} // namespace
