#include "platform/linux/TesseractTextRecognizer.h"

#include "platform/TextExtent.h"

#include <QPainter>
#include <algorithm>
#include <memory>
#include <omp.h>
#include <tesseract/baseapi.h>

namespace platform {
namespace {

// Screens are taken to have 96 dots per inch; Tesseract sizes its expectations by it.
constexpr int screenDpi = 96;
// Up to this many pixels of content an image may be recognised at twice its size (1920 x 1200
// and less).
constexpr qint64 upscaleLimit = 1920LL * 1200;
// Tesseract misreads letters whose capitals are lower than this many pixels (10 point text at
// 96 dpi and smaller); from here up it reads them as well at their own size as enlarged.
constexpr int readableCapHeight = 12;
// Blank space kept around the content, in capital heights, so that Tesseract still sees a
// margin around the text it is left with.
constexpr int contentMarginCaps = 2;
constexpr int minimumContentMargin = 8;
// Tesseract refuses anything narrower or lower than this.
constexpr int minimumSide = 3;

struct Engine {
    QString dataPath;
    std::unique_ptr<tesseract::TessBaseAPI> api;
};

// The calling thread's engine for the data path; null when Tesseract cannot start with it.
tesseract::TessBaseAPI *engineFor(const QString &dataPath, QString *error)
{
    thread_local Engine engine;
    if (engine.api && engine.dataPath == dataPath)
        return engine.api.get();
    engine.api.reset();
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    // Tesseract's diagnostics would otherwise go to the program's standard error.
    api->SetVariable("debug_file", "/dev/null");
    if (api->Init(dataPath.toLocal8Bit().constData(), "eng", tesseract::OEM_LSTM_ONLY) != 0) {
        *error = QStringLiteral("cannot load the English language data from %1").arg(dataPath);
        return nullptr;
    }
    api->SetPageSegMode(tesseract::PSM_AUTO);
    engine.dataPath = dataPath;
    engine.api = std::move(api);
    return engine.api.get();
}

// One byte per pixel, transparent parts on white.
QImage grayscaleForRecognition(const QImage &image)
{
    QImage flat = image;
    if (image.hasAlphaChannel()) {
        flat = QImage(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, image);
    }
    return flat.convertToFormat(QImage::Format_Grayscale8);
}

// The part of the image worth reading: its content with a margin, enlarged when the text is
// too small to read at its own size. Null when the image is blank.
QImage regionForRecognition(const QImage &gray, int *scale)
{
    const TextExtent extent = measureText(gray);
    if (extent.content.isEmpty())
        return {};
    const int margin = std::max(minimumContentMargin, contentMarginCaps * extent.capHeight);
    const QRect region =
        extent.content.adjusted(-margin, -margin, margin, margin).intersected(gray.rect());
    *scale = TesseractTextRecognizer::scaleFactor(region.size(), extent.capHeight);
    QImage part = region == gray.rect() ? gray : gray.copy(region);
    if (*scale != 1)
        part = part.scaled(part.size() * *scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return part;
}

} // namespace

TesseractTextRecognizer::TesseractTextRecognizer(QString dataPath) : m_dataPath(std::move(dataPath))
{
}

int TesseractTextRecognizer::scaleFactor(QSize size, int capHeight)
{
    // An unknown height means a handful of letters at most: enlarging them costs little.
    const bool small = capHeight < readableCapHeight;
    return small && qint64(size.width()) * size.height() <= upscaleLimit ? 2 : 1;
}

TextRecognizer::Result TesseractTextRecognizer::recognize(const QImage &image)
{
    Result result;
    if (image.isNull() || image.width() < minimumSide || image.height() < minimumSide)
        return result;
    // Tesseract's OpenMP teams would otherwise spin against every other busy core; parallel
    // recognitions come from the caller's threads instead. The setting belongs to this thread.
    omp_set_max_active_levels(0);
    tesseract::TessBaseAPI *api = engineFor(m_dataPath, &result.error);
    if (api == nullptr)
        return result;

    const QImage flat = grayscaleForRecognition(image);
    if (flat.isNull()) {
        result.error = QStringLiteral("cannot convert the image");
        return result;
    }
    int scale = 1;
    const QImage gray = regionForRecognition(flat, &scale);
    if (gray.isNull())
        return result;
    api->SetImage(gray.constBits(), gray.width(), gray.height(), 1, int(gray.bytesPerLine()));
    api->SetSourceResolution(screenDpi * scale);
    if (api->Recognize(nullptr) != 0) {
        api->Clear();
        result.error = QStringLiteral("Tesseract could not recognise the image");
        return result;
    }
    std::unique_ptr<tesseract::ResultIterator> line(api->GetIterator());
    if (line && !line->Empty(tesseract::RIL_TEXTLINE)) {
        do {
            std::unique_ptr<char[]> text(line->GetUTF8Text(tesseract::RIL_TEXTLINE));
            QString reading = text ? QString::fromUtf8(text.get()) : QString();
            // Tesseract ends every line with a line feed of its own.
            while (reading.endsWith(QLatin1Char('\n')))
                reading.chop(1);
            if (reading.isEmpty())
                result.regions.append(std::nullopt);
            else
                result.regions.append(reading);
        } while (line->Next(tesseract::RIL_TEXTLINE));
    }
    line.reset();
    // The engine stays for the thread's next recognition; the image does not.
    api->Clear();
    return result;
}

} // namespace platform
