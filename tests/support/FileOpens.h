#pragma once

#include <QString>
#include <atomic>
#include <sys/types.h>

// Counts how often this program opens one file from now on, on any thread and by whatever path:
// what a decode, a copy or a drag costs. The C library's open family (open, openat, their
// large-file and checked forms, fopen) is taken over in FileOpens.cpp, and every descriptor it
// hands out is matched against the file, so every open is counted; inotify, by contrast, merges
// an open with an identical event still unread.
class FileOpens {
public:
    explicit FileOpens(const QString &path);
    ~FileOpens();
    FileOpens(const FileOpens &) = delete;
    FileOpens &operator=(const FileOpens &) = delete;

    int count() const { return m_count.load(); }

    // Counts a descriptor just opened against every file watched.
    static void noteOpened(int descriptor);

private:
    dev_t m_device = 0;
    ino_t m_inode = 0;
    std::atomic<int> m_count = 0;
};
