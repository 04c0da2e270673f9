#pragma once

#include <QtGlobal>
#include <functional>

namespace platform {

// Routes Qt's log output to stderr as "time category level: message".
// Installed once at start-up; the previous handler is kept for chaining.
void installMessageHandler();

// A tap that sees every message after it has been written; tests use it to
// read log lines. Pass an empty function to remove it. Thread-safe.
using LogTap = std::function<void(QtMsgType, const char *category, const QString &message)>;
void setLogTap(LogTap tap);

} // namespace platform
