#pragma once

#include "platform/Background.h"
#include "platform/CaptureFolder.h"
#include "platform/TemporaryDirectory.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>

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

// Overwrites the file in place with 3000 bytes that are no picture, as anything outside the
// program might; false when it cannot be written.
inline bool spoilFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(QByteArray(3000, 'j')) == 3000;
}
