// Poster files whose headers lie: every one reads as a null picture, without reading outside
// the file, writing outside the picture or starting a thread per claimed band.

#include "model/PosterFile.h"
#include "support/CraftedPosterFiles.h"
#include "support/TempDirScope.h"

#include <QDataStream>
#include <QFile>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

using namespace CraftedPosterFiles;

// Rows that differ from each other, so that a band read into the wrong rows shows.
QImage stripes(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int y = 0; y < height; ++y)
        painter.fillRect(0, y, width, 1, QColor::fromHsv((y * 37) % 360, 200, 40 + y % 200));
    return image;
}

// The PNGs of the picture's bands of the given rows, one after another, and the size of each.
struct Bands {
    QByteArray pngs;
    QList<quint64> sizes;
};

Bands bandsOf(const QImage &picture, const QList<int> &rows)
{
    Bands bands;
    int top = 0;
    for (const int count : rows) {
        const QByteArray encoded = png(picture.copy(0, top, picture.width(), count));
        bands.pngs += encoded;
        bands.sizes.append(quint64(encoded.size()));
        top += count;
    }
    return bands;
}

class PosterFileTest : public ::testing::Test {
protected:
    QImage readBytes(const QByteArray &bytes)
    {
        QFile file(m_path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(bytes) != bytes.size())
            return QImage(1, 1, QImage::Format_RGB32);
        file.close();
        return PosterFile::read(m_path);
    }

    TempDirScope m_tmp;
    const QString m_path = m_tmp.path() + QStringLiteral("/poster");
};

TEST_F(PosterFileTest, BandSizesThatWrapOrOverrunTheFileGiveANullPicture)
{
    const QByteArray wrapping = wrappingSizes();
    ASSERT_EQ(wrapping.size(), 148);
    EXPECT_TRUE(readBytes(wrapping).isNull()) << "sizes that wrap to what follows the header";

    const QImage picture = stripes(24, 12);
    const Bands bands = bandsOf(picture, {4, 4, 4});
    const quint64 a = bands.sizes[0], b = bands.sizes[1], c = bands.sizes[2];
    ASSERT_EQ(readBytes(header(24, 12, {{4, a}, {4, b}, {4, c}}) + bands.pngs), picture);
    struct Case {
        const char *what;
        QList<Band> layout;
    };
    const Case cases[] = {
        {"a size one byte past the end", {{4, a}, {4, b}, {4, c + 1}}},
        {"a size past 2^31", {{4, a}, {4, quint64(1) << 31}, {4, c}}},
        {"sizes that wrap to the file's", {{4, a}, {4, ~quint64(0) - c + 1}, {4, b + c}}},
        {"an empty band", {{4, a + b + c}, {4, 0}, {4, 0}}},
        {"a band of no rows", {{8, a}, {0, b}, {4, c}}},
    };
    for (const Case &crafted : cases)
        EXPECT_TRUE(readBytes(header(24, 12, crafted.layout) + bands.pngs).isNull())
            << crafted.what;
}

TEST_F(PosterFileTest, BandsThatDoNotFillThePictureExactlyGiveANullPicture)
{
    const QImage picture = stripes(40, 30);
    ASSERT_EQ(readBytes(banded(picture, {10, 10, 10})), picture);
    // True PNGs of the rows they claim; only the picture's height disagrees with their sum.
    EXPECT_TRUE(readBytes(banded(picture, {10, 10, 10}, 40)).isNull())
        << "the last ten rows of the picture would be left unwritten";
    EXPECT_TRUE(readBytes(banded(picture, {10, 10, 10}, 20)).isNull())
        << "the last band would be written past the picture";

    QByteArray widened = banded(stripes(39, 30), {10, 10, 10});
    {
        QDataStream out(&widened, QIODevice::ReadWrite);
        out.device()->seek(8);
        out << quint32(40);
    }
    EXPECT_TRUE(readBytes(widened).isNull()) << "bands narrower than the picture";

    const Bands tens = bandsOf(picture, {10, 10, 10});
    EXPECT_TRUE(
        readBytes(header(40, 30, {{12, tens.sizes[0]}, {8, tens.sizes[1]}, {10, tens.sizes[2]}}) +
                  tens.pngs)
            .isNull())
        << "bands whose PNGs have other rows than they claim";
}

TEST_F(PosterFileTest, AHeaderMayNotAskForABandPerRowOrAPictureBeyondAnyScreen)
{
    // Each band a true one-row PNG: read as it claims, it would be a picture, after 65,536
    // threads had been started for it.
    EXPECT_TRUE(readBytes(asManyBandsAsRows(true)).isNull());
    EXPECT_TRUE(readBytes(asManyBandsAsRows(false)).isNull());

    // Far more bands than are ever written still read back.
    const QImage picture = stripes(8, 128);
    EXPECT_EQ(readBytes(banded(picture, QList<int>(64, 2))), picture);

    // 65,536 × 65,536 pixels (16 GiB) claimed by a file of a few kilobytes.
    const QByteArray row = png(stripes(1 << 16, 1));
    EXPECT_TRUE(
        readBytes(header(1 << 16, 1 << 16, {{1 << 16, quint64(row.size())}}) + row).isNull());
}

} // namespace
