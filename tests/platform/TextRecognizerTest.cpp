#include "platform/linux/TesseractTextRecognizer.h"

#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

using platform::TesseractTextRecognizer;

namespace {

// Recognition belongs on worker threads, each with its engine.
TesseractTextRecognizer::Result recognizeOnWorker(TesseractTextRecognizer &recognizer,
                                                  const QImage &image)
{
    TesseractTextRecognizer::Result result;
    std::thread worker([&] { result = recognizer.recognize(image); });
    worker.join();
    return result;
}

TEST(TesseractTextRecognizerTest, EmptyTinyAndBlankImagesGiveNoRegionsAndMissingDataAnError)
{
    TesseractTextRecognizer recognizer;
    QImage onePixel(1, 1, QImage::Format_RGB32);
    onePixel.fill(Qt::black);
    QImage blank(240, 80, QImage::Format_ARGB32);
    blank.fill(Qt::transparent);
    for (const QImage &image : {QImage(), onePixel, blank}) {
        const TesseractTextRecognizer::Result result = recognizeOnWorker(recognizer, image);
        EXPECT_TRUE(result.error.isEmpty()) << result.error.toStdString();
        EXPECT_TRUE(result.regions.isEmpty()) << image.width() << "x" << image.height();
    }

    QTemporaryDir empty;
    TesseractTextRecognizer withoutData(empty.path());
    const TesseractTextRecognizer::Result result = recognizeOnWorker(withoutData, blank);
    EXPECT_TRUE(result.error.contains(empty.path())) << result.error.toStdString();
}

} // namespace
