#include "platform/linux/TesseractTextRecognizer.h"

#include "platform/Background.h"
#include "platform/TextExtent.h"

#include <QPainter>
#include <QThreadStorage>
#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <omp.h>
#include <tesseract/baseapi.h>
#include <thread>
#include <vector>

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
// Tesseract reads one line after another on one core; bands of lines are read side by side.
// Each band's engine costs about 0.1 s of processor time to start and tens of megabytes, and
// below a few lines a band's reading no longer outweighs that.
constexpr int maximumBands = 4;
constexpr int minimumBandLines = 3;

struct Engine {
    QString dataPath;
    std::unique_ptr<tesseract::TessBaseAPI> api;
};

// The calling thread's engine for the data path; null when Tesseract cannot start with it.
// Kept in a QThreadStorage rather than a thread_local: Qt ends it before the thread counts as
// finished, so an engine never outlives the wait for its thread (a pool that ends with the
// program, say) and is never half torn down while the program ends.
tesseract::TessBaseAPI *engineFor(const QString &dataPath, QString *error)
{
    static QThreadStorage<Engine *> engines;
    if (!engines.hasLocalData())
        engines.setLocalData(new Engine);
    Engine &engine = *engines.localData();
    if (engine.api && engine.dataPath == dataPath)
        return engine.api.get();
    engine.api.reset();
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    // Tesseract's diagnostics would otherwise go to the program's standard error. Where they go
    // is one setting of the whole process, which engines starting side by side must not write
    // at once.
    static std::once_flag quiet;
    std::call_once(quiet, [&api] { api->SetVariable("debug_file", "/dev/null"); });
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

// The area with a margin of background around it, so that Tesseract sees its text with room
// around it whatever lies beside the area in the image.
QImage withMargin(const QImage &gray, const QRect &area, int margin, int background)
{
    QImage part(area.size() + QSize(2 * margin, 2 * margin), QImage::Format_Grayscale8);
    for (int y = 0; y < part.height(); ++y)
        std::memset(part.scanLine(y), background, size_t(part.width()));
    for (int y = 0; y < area.height(); ++y)
        std::memcpy(part.scanLine(margin + y) + margin,
                    gray.constScanLine(area.top() + y) + area.left(), size_t(area.width()));
    return part;
}

// An area of the grayscale image to read, with the margin it gets and its enlargement.
struct Reading {
    QImage gray;
    QRect area;
    int margin = 0;
    int background = 255;
    int scale = 1;
    QString dataPath;
    const TesseractTextRecognizer::BandReader *reader = nullptr;
};

// Tesseract's text lines in a prepared band, read on the calling thread.
TextRecognizer::Result readBand(const QImage &part, int scale, const QString &dataPath)
{
    TextRecognizer::Result result;
    // Tesseract's OpenMP teams would otherwise spin against every other busy core; parallel
    // recognitions come from our own threads instead. The setting belongs to this thread.
    omp_set_max_active_levels(0);
    tesseract::TessBaseAPI *api = engineFor(dataPath, &result.error);
    if (api == nullptr)
        return result;
    api->SetImage(part.constBits(), part.width(), part.height(), 1, int(part.bytesPerLine()));
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
            QString words = text ? QString::fromUtf8(text.get()) : QString();
            // Tesseract ends every line with a line feed of its own.
            while (words.endsWith(QLatin1Char('\n')))
                words.chop(1);
            if (words.isEmpty())
                result.regions.append(std::nullopt);
            else
                result.regions.append(words);
        } while (line->Next(tesseract::RIL_TEXTLINE));
    }
    line.reset();
    // The engine stays for the thread's next recognition; the image does not.
    api->Clear();
    return result;
}

// The text lines in one area of the image, read on the calling thread.
TextRecognizer::Result readArea(const Reading &reading)
{
    QImage part = withMargin(reading.gray, reading.area, reading.margin, reading.background);
    if (reading.scale != 1)
        part = part.scaled(part.size() * reading.scale, Qt::IgnoreAspectRatio,
                           Qt::SmoothTransformation);
    if (reading.reader != nullptr && *reading.reader)
        return (*reading.reader)(part, reading.scale);
    return readBand(part, reading.scale, reading.dataPath);
}

int bandLimit()
{
    return std::clamp(int(std::thread::hardware_concurrency()), 1, maximumBands);
}

} // namespace

TesseractTextRecognizer::TesseractTextRecognizer(QString dataPath, BandReader bandReader)
    : m_dataPath(std::move(dataPath)), m_bandReader(std::move(bandReader))
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
    const QImage gray = grayscaleForRecognition(image);
    if (gray.isNull()) {
        result.error = QStringLiteral("cannot convert the image");
        return result;
    }
    const TextExtent extent = measureText(gray);
    if (extent.content.isEmpty()) {
        // Nothing to read, but an engine that cannot start is worth knowing about.
        engineFor(m_dataPath, &result.error);
        return result;
    }
    const int margin = std::max(minimumContentMargin, contentMarginCaps * extent.capHeight);
    const QSize region =
        extent.content.adjusted(-margin, -margin, margin, margin).intersected(gray.rect()).size();
    const Reading whole{.gray = gray,
                        .area = extent.content,
                        .margin = margin,
                        .background = extent.background,
                        .scale = scaleFactor(region, extent.capHeight),
                        .dataPath = m_dataPath,
                        .reader = &m_bandReader};
    const QList<QRect> bands = textBands(gray, extent, bandLimit(), minimumBandLines);

    // Each thread reads with an engine of its own; the calling thread reads bands as well.
    std::vector<Result> parts(size_t(bands.size()));
    runInBands(int(bands.size()), [&](int band) {
        try {
            Reading reading = whole;
            reading.area = bands[band];
            parts[size_t(band)] = readArea(reading);
        } catch (const std::exception &error) {
            parts[size_t(band)].error = QString::fromUtf8(error.what());
        }
    });

    for (const Result &part : parts) {
        if (!part.error.isEmpty()) {
            result.error = part.error;
            result.regions.clear();
            return result;
        }
        result.regions.append(part.regions);
    }
    return result;
}

} // namespace platform
