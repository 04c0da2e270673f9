#include "platform/Log.h"

namespace Log {
Q_LOGGING_CATEGORY(capture, "com.corvanta.app.capture", QtInfoMsg)
Q_LOGGING_CATEGORY(queue, "com.corvanta.app.queue", QtInfoMsg)
Q_LOGGING_CATEGORY(overlay, "com.corvanta.app.overlay", QtInfoMsg)
Q_LOGGING_CATEGORY(permissions, "com.corvanta.app.permissions", QtInfoMsg)
Q_LOGGING_CATEGORY(exportLog, "com.corvanta.app.export", QtInfoMsg)
Q_LOGGING_CATEGORY(hotkey, "com.corvanta.app.hotkey", QtInfoMsg)
Q_LOGGING_CATEGORY(auth, "com.corvanta.app.auth", QtInfoMsg)
Q_LOGGING_CATEGORY(general, "com.corvanta.app.general", QtInfoMsg)
} // namespace Log
