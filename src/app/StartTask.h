#pragma once

#include <qcoro/qcorotask.h>

// Starts a flow on the main thread and returns without waiting for it: the flow keeps running
// until it finishes on its own, and an exception that escapes it is logged instead of being
// lost. For the hot-key and menu actions, whose callers have nothing to wait for.
void startTask(QCoro::Task<void> task);
