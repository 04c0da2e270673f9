#include "platform/PngEncoder.h"
#include "platform/TiffEncoder.h"
#include "platform/qt/QtImageWriter.h"
#include "support/SimpleTiff.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <sys/resource.h>
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

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

// The decoded pixels of a HEIF file, RGBA when it carries alpha; a null image when unreadable.
QImage heifImage(const QString &path)
{
    heif_context *context = heif_context_alloc();
    QImage decoded;
    heif_image_handle *handle = nullptr;
    if (heif_context_read_from_file(context, QFile::encodeName(path).constData(), nullptr).code ==
            heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
        const bool alpha = heif_image_handle_has_alpha_channel(handle);
        heif_image *image = nullptr;
        if (heif_decode_image(handle, &image, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                              nullptr)
                .code == heif_error_Ok) {
            int stride = 0;
            const uint8_t *plane =
                heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
            const QImage view(plane, heif_image_get_width(image, heif_channel_interleaved),
                              heif_image_get_height(image, heif_channel_interleaved), stride,
                              alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
            decoded = view.copy();
            heif_image_release(image);
        }
        heif_image_handle_release(handle);
    }
    heif_context_free(context);
    return decoded;
}

// Flat blocks of strongly different colours, so that a lossy codec keeps each block's colour
// and a swapped pair of channels shows as a block of the wrong colour.
QImage colourBlocks(QImage::Format format)
{
    const QList<QRgb> colours = {qRgba(220, 30, 40, 255),  qRgba(30, 200, 60, 255),
                                 qRgba(40, 50, 210, 255),  qRgba(240, 200, 20, 160),
                                 qRgba(20, 180, 220, 255), qRgba(150, 40, 180, 90)};
    QImage image(6 * 32, 32, format);
    for (qsizetype i = 0; i < colours.size(); ++i) {
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x)
                image.setPixel(int(i) * 32 + x, y, colours[i]);
        }
    }
    return image;
}

// The largest difference of any channel between the two images' block centres.
int largestBlockDifference(const QImage &expected, const QImage &actual)
{
    int largest = 0;
    for (int x = 16; x < expected.width(); x += 32) {
        const QRgb want = expected.pixel(x, 16);
        const QRgb got = actual.pixel(x, 16);
        for (int shift : {0, 8, 16, 24})
            largest = std::max(largest,
                               std::abs(int((want >> shift) & 0xff) - int((got >> shift) & 0xff)));
    }
    return largest;
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
    // Rows enough for several of the TIFF's strips.
    const QImage opaque = patternImage(600, 400);
    const QImage png = QImage::fromData(platform::PngEncoder::encode(opaque), "PNG");
    EXPECT_FALSE(png.hasAlphaChannel());
    EXPECT_EQ(png.convertToFormat(QImage::Format_RGB32), opaque);
    const QByteArray tiff = platform::TiffEncoder::encode(opaque);
    EXPECT_EQ(readSimpleTiff(tiff).convertToFormat(QImage::Format_RGB32), opaque);
    // As another program reads it.
    QProcess convert;
    convert.start(QStringLiteral("convert"), {QStringLiteral("tiff:-"), QStringLiteral("-depth"),
                                              QStringLiteral("8"), QStringLiteral("rgb:-")});
    ASSERT_TRUE(convert.waitForStarted());
    convert.write(tiff);
    convert.closeWriteChannel();
    ASSERT_TRUE(convert.waitForFinished(60000));
    const QByteArray pixels = convert.readAllStandardOutput();
    ASSERT_EQ(pixels.size(), 600 * 400 * 3);
    EXPECT_EQ(QImage(reinterpret_cast<const uchar *>(pixels.constData()), 600, 400, 600 * 3,
                     QImage::Format_RGB888)
                  .convertToFormat(QImage::Format_RGB32),
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
    EXPECT_EQ(heifImage(path("a.heic")).size(), image.size());
    EXPECT_EQ(files(), QStringList({"a.heic", "a.jpg", "a.png"}));
}

TEST_F(QtImageWriterTest, HeicKeepsEveryColourInItsChannel)
{
    // Opaque and translucent sources take different paths into the encoder.
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32}) {
        const QImage image = colourBlocks(format);
        ASSERT_TRUE(write(image, "blocks.heic", "image/heic").ok());
        const QImage decoded = heifImage(path("blocks.heic"));
        ASSERT_EQ(decoded.size(), image.size());
        EXPECT_EQ(decoded.hasAlphaChannel(), image.hasAlphaChannel());
        // Lossy, but far closer than the 180 levels a red-blue swap would move these colours.
        EXPECT_LE(largestBlockDifference(image, decoded.convertToFormat(image.format())), 12)
            << "format " << int(format);
    }
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
    const ImageWriteResult full = [&] {
#ifdef __SANITIZE_ADDRESS__
        // Qt's PNG writer loses its row pointers when a write fails half-way.
        const __lsan::ScopedDisabler qtLosesItsRows;
#endif
        return write(noiseImage(400, 400), "kept.png", "image/png");
    }();
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(full.status, ImageWriteResult::Status::cannotEncode);

    EXPECT_EQ(contents("kept.heic"), "old picture");
    EXPECT_EQ(contents("kept.png"), "old picture");
    EXPECT_EQ(files(), QStringList({"kept.heic", "kept.png"}));
}

} // namespace
