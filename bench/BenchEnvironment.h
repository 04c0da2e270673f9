#pragma once

#include "platform/CaptureFolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>
#include <cstdio>

// What every benchmark needs once its application object exists: progress
// lines kept out of the figures, and staged files written to a private folder
// that is removed afterwards.
class BenchEnvironment {
public:
    BenchEnvironment()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("com.corvanta.app.*.info=false"));
        qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
        platform::CaptureFolder::reset();
    }

private:
    QTemporaryDir m_tmp;
};

// False, after saying how to run the benchmark in the harness (`harness`: the command that starts
// it), when Qt does not run on an X server.
inline bool onXServer(const char *name, const char *harness, const char *program)
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return true;
    std::printf("%s needs an X server; run it inside the harness:\n  %s -- %s\n", name, harness,
                program);
    return false;
}

// Waits (at most 10 s) until the window of `widget` is on the screen, then paints it: the X
// server shows the frame once this returns.
inline void waitUntilShownAndPainted(QWidget *widget)
{
    QElapsedTimer timer;
    timer.start();
    QWindow *handle = widget->windowHandle();
    while (!(handle && handle->isExposed()) && timer.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        handle = widget->windowHandle();
    }
    widget->repaint();
}
