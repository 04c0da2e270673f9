#pragma once

#include "platform/Background.h"
#include "support/WaitUntil.h"

#include <QObject>
#include <QThreadPool>

// Waits until every job on the background threads has ended and the main thread has handled
// what they posted: a call posted after them has come through. What a job was to hand over has
// been handed over by then, so a test can check that nothing more comes without a pause.
inline bool backgroundSettled(int limitMs = 20000)
{
    if (!platform::backgroundThreads()->waitForDone(limitMs))
        return false;
    // The marker's context: a marker still queued when this returns is dropped with it.
    QObject marker;
    bool through = false;
    QMetaObject::invokeMethod(
        &marker, [&through] { through = true; }, Qt::QueuedConnection);
    return waitUntil([&through] { return through; }, limitMs);
}
