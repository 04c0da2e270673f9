#pragma once

#include <qcoro/qcorotask.h>

// Starts a flow on the main thread and returns without waiting for it: the flow keeps running
// until it finishes on its own, and an exception that escapes it is logged instead of being
// lost. The one way the program starts work that nobody waits for (hot-key and menu actions,
// background account work, the coordinator's deferred flows).
void startTask(QCoro::Task<void> task);
