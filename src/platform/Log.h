#pragma once

#include <QLoggingCategory>
#include <QString>

// One logging category per area, all under the program's identifier, so that
// QT_LOGGING_RULES can switch an area on or off ("com.corvanta.app.queue.info=false").
namespace Log {
Q_DECLARE_LOGGING_CATEGORY(capture)
Q_DECLARE_LOGGING_CATEGORY(queue)
Q_DECLARE_LOGGING_CATEGORY(overlay)
Q_DECLARE_LOGGING_CATEGORY(permissions)
Q_DECLARE_LOGGING_CATEGORY(exportLog)
Q_DECLARE_LOGGING_CATEGORY(hotkey)
Q_DECLARE_LOGGING_CATEGORY(auth)
Q_DECLARE_LOGGING_CATEGORY(general)
} // namespace Log
