// The open family is defined here under its own names: the C library's checked inline forms and
// large-file renamings of them would stand in the way.
#undef _FORTIFY_SOURCE
#undef _FILE_OFFSET_BITS

#include "support/FileOpens.h"

#include <QFile>
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <vector>

namespace {

std::mutex watchesLock;
std::vector<FileOpens *> watches;
std::atomic<int> watching = 0;

int counted(int descriptor)
{
    if (descriptor >= 0 && watching.load() > 0)
        FileOpens::noteOpened(descriptor);
    return descriptor;
}

template <typename Function> Function real(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

bool needsMode(int flags)
{
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

} // namespace

FileOpens::FileOpens(const QString &path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) == 0) {
        m_device = status.st_dev;
        m_inode = status.st_ino;
    }
    const std::lock_guard lock(watchesLock);
    watches.push_back(this);
    ++watching;
}

FileOpens::~FileOpens()
{
    const std::lock_guard lock(watchesLock);
    --watching;
    watches.erase(std::find(watches.begin(), watches.end(), this));
}

void FileOpens::noteOpened(int descriptor)
{
    struct stat status {};
    if (::fstat(descriptor, &status) != 0)
        return;
    const std::lock_guard lock(watchesLock);
    for (FileOpens *watch : watches) {
        if (watch->m_device == status.st_dev && watch->m_inode == status.st_ino)
            ++watch->m_count;
    }
}

// The mode an open that may create a file is handed after its flags.
#define FILE_OPENS_MODE(flags)                                                                     \
    int mode = 0;                                                                                  \
    if (needsMode(flags)) {                                                                        \
        va_list arguments;                                                                         \
        va_start(arguments, flags);                                                                \
        mode = va_arg(arguments, int);                                                             \
        va_end(arguments);                                                                         \
    }
#define FILE_OPENS_PATH_OPEN(name)                                                                 \
    extern "C" __attribute__((visibility("default"))) int name(const char *path, int flags, ...)   \
    {                                                                                              \
        FILE_OPENS_MODE(flags)                                                                     \
        static const auto open = real<int (*)(const char *, int, ...)>(#name);                     \
        return counted(open(path, flags, mode));                                                   \
    }
#define FILE_OPENS_AT_OPEN(name)                                                                   \
    extern "C" __attribute__((visibility("default"))) int name(int folder, const char *path,       \
                                                               int flags, ...)                     \
    {                                                                                              \
        FILE_OPENS_MODE(flags)                                                                     \
        static const auto open = real<int (*)(int, const char *, int, ...)>(#name);                \
        return counted(open(folder, path, flags, mode));                                           \
    }
#define FILE_OPENS_CHECKED_OPEN(name)                                                              \
    extern "C" __attribute__((visibility("default"))) int name(const char *path, int flags)        \
    {                                                                                              \
        static const auto open = real<int (*)(const char *, int)>(#name);                          \
        return counted(open(path, flags));                                                         \
    }
#define FILE_OPENS_CHECKED_AT_OPEN(name)                                                           \
    extern "C" __attribute__((visibility("default"))) int name(int folder, const char *path,       \
                                                               int flags)                          \
    {                                                                                              \
        static const auto open = real<int (*)(int, const char *, int)>(#name);                     \
        return counted(open(folder, path, flags));                                                 \
    }
#define FILE_OPENS_STREAM_OPEN(name)                                                               \
    extern "C" __attribute__((visibility("default"))) FILE *name(const char *path,                 \
                                                                 const char *how)                  \
    {                                                                                              \
        static const auto open = real<FILE *(*)(const char *, const char *)>(#name);               \
        FILE *stream = open(path, how);                                                            \
        if (stream != nullptr)                                                                     \
            counted(fileno(stream));                                                               \
        return stream;                                                                             \
    }

FILE_OPENS_PATH_OPEN(open)
FILE_OPENS_PATH_OPEN(open64)
FILE_OPENS_AT_OPEN(openat)
FILE_OPENS_AT_OPEN(openat64)
FILE_OPENS_CHECKED_OPEN(__open_2)
FILE_OPENS_CHECKED_OPEN(__open64_2)
FILE_OPENS_CHECKED_AT_OPEN(__openat_2)
FILE_OPENS_CHECKED_AT_OPEN(__openat64_2)
FILE_OPENS_STREAM_OPEN(fopen)
FILE_OPENS_STREAM_OPEN(fopen64)
