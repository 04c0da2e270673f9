// libFuzzer target of the poster file reader: any bytes read as a poster file give a null
// picture or one no larger than a header may claim, touching nothing outside the file and the
// picture. Built only by a clang build, with AddressSanitizer and UndefinedBehaviorSanitizer;
// scripts/fuzz builds and runs it. The first corpus folder named on the command line is seeded
// with the crafted files of the reader's tests (sizes that wrap around 2^64, and a band per row)
// and a whole file.

#include "model/PosterFile.h"
#include "support/CraftedPosterFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

std::unique_ptr<QTemporaryDir> folder;
QString inputPath;

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "Cannot write %s\n", qPrintable(path));
        std::abort();
    }
}

void seed(const QString &corpus)
{
    if (!QDir().mkpath(corpus))
        return;
    const QDir dir(corpus);
    writeFile(dir.filePath(QStringLiteral("seed-wrapping-sizes")),
              CraftedPosterFiles::wrappingSizes());
    writeFile(dir.filePath(QStringLiteral("seed-as-many-bands-as-rows")),
              CraftedPosterFiles::asManyBandsAsRows(false));
    // And a whole one, so that mutations start from bands that decode.
    QImage picture(24, 12, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    for (int y = 0; y < picture.height(); ++y)
        picture.setPixel(y, y, qRgb(y * 20, 0, 0));
    writeFile(dir.filePath(QStringLiteral("seed-whole")),
              CraftedPosterFiles::banded(picture, {4, 4, 4}));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    for (int i = 1; i < *argc; ++i) {
        if ((*argv)[i][0] != '-') {
            seed(QString::fromLocal8Bit((*argv)[i]));
            break;
        }
    }
    folder = std::make_unique<QTemporaryDir>();
    if (!folder->isValid())
        std::abort();
    inputPath = folder->filePath(QStringLiteral("poster"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    writeFile(inputPath, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    const QImage picture = PosterFile::read(inputPath);
    // Far above any screen, as the reader's own limits have it.
    if (!picture.isNull() && (picture.width() > (1 << 16) || picture.height() > (1 << 16) ||
                              qint64(picture.width()) * picture.height() > (qint64(1) << 28)))
        std::abort();
    return 0;
}
