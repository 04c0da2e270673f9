#include "platform/linux/TesseractTextRecognizer.h"

#include <QPainter>
#include <memory>
#include <tesseract/baseapi.h>

namespace platform {
namespace {

// Screens are taken to have 96 dots per inch; Tesseract sizes its expectations by it.
constexpr int screenDpi = 96;
// Up to this many pixels an image is recognised at twice its size (1920 x 1200 and less).
constexpr qint64 upscaleLimit = 1920LL * 1200;
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

// One byte per pixel, transparent parts on white, enlarged by scale.
QImage grayscaleForRecognition(const QImage &image, int scale)
{
    QImage flat = image;
    if (image.hasAlphaChannel()) {
        flat = QImage(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, image);
    }
    QImage gray = flat.convertToFormat(QImage::Format_Grayscale8);
    if (scale != 1) {
        gray = gray.scaled(gray.size() * scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return gray;
}

} // namespace

TesseractTextRecognizer::TesseractTextRecognizer(QString dataPath) : m_dataPath(std::move(dataPath))
{
}

int TesseractTextRecognizer::scaleFactor(QSize size)
{
    return qint64(size.width()) * size.height() <= upscaleLimit ? 2 : 1;
}

TextRecognizer::Result TesseractTextRecognizer::recognize(const QImage &image)
{
    Result result;
    if (image.isNull() || image.width() < minimumSide || image.height() < minimumSide)
        return result;
    tesseract::TessBaseAPI *api = engineFor(m_dataPath, &result.error);
    if (api == nullptr)
        return result;

    const int scale = scaleFactor(image.size());
    const QImage gray = grayscaleForRecognition(image, scale);
    if (gray.isNull()) {
        result.error = QStringLiteral("cannot convert the image");
        return result;
    }
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
