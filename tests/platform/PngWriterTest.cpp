#include "platform/PngWriter.h"
#include "platform/PngEncoder.h"
#include "platform/PngReader.h"

#include <QDir>
#include <QPainter>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <thread>
#include <vector>
#include <zlib.h>

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

// Checks what a decoder may take on trust: every chunk's CRC, IDAT chunks of at most 1 MiB, the
// zlib header, the Adler-32 at the end and the amount of filtered data. Returns the number of
// IDAT chunks; the filtered rows go to *rows when given.
int expectWellFormed(const QByteArray &png, const QImage &image, int channels,
                     QByteArray *rows = nullptr)
{
    EXPECT_TRUE(png.startsWith("\x89PNG\r\n\x1a\n"));
    QByteArray deflated;
    int idatCount = 0;
    QByteArray type;
    qsizetype at = 8;
    while (type != "IEND" && at + 12 <= png.size()) {
        const qsizetype length = qFromBigEndian<quint32>(png.constData() + at);
        if (at + 12 + length > png.size())
            break;
        type = png.mid(at + 4, 4);
        const auto *typeAndData = reinterpret_cast<const Bytef *>(png.constData() + at + 4);
        EXPECT_EQ(crc32(0, typeAndData, uInt(4 + length)),
                  qFromBigEndian<quint32>(png.constData() + at + 8 + length))
            << type.constData();
        if (type == "IDAT") {
            deflated += png.mid(at + 8, length);
            EXPECT_LE(length, 1024 * 1024);
            ++idatCount;
        }
        at += 12 + length;
    }
    EXPECT_EQ(type, "IEND");
    EXPECT_EQ(at, png.size());

    const uLong expected = uLong(image.height()) * (1 + uLong(image.width()) * channels);
    QByteArray filtered(qsizetype(expected) + 1, '\0');
    uLongf length = uLongf(filtered.size());
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef *>(filtered.data()), &length,
                         reinterpret_cast<const Bytef *>(deflated.constData()),
                         uLong(deflated.size())),
              Z_OK);
    EXPECT_EQ(length, expected);
    if (rows != nullptr)
        *rows = filtered.left(qsizetype(length));
    return idatCount;
}

// Makes writes past `bytes` fail with EFBIG for its lifetime, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : m_handler(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &m_previous);
        rlimit limited = m_previous;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_previous{};
    void (*m_handler)(int);
};

// Smooth colour fields with grain, as in photos and wallpapers.
QImage photo(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator grain(7);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int jitter = int(grain.bounded(7u)) - 3;
            row[x] = qRgb(qBound(0, x * 255 / width + jitter, 255),
                          qBound(0, y * 255 / height + jitter, 255), (x + y) % 256);
        }
    }
    return image;
}

// Antialiased text in several colours on white, with a vertical gradient bar and flat panels:
// rows that repeat the one above, rows of one colour and glyph edges.
QImage document(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QLinearGradient bar(0, 0, 0, 40);
    bar.setColorAt(0, QColor(200, 210, 230));
    bar.setColorAt(1, QColor(120, 140, 190));
    painter.fillRect(0, 0, width, 40, bar);
    painter.fillRect(0, 40, width / 5, height, QColor(236, 236, 240));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    painter.setFont(font);
    const QColor inks[] = {QColor(20, 20, 20), QColor(20, 80, 180), QColor(170, 40, 40)};
    for (int line = 0, y = 60; y < height; ++line, y += 17) {
        painter.setPen(inks[line % 3]);
        painter.drawText(
            width / 5 + 8, y,
            QStringLiteral("The quick brown fox %1 jumps over the lazy dog").arg(line));
    }
    return image;
}

// The same image with translucent and fully transparent areas.
QImage withAlpha(const QImage &image)
{
    QImage translucent = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < translucent.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(translucent.scanLine(y));
        for (int x = 0; x < translucent.width(); ++x) {
            const int alpha = x < translucent.width() / 3 ? 0 : (x * 7 + y) % 256;
            row[x] = (row[x] & 0x00ffffffu) | quint32(alpha) << 24;
        }
    }
    return translucent;
}

} // namespace

TEST(PngWriter, RoundTripsEveryLayoutAndSizePixelForPixel)
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
        {QImage::Format_RGBA8888_Premultiplied, true, QImage::Format_ARGB32},
        {QImage::Format_RGBX8888, false, QImage::Format_RGB32},
        {QImage::Format_RGB888, false, QImage::Format_RGB32},
        {QImage::Format_Grayscale8, false, QImage::Format_RGB32},
    };
    const QSize sizes[] = {{37, 23}, {1, 1}, {1, 301}, {301, 1}, {3, 2}};
    for (const QSize size : sizes) {
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message()
                         << c.format << " " << size.width() << "x" << size.height());
            const QImage image = noise(size.width(), size.height(), c.format, c.translucent);
            QString error;
            ASSERT_TRUE(platform::PngWriter::write(image, path, &error)) << error.toStdString();
            const QImage decoded(path, "PNG");
            ASSERT_EQ(decoded.format(), c.readBack);
            EXPECT_EQ(decoded, image.convertToFormat(c.readBack));
        }
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"image.png"});
}

TEST(PngWriter, StoresTheStraightColoursOfPremultipliedPixels)
{
    // Straight colours that survive premultiplication exactly; a file that kept premultiplied
    // values, or unpremultiplied them wrongly, comes back darker.
    QImage straight = noise(64, 16, QImage::Format_ARGB32, true);
    const QImage roundTrip = straight.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                 .convertToFormat(QImage::Format_ARGB32);
    int translucent = 0;
    for (int y = 0; y < straight.height(); ++y) {
        for (int x = 0; x < straight.width(); ++x) {
            if (roundTrip.pixel(x, y) != straight.pixel(x, y))
                straight.setPixel(x, y, qRgba(x * 4, y * 16, 255, 255));
            else if (qAlpha(straight.pixel(x, y)) < 255)
                ++translucent;
        }
    }
    ASSERT_GT(translucent, 100);
    const QByteArray png =
        platform::PngEncoder::encode(straight.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    const QImage decoded = QImage::fromData(png, "PNG");
    ASSERT_EQ(decoded.format(), QImage::Format_ARGB32);
    EXPECT_EQ(decoded, straight);
}

TEST(PngWriter, CutsLargeImagesIntoOneValidStream)
{
    // Many strips, odd row length, incompressible rows.
    const QImage tall = noise(301, 2000, QImage::Format_RGB32, false);
    const QByteArray tallPng = platform::PngEncoder::encode(tall);
    EXPECT_GE(expectWellFormed(tallPng, tall, 3), 2);
    EXPECT_EQ(QImage::fromData(tallPng, "PNG"), tall);

    // Rows longer than a chunk may hold.
    const QImage wide = noise(300000, 2, QImage::Format_ARGB32, true);
    const QByteArray widePng = platform::PngEncoder::encode(wide);
    EXPECT_GE(expectWellFormed(widePng, wide, 4), 3);
    EXPECT_EQ(QImage::fromData(widePng, "PNG"), wide);

    // Flat colour compresses to almost nothing, and still decodes.
    QImage flat(1920, 1080, QImage::Format_RGB32);
    flat.fill(qRgb(40, 120, 200));
    const QByteArray flatPng = platform::PngEncoder::encode(flat);
    expectWellFormed(flatPng, flat, 3);
    EXPECT_LT(flatPng.size(), 64 * 1024);
    EXPECT_EQ(QImage::fromData(flatPng, "PNG"), flat);
}

// Rows that open a strip are filtered against the row above them, which lies in the strip
// before: a black row under white ones decodes black wherever the strips are cut.
TEST(PngWriter, FiltersTheFirstRowOfEveryStripAgainstTheRowAboveIt)
{
    QImage image(1000, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 0; y < image.height(); y += 8)
        std::fill_n(reinterpret_cast<QRgb *>(image.scanLine(y)), image.width(), qRgb(0, 0, 0));
    const QImage decoded = QImage::fromData(platform::PngEncoder::encode(image), "PNG")
                               .convertToFormat(image.format());
    ASSERT_EQ(decoded.size(), image.size());
    QList<int> wrongRows;
    for (int y = 0; y < image.height(); ++y) {
        if (std::memcmp(decoded.constScanLine(y), image.constScanLine(y), image.width() * 4) != 0)
            wrongRows << y;
    }
    EXPECT_TRUE(wrongRows.isEmpty()) << ::testing::PrintToString(wrongRows);
}

TEST(PngWriter, KeepsScreenContentExactWhicheverFilterEachRowTakes)
{
    // Several strips each, so that rows at the top of a strip are filtered against the last row
    // of the strip before; odd widths leave pixels that straddle word boundaries.
    QImage flat(1001, 700, QImage::Format_RGB32);
    flat.fill(qRgb(40, 120, 200));
    QPainter(&flat).fillRect(300, 200, 333, 111, QColor(250, 250, 250));
    const QImage opaque[] = {photo(1001, 700), document(1203, 900), flat, document(3, 5),
                             photo(1, 40)};
    QSet<char> filtersSeen;
    for (const QImage &source : opaque) {
        for (const QImage &image : {source, withAlpha(source)}) {
            SCOPED_TRACE(testing::Message() << image.width() << "x" << image.height() << " "
                                            << image.hasAlphaChannel());
            const int channels = image.hasAlphaChannel() ? 4 : 3;
            const QByteArray png = platform::PngEncoder::encode(image);
            QByteArray rows;
            expectWellFormed(png, image, channels, &rows);
            const qsizetype rowBytes = 1 + qsizetype(image.width()) * channels;
            for (qsizetype at = 0; at < rows.size(); at += rowBytes)
                filtersSeen.insert(rows[at]);
            const QImage decoded = QImage::fromData(png, "PNG");
            ASSERT_EQ(decoded.format(), image.format());
            EXPECT_EQ(decoded, image);
        }
    }
    // None, Sub, Up and Paeth: each way of undoing a filter was checked above.
    EXPECT_EQ(filtersSeen, (QSet<char>{0, 1, 2, 4}));
}

TEST(PngWriter, FinishesEveryEncodingWhenMoreRunThanThereAreThreads)
{
    // More encodings at once than the encoder has threads: those that find no helper free
    // compress on their own thread, and none waits for another.
    const int encodings = 3 * std::max(2, QThread::idealThreadCount());
    QList<QImage> images;
    for (int i = 0; i < encodings; ++i)
        images << (i % 2 == 0 ? photo(640 + i, 400) : document(700, 300 + i));
    QList<QByteArray> pngs(encodings);
    std::vector<std::thread> threads;
    for (int i = 0; i < encodings; ++i)
        threads.emplace_back([&, i] { pngs[i] = platform::PngEncoder::encode(images[i]); });
    for (std::thread &thread : threads)
        thread.join();
    for (int i = 0; i < encodings; ++i)
        EXPECT_EQ(QImage::fromData(pngs[i], "PNG"), images[i]) << i;
}

TEST(PngWriter, StreamsTheFileInOrderAndStopsWhenTheSinkRefuses)
{
    const QImage image = photo(1500, 1200);
    const QByteArray whole = platform::PngEncoder::encode(image);
    QByteArray streamed;
    int pieces = 0;
    QString error;
    ASSERT_TRUE(platform::PngEncoder::encode(
        image,
        [&](const char *data, qsizetype size) {
            streamed.append(data, size);
            ++pieces;
            return true;
        },
        &error));
    EXPECT_EQ(streamed, whole);
    // Handed out strip by strip rather than in one piece at the end.
    EXPECT_GT(pieces, 8);

    // A sink that gives up halfway ends the encoding there; the encoder's threads are free again
    // for the next image.
    qsizetype taken = 0;
    int callsAfterRefusal = 0;
    bool refused = false;
    error.clear();
    EXPECT_FALSE(platform::PngEncoder::encode(
        image,
        [&](const char *, qsizetype size) {
            if (refused)
                ++callsAfterRefusal;
            taken += size;
            refused = taken > whole.size() / 2;
            return !refused;
        },
        &error));
    EXPECT_EQ(callsAfterRefusal, 0);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(platform::PngEncoder::encode(image), whole);
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

    // The disk filling up halfway through the file.
    bool written = true;
    {
        const FileSizeLimit limit(4096);
        error.clear();
        written = platform::PngWriter::write(noise(400, 400, QImage::Format_RGB32, false),
                                             dir.filePath("full.png"), &error);
    }
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.isEmpty());

    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"taken"});

    EXPECT_FALSE(platform::PngWriter::write(noise(8, 8, QImage::Format_RGB32, false),
                                            dir.filePath("missing/image.png"), &error));
    EXPECT_FALSE(platform::PngWriter::write(QImage(), dir.filePath("empty.png"), &error));
    EXPECT_FALSE(QFile::exists(dir.filePath("empty.png")));
    EXPECT_TRUE(platform::PngEncoder::encode(QImage(), &error).isEmpty());
}

// A whole PNG is the signature, the 13-byte header first, chunks whose checksums hold and an
// empty end chunk with nothing after it; anything else is damaged, cut or padded.
TEST(PngReader, TakesAsWholeOnlyAHeaderFirstAndAnEmptyEndLast)
{
    const QByteArray png = platform::PngEncoder::encode(noise(64, 48, QImage::Format_RGB32, false));
    const QByteArray end = png.last(12);
    ASSERT_TRUE(end.startsWith(QByteArray("\0\0\0\0IEND", 8)));
    QByteArray carrying("\0\0\0\1IENDx\0\0\0\0", 13); // an end chunk with a byte of data
    qToBigEndian<quint32>(
        quint32(crc32(0, reinterpret_cast<const Bytef *>(carrying.data() + 4), 5)),
        carrying.data() + 9);
    // The header chunk with a 14th byte, its checksum made to hold.
    QByteArray longHeader = png.first(8) + QByteArray("\0\0\0\x0eIHDR", 8) + png.sliced(16, 13) +
                            QByteArray(5, '\0') + png.sliced(33);
    qToBigEndian<quint32>(
        quint32(crc32(0, reinterpret_cast<const Bytef *>(longHeader.data() + 12), 18)),
        longHeader.data() + 30);
    QByteArray flipped = png;
    flipped[png.size() / 2] = char(flipped[png.size() / 2] ^ 0x10);
    const struct {
        const char *name;
        QByteArray bytes;
        bool whole;
    } cases[]{
        {"as encoded", png, true},
        {"a data byte flipped", flipped, false},
        {"a byte appended", png + '\0', false},
        {"the end chunk removed", png.chopped(12), false},
        {"the last byte cut", png.chopped(1), false},
        {"an end chunk carrying data", png.chopped(12) + carrying, false},
        {"the signature and an end chunk", png.first(8) + end, false},
        {"a header of 14 bytes", longHeader, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(platform::PngReader::isWhole(c.bytes), c.whole) << c.name;
}
