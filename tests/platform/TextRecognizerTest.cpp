#include "platform/linux/TesseractTextRecognizer.h"

#include <QImage>
#include <QTemporaryDir>
#include <thread>
#include <gtest/gtest.h>

using platform::TesseractTextRecognizer;

namespace {

// Recognition belongs on worker threads; the engine is per thread.
TesseractTextRecognizer::Result recognizeOnWorker(TesseractTextRecognizer &recognizer,
                                                  const QImage &image)
{
    TesseractTextRecognizer::Result result;
    std::thread worker([&] { result = recognizer.recognize(image); });
    worker.join();
    return result;
}

TEST(TesseractTextRecognizerTest, EmptyTinyAndBlankImagesGiveNoRegions)
{
    TesseractTextRecognizer recognizer;
    QImage onePixel(1, 1, QImage::Format_RGB32);
    onePixel.fill(Qt::black);
    QImage blank(240, 80, QImage::Format_ARGB32);
    blank.fill(Qt::transparent);
    for (const QImage &image : {QImage(), onePixel, QImage(2, 500, QImage::Format_Grayscale8), blank}) {
        const TesseractTextRecognizer::Result result = recognizeOnWorker(recognizer, image);
        EXPECT_TRUE(result.error.isEmpty()) << result.error.toStdString();
        EXPECT_TRUE(result.regions.isEmpty()) << image.width() << "x" << image.height();
    }
}

TEST(TesseractTextRecognizerTest, MissingLanguageDataIsAnError)
{
    QTemporaryDir empty;
    TesseractTextRecognizer recognizer(empty.path());
    QImage image(64, 32, QImage::Format_RGB32);
    image.fill(Qt::white);
    const TesseractTextRecognizer::Result result = recognizeOnWorker(recognizer, image);
    EXPECT_TRUE(result.error.contains(empty.path())) << result.error.toStdString();
    EXPECT_TRUE(result.regions.isEmpty());
}

} // namespace
