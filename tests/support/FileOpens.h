#pragma once

#include <QFile>
#include <QString>
#include <sys/inotify.h>
#include <unistd.h>

// Counts how often anything opens one file from now on, as the kernel reports it: what a
// decode, a copy or a drag costs, seen from outside the program.
class FileOpens {
public:
    explicit FileOpens(const QString &path) : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_OPEN);
    }
    ~FileOpens() { ::close(m_fd); }
    FileOpens(const FileOpens &) = delete;
    FileOpens &operator=(const FileOpens &) = delete;

    int count()
    {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t size; (size = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < size;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                m_count += (event->mask & IN_OPEN) != 0 ? 1 : 0;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return m_count;
    }

private:
    int m_fd;
    int m_count = 0;
};
