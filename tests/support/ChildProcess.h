#pragma once

#include <QProcess>
#include <QStringList>

// A helper program of the test's own (a compositing manager, say), stopped by its PID when the
// test ends.
class ChildProcess {
public:
    bool start(const QString &program, const QStringList &arguments, int waitMs = 5000)
    {
        m_process.start(program, arguments);
        return m_process.waitForStarted(waitMs);
    }
    ~ChildProcess()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(2000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

private:
    QProcess m_process;
};
