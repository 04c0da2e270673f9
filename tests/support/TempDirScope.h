#pragma once

#include "platform/Background.h"
#include "platform/CaptureFolder.h"
#include "platform/TemporaryDirectory.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtEndian>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

// Points TMPDIR at a fresh temporary folder for the lifetime of a test and
// makes the captures folder be resolved there. Background writes are waited
// for before the folder goes, so nothing lands after it is removed.
class TempDirScope {
public:
    TempDirScope()
        : m_previous(qgetenv("TMPDIR")), m_hadPrevious(qEnvironmentVariableIsSet("TMPDIR"))
    {
        qputenv("TMPDIR", m_dir.path().toLocal8Bit());
        platform::CaptureFolder::reset();
    }
    ~TempDirScope()
    {
        platform::backgroundThreads()->waitForDone(10000);
        if (m_hadPrevious)
            qputenv("TMPDIR", m_previous);
        else
            qunsetenv("TMPDIR");
        platform::TemporaryDirectory::setSystemFolder({});
        platform::CaptureFolder::reset();
    }
    TempDirScope(const TempDirScope &) = delete;
    TempDirScope &operator=(const TempDirScope &) = delete;

    // TMPDIR names a folder that does not exist, and the folder standing in for /tmp is
    // systemFolder (absolute; missing too unless the test makes it).
    void dropTmpdir(const QString &systemFolder)
    {
        qputenv("TMPDIR", QFile::encodeName(m_dir.path() + QStringLiteral("/missing")));
        platform::TemporaryDirectory::setSystemFolder(systemFolder);
        platform::CaptureFolder::reset();
    }

    QString path() const { return m_dir.path(); }
    QString capturesPath() const { return m_dir.path() + QStringLiteral("/CorvantaCaptures"); }
    QString captureFile(const QString &name) const { return capturesPath() + '/' + name; }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
    bool m_hadPrevious;
};

// How spoilFile damages a file, as anything outside the program might: `junk` overwrites it
// whole with 3000 bytes that are no picture; `cut` keeps its first 100 bytes and `scrambled`
// writes 2000 random bytes into its middle, both leaving a PNG's header (signature and size)
// intact and its body broken; `endCut` takes away a PNG's last 12 bytes, its end chunk, which
// the program's own reader does without while other programs refuse the file. `pipe` puts a
// named pipe in its place, which blocks whoever opens it for reading until somebody writes;
// `hugeClaim` a whole PNG of 8000 × 8000 grey pixels (256 MB once decoded) of a few hundred KB;
// `endless` a link to /dev/zero, which never ends.
enum class Spoil { junk, cut, scrambled, endCut, pipe, hugeClaim, endless };

// A whole PNG of `width` × `height` black grey-scale pixels, small on disk.
inline QByteArray blackPng(int width, int height)
{
    const auto chunk = [](const char *type, const QByteArray &data) {
        QByteArray bytes(4, Qt::Uninitialized);
        qToBigEndian(quint32(data.size()), bytes.data());
        bytes += QByteArray(type, 4) + data;
        const QByteArray crcBytes = bytes.mid(4);
        const uLong crc =
            crc32(0, reinterpret_cast<const Bytef *>(crcBytes.constData()), uInt(crcBytes.size()));
        QByteArray tail(4, Qt::Uninitialized);
        qToBigEndian(quint32(crc), tail.data());
        return bytes + tail;
    };
    QByteArray header(13, '\0');
    qToBigEndian(quint32(width), header.data());
    qToBigEndian(quint32(height), header.data() + 4);
    header[8] = 8; // bits per sample; grey-scale, no interlacing
    const QByteArray rows(qsizetype(height) * (width + 1), '\0');
    uLongf size = compressBound(uLong(rows.size()));
    QByteArray deflated(qsizetype(size), Qt::Uninitialized);
    compress2(reinterpret_cast<Bytef *>(deflated.data()), &size,
              reinterpret_cast<const Bytef *>(rows.constData()), uLong(rows.size()), 9);
    deflated.truncate(qsizetype(size));
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", deflated) +
           chunk("IEND", {});
}

// Damages the file in place; false when it cannot be written (or, but for `junk`, is too small
// to damage that way).
inline bool spoilFile(const QString &path, Spoil how = Spoil::junk)
{
    QFile file(path);
    switch (how) {
    case Spoil::junk:
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(QByteArray(3000, 'j')) == 3000;
    case Spoil::cut:
        return file.size() > 100 && file.resize(100);
    case Spoil::endCut:
        return file.size() > 100 && file.resize(file.size() - 12);
    case Spoil::scrambled: {
        if (!file.open(QIODevice::ReadWrite) || file.size() < 2200)
            return false;
        QRandomGenerator random(36);
        QByteArray noise(2000, Qt::Uninitialized);
        for (char &byte : noise)
            byte = char(random.bounded(256));
        return file.seek(file.size() / 2 - 1000) && file.write(noise) == noise.size();
    }
    case Spoil::pipe:
        return QFile::remove(path) && ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    case Spoil::hugeClaim: {
        const QByteArray png = blackPng(8000, 8000);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(png) == png.size();
    }
    case Spoil::endless:
        return QFile::remove(path) && QFile::link(QStringLiteral("/dev/zero"), path);
    }
    return false;
}

// The file spoilt as `how` says, a pipe with a writer that never writes: its readers wait until
// this goes.
struct SpoiltFile {
    SpoiltFile(const QString &path, Spoil how = Spoil::pipe)
        : writer(spoilFile(path, how) && how == Spoil::pipe
                     ? ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC)
                     : -1)
    {
    }
    ~SpoiltFile() { ::close(writer); }
    const int writer;
};
