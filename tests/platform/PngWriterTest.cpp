#include "platform/PngWriter.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QImage noise(int width, int height, QImage::Format format, bool translucent)
{
    QImage image(width, height, QImage::Format_ARGB32);
    QRandomGenerator random(42);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const quint32 value = random.generate();
            row[x] = translucent ? value : (value | 0xff000000u);
        }
    }
    return image.convertToFormat(format);
}

} // namespace

TEST(PngWriter, RoundTripsEveryLayoutPixelForPixel)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("image.png");
    struct Case {
        QImage::Format format;
        bool translucent;
        QImage::Format readBack;
    };
    const Case cases[] = {
        {QImage::Format_RGB32, false, QImage::Format_RGB32},
        {QImage::Format_ARGB32, true, QImage::Format_ARGB32},
        {QImage::Format_ARGB32_Premultiplied, true, QImage::Format_ARGB32},
        // Fully opaque despite an alpha channel: written without one.
        {QImage::Format_ARGB32_Premultiplied, false, QImage::Format_RGB32},
        {QImage::Format_RGBA8888, true, QImage::Format_ARGB32},
        {QImage::Format_RGBX8888, false, QImage::Format_RGB32},
        {QImage::Format_RGB888, false, QImage::Format_RGB32},
        {QImage::Format_Grayscale8, false, QImage::Format_RGB32},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.format);
        const QImage image = noise(37, 23, c.format, c.translucent);
        QString error;
        ASSERT_TRUE(platform::PngWriter::write(image, path, &error)) << error.toStdString();
        const QImage decoded(path, "PNG");
        ASSERT_EQ(decoded.format(), c.readBack);
        EXPECT_EQ(decoded, image.convertToFormat(c.readBack));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"image.png"});
}

TEST(PngWriter, LeavesNoFileBehindWhenItFails)
{
    QTemporaryDir dir;
    // A folder in the way makes the final rename fail after the whole
    // file has been encoded.
    ASSERT_TRUE(QDir(dir.path()).mkpath("taken/inside"));
    QString error;
    EXPECT_FALSE(platform::PngWriter::write(noise(8, 8, QImage::Format_RGB32, false),
                                            dir.filePath("taken"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"taken"});

    EXPECT_FALSE(platform::PngWriter::write(noise(8, 8, QImage::Format_RGB32, false),
                                            dir.filePath("missing/image.png"), &error));
    EXPECT_FALSE(platform::PngWriter::write(QImage(), dir.filePath("empty.png"), &error));
    EXPECT_FALSE(QFile::exists(dir.filePath("empty.png")));
}
