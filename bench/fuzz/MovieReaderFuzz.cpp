// Random and mutated movie files for the movie reader, read the way the player reads them:
// opened with sound, every picture fitted into a small box and its sound read, a move to the
// middle, and on to the end. Built with AddressSanitizer and UndefinedBehaviorSanitizer. With
// clang it is a libFuzzer target (scripts/fuzz builds and runs it on the seed corpus in
// bench/fuzz/MovieReaderFuzz-corpus); with another compiler a driver that reads each file or folder
// of files it is given once, the seed corpus by default. A crash or sanitizer report ends the
// run with an error.

#include "platform/ffmpeg/FfmpegMovieReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <cstdio>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using platform::ffmpeg::MovieReader;

// Enough pictures to pass a change in the sound's shape, few enough to keep each run short.
constexpr int mostPictures = 120;
const QSize box(48, 32);

void readMovie(const QString &path)
{
    const std::optional<QString> failure = platform::ffmpeg::attempt([&] {
        MovieReader reader(path, platform::ffmpeg::SoundShape{48000, 2});
        QByteArray sound;
        int pictures = 0;
        while (pictures < mostPictures && reader.next(box, &sound)) {
            ++pictures;
            // As the player hands it on: the sound never grows without bound.
            if (sound.size() > (1 << 20))
                sound.clear();
        }
        reader.seek(reader.duration() / 2, box);
        for (int i = 0; i < 10 && reader.next(box, &sound); ++i) {
        }
        reader.seek(0, box);
        reader.next(box, &sound);
    });
    // A movie that cannot be read says why; the reader itself never fails without a reason.
    if (failure && failure->isEmpty())
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The reader opens files by name: the input becomes one in memory.
    const int file = memfd_create("movie", 0);
    if (file < 0)
        return 0;
    if (size == 0 || write(file, data, size) == ssize_t(size))
        readMovie(QStringLiteral("/proc/self/fd/%1").arg(file));
    close(file);
    return 0;
}

#ifdef MOVIE_FUZZ_DRIVER
int main(int argc, char **argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    QStringList inputs;
    for (int i = 1; i < argc; ++i)
        inputs << QString::fromLocal8Bit(argv[i]);
    if (inputs.isEmpty())
        inputs << QStringLiteral(MOVIE_FUZZ_CORPUS);
    int files = 0;
    for (const QString &input : std::as_const(inputs)) {
        QStringList paths{input};
        if (QFileInfo(input).isDir()) {
            paths.clear();
            for (const QFileInfo &entry : QDir(input).entryInfoList(QDir::Files))
                paths << entry.filePath();
        }
        for (const QString &path : std::as_const(paths)) {
            QFile in(path);
            if (!in.open(QIODevice::ReadOnly)) {
                std::printf("cannot read %s\n", qPrintable(path));
                return 1;
            }
            const QByteArray bytes = in.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                   size_t(bytes.size()));
            ++files;
        }
    }
    std::printf("movie reader: %d files read once each without a fault\n", files);
    return 0;
}
#endif
