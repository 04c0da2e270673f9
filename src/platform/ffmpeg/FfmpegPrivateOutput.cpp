#include "platform/ffmpeg/FfmpegPrivateOutput.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
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
    const int fd = descriptorOf(opaque);
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

AVIOContext *openPrivateOutput(const QString &path, int *errorCode)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd =
        ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        *errorCode = AVERROR(errno);
        return nullptr;
    }
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
        ::unlink(name.constData());
        *errorCode = AVERROR(ENOMEM);
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
