#include "platform/linux/TesseractTextRecognizer.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <pthread.h>
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

QStringList readings(const TesseractTextRecognizer::Result &result)
{
    QStringList lines;
    for (const std::optional<QString> &region : result.regions)
        lines << region.value_or(QStringLiteral("<none>"));
    return lines;
}

// Threads of this process with the name; a new thread takes the name of the one that made it.
int threadsNamed(const QByteArray &name)
{
    int count = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name)
            ++count;
    }
    return count;
}

// The lines as one text, which a failure shows legibly.
std::string joined(const QStringList &lines)
{
    return lines.join(QLatin1Char('\n')).toStdString();
}

struct Placed {
    QString text;
    QPoint origin;
};

// Lines of DejaVu Sans at a point size, as a screen of that many dots per inch shows them.
QImage screenText(QSize size, double points, int dpi, const QList<Placed> &lines,
                  QColor ink = Qt::black, QColor paper = Qt::white)
{
    QImage image(size,
                 paper.alpha() < 255 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    image.fill(paper);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(qRound(points * dpi / 72.0));
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(ink);
    for (const Placed &line : lines)
        painter.drawText(line.origin + QPoint(0, QFontMetrics(font).ascent()), line.text);
    return image;
}

const QStringList sentences = {
    "Please send the signed contract to legal by Friday.",
    "Meeting moved to Thursday 3:30 PM in room B-17.",
    "Total: 1,024 items shipped, 37 returned, 5 pending.",
};

QList<Placed> column(const QStringList &texts, QPoint origin, int lineSpacing)
{
    QList<Placed> lines;
    for (int index = 0; index < texts.size(); ++index)
        lines.append({texts[index], origin + QPoint(0, index * lineSpacing)});
    return lines;
}

QList<Placed> stacked(const QStringList &texts, int lineSpacing)
{
    return column(texts, {40, 30}, lineSpacing);
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
    const TesseractTextRecognizer::Result result =
        recognizeOnWorker(withoutData, screenText({300, 60}, 12, 96, stacked({"Hello"}, 0)));
    EXPECT_TRUE(result.error.contains(empty.path())) << result.error.toStdString();
}

TEST(TesseractTextRecognizerTest, ReadsSmallAndLargeScreenTextLineByLine)
{
    TesseractTextRecognizer recognizer;
    // Small text is read enlarged; text far apart in a wide image is read in full.
    EXPECT_EQ(readings(recognizeOnWorker(recognizer,
                                         screenText({1200, 300}, 10, 96, stacked(sentences, 17)))),
              sentences);
    const QList<Placed> apart = {{sentences[0], {10, 8}}, {sentences[1], {760, 600}}};
    EXPECT_EQ(readings(recognizeOnWorker(recognizer, screenText({1400, 640}, 10, 96, apart))),
              QStringList({sentences[0], sentences[1]}));
    // Large text, light on dark, and high-density screen text are read at their own size.
    EXPECT_EQ(readings(recognizeOnWorker(recognizer,
                                         screenText({1600, 300}, 24, 96, stacked(sentences, 44),
                                                    Qt::white, QColor(40, 44, 52)))),
              sentences);
    EXPECT_EQ(readings(recognizeOnWorker(recognizer,
                                         screenText({2000, 400}, 12, 192, stacked(sentences, 40)))),
              sentences);
}

const QStringList manyLines = {
    "Alpha sends the signed contract to legal by Friday.",
    "Bravo moved the meeting to Thursday 3:30 PM.",
    "Charlie shipped 1,024 items and 37 came back.",
    "Delta reports revenue rose 12.5% this quarter.",
    "Echo fixes crashes when opening large files.",
    "Foxtrot departs from gate 23 at 06:45.",
    "Golf lists the tax at 19% on every invoice.",
    "Hotel has two rooms free for the weekend.",
    "India measured the frame before cutting it.",
    "Juliet keeps the keys in the top drawer.",
    "Kilo downloads 3.2 MB of the 48.9 MB update.",
    "Lima checks the temperature every morning.",
    "Mike commits the fix for the pagination helper.",
    "November brings the first snow to the north.",
};

// A window taken with its shadow on a compositing desktop: dark text on a see-through body, a
// soft shadow around it and a clear margin beyond. The clear parts are read as a light desktop
// shows them.
TEST(TesseractTextRecognizerTest, DarkTextOnAWindowThatLetsTheDesktopThroughIsRead)
{
    const QRect body(40, 40, 1220, 120);
    QImage capture =
        screenText({1300, 200}, 12, 96, column(sentences, body.topLeft() + QPoint(20, 20), 20),
                   Qt::black, Qt::transparent);
    {
        QPainter painter(&capture);
        painter.setCompositionMode(QPainter::CompositionMode_DestinationOver);
        for (int spread = 1; spread <= 24; ++spread) {
            painter.setPen(QColor(0, 0, 0, 48 - 2 * spread));
            painter.drawRect(body.adjusted(-spread, -spread, spread, spread));
        }
    }
    ASSERT_EQ(capture.pixelColor(5, 5).alpha(), 0);
    TesseractTextRecognizer recognizer;
    EXPECT_EQ(joined(readings(recognizeOnWorker(recognizer, capture))), joined(sentences));
}

TEST(TesseractTextRecognizerTest, PagesOfManyLinesKeepTheirReadingOrder)
{
    TesseractTextRecognizer recognizer;
    const auto text = [&](double points, const QList<Placed> &lines) {
        return joined(
            readings(recognizeOnWorker(recognizer, screenText({1920, 1080}, points, 96, lines))));
    };
    // Read in bands side by side, the lines still come top to bottom.
    EXPECT_EQ(text(10, column(manyLines, {40, 40}, 17)), joined(manyLines));
    EXPECT_EQ(text(16, column(manyLines, {40, 40}, 26)), joined(manyLines));

    // Columns are read one after the other.
    const QStringList left = manyLines.mid(0, 7), right = manyLines.mid(7, 7);
    EXPECT_EQ(text(10, column(left, {40, 60}, 17) + column(right, {960, 60}, 17)),
              joined(left + right));
}

TEST(TesseractTextRecognizerTest, OnlyTextTooSmallToReadIsEnlarged)
{
    EXPECT_EQ(TesseractTextRecognizer::scaleFactor({1920, 1080}, 10), 2);
    EXPECT_EQ(TesseractTextRecognizer::scaleFactor({1920, 1080}, 0), 2);
    EXPECT_EQ(TesseractTextRecognizer::scaleFactor({1920, 1080}, 12), 1);
    EXPECT_EQ(TesseractTextRecognizer::scaleFactor({1920, 1080}, 20), 1);
    EXPECT_EQ(TesseractTextRecognizer::scaleFactor({3840, 2160}, 10), 1);
}

TEST(TesseractTextRecognizerTest, RecognitionStartsNoThreadsOfItsOwn)
{
    TesseractTextRecognizer recognizer;
    const QImage page = screenText({1200, 300}, 12, 96, stacked(sentences, 20));
    int threads = 0;
    TesseractTextRecognizer::Result result;
    // Helper threads the engine starts would live as long as the thread that used them.
    std::thread worker([&] {
        pthread_setname_np(pthread_self(), "ocr-probe");
        result = recognizer.recognize(page);
        threads = threadsNamed("ocr-probe");
    });
    worker.join();
    EXPECT_EQ(readings(result), sentences);
    EXPECT_EQ(threads, 1);
}

// A page read in bands: every band's lines come back in order, and a band that cannot be read
// fails the whole recognition, whichever band it is, with nothing read kept.
TEST(TesseractTextRecognizerTest, ABandThatCannotBeReadFailsTheRecognition)
{
    // Sixteen lines of blocks, each line in a shade of its own that the reader reports.
    constexpr int lineCount = 16;
    QImage page(800, 600, QImage::Format_Grayscale8);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        for (int line = 0; line < lineCount; ++line) {
            for (int x = 30; x < 500; x += 12)
                painter.fillRect(x, 30 + 30 * line, 8, 14, QColor(line * 8, line * 8, line * 8));
        }
    }
    std::atomic<int> bandsRead{0};
    std::atomic<int> failingLine{-1};
    TesseractTextRecognizer recognizer(
        QString::fromLatin1(TesseractTextRecognizer::defaultDataPath),
        [&](const QImage &band, int) {
            ++bandsRead;
            TesseractTextRecognizer::Result result;
            for (int y = 0; y < band.height(); ++y) {
                const uchar *row = band.constScanLine(y);
                const uchar *ink =
                    std::find_if(row, row + band.width(), [](uchar level) { return level < 200; });
                if (ink == row + band.width())
                    continue;
                const QString text = QStringLiteral("line %1").arg(*ink / 8);
                if (*ink / 8 == failingLine)
                    result.error = QStringLiteral("cannot read the band");
                if (result.regions.isEmpty() || result.regions.last() != text)
                    result.regions.append(text);
            }
            return result;
        });

    QStringList all;
    for (int line = 0; line < lineCount; ++line)
        all << QStringLiteral("line %1").arg(line);
    const TesseractTextRecognizer::Result whole = recognizeOnWorker(recognizer, page);
    EXPECT_TRUE(whole.error.isEmpty());
    EXPECT_EQ(readings(whole), all);
    const int bands = bandsRead;
    EXPECT_EQ(bands, std::clamp(int(std::thread::hardware_concurrency()), 1, 4));

    for (const int line : {0, lineCount - 1}) {
        failingLine = line;
        bandsRead = 0;
        const TesseractTextRecognizer::Result failed = recognizeOnWorker(recognizer, page);
        EXPECT_EQ(failed.error, "cannot read the band") << line;
        EXPECT_TRUE(failed.regions.isEmpty()) << line;
        EXPECT_EQ(bandsRead, bands) << "every band is waited for";
    }
}

} // namespace
