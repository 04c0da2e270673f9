#pragma once

#include "support/BuildSlowdown.h"

#include <QElapsedTimer>
#include <QTest>
#include <functional>

// Runs the event loop until the condition holds; false when it still does not after the limit.
inline bool waitUntil(const std::function<bool()> &condition, int limitMs = 5000 * buildSlowdown)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMs)
            return false;
        QTest::qWait(20);
    }
    return true;
}
