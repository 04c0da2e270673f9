#include "platform/ffmpeg/FfmpegPrivateOutput.h"

#include "platform/PrivateFiles.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace platform::ffmpeg {

namespace {

constexpr int bufferSize = 64 * 1024;

int descriptorOf(void *opaque)
{
    return int(reinterpret_cast<intptr_t>(opaque));
}

int writeAll(void *opaque, uint8_t *data, int size)
{
    return writeToDescriptor(descriptorOf(opaque), data, size);
}

int64_t seekTo(void *opaque, int64_t offset, int whence)
{
    const int fd = descriptorOf(opaque);
    if (whence == AVSEEK_SIZE) {
        struct stat status {};
        return ::fstat(fd, &status) == 0 ? int64_t(status.st_size) : AVERROR(errno);
    }
    const off_t position = ::lseek(fd, off_t(offset), whence & ~AVSEEK_FORCE);
    return position < 0 ? AVERROR(errno) : int64_t(position);
}

} // namespace

int writeToDescriptor(int fd, const uint8_t *data, int size)
{
    int written = 0;
    while (written < size) {
        const ssize_t result = ::write(fd, data + written, size_t(size - written));
        if (result < 0) {
            if (errno == EINTR)
                continue;
            return AVERROR(errno);
        }
        written += int(result);
    }
    return written;
}

AVIOContext *openPrivateOutput(const QString &path, QString *error)
{
    const int fd = createPrivateFile(path, error);
    if (fd < 0)
        return nullptr;
    // A umask may take more than the group's and others' bits; the owner reads the movie back
    // for its poster frame.
    ::fchmod(fd, 0600);
    auto *buffer = static_cast<unsigned char *>(av_malloc(bufferSize));
    AVIOContext *context =
        buffer ? avio_alloc_context(buffer, bufferSize, 1, reinterpret_cast<void *>(intptr_t(fd)),
                                    nullptr, writeAll, seekTo)
               : nullptr;
    if (!context) {
        av_free(buffer);
        ::close(fd);
        QFile::remove(path);
        if (error)
            *error = QStringLiteral("Not enough memory to write %1").arg(path);
        return nullptr;
    }
    return context;
}

int closePrivateOutput(AVIOContext **context)
{
    if (!context || !*context)
        return 0;
    AVIOContext *output = *context;
    avio_flush(output);
    int result = output->error;
    if (::close(descriptorOf(output->opaque)) != 0 && result >= 0)
        result = AVERROR(errno);
    av_freep(&output->buffer);
    avio_context_free(context);
    return std::min(result, 0);
}

} // namespace platform::ffmpeg
