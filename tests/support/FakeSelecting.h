#pragma once

#include "capture/Selecting.h"
#include "model/CaptureErrors.h"
#include "support/EventLog.h"
#include "support/Gate.h"

#include <optional>

// The area selection: after `gate`, answers `rect` or throws `failure`;
// records "select.area".
class FakeAreaSelecting : public AreaSelecting {
public:
    explicit FakeAreaSelecting(EventLog &log) : m_log(log) {}

    QCoro::Task<QRectF> selectArea() override
    {
        m_log.add(QStringLiteral("select.area"));
        co_await gate.pass();
        if (failure)
            throw *failure;
        co_return QRectF(rect);
    }

    QRectF rect{100, 50, 320, 240};
    std::optional<CaptureError> failure;
    Gate gate;

private:
    EventLog &m_log;
};

// The window selection: after `gate`, answers `window` or throws `failure`;
// records "select.window".
class FakeWindowSelecting : public WindowSelecting {
public:
    explicit FakeWindowSelecting(EventLog &log) : m_log(log)
    {
        window.id = 0x1a00007;
        window.title = QStringLiteral("Notes");
        window.applicationName = QStringLiteral("Editor");
        window.captureFrame = QRectF(200, 150, 400, 300);
        window.isOnScreen = true;
    }

    QCoro::Task<platform::WindowInfo> selectWindow() override
    {
        m_log.add(QStringLiteral("select.window"));
        co_await gate.pass();
        if (failure)
            throw *failure;
        // A copy: QCoro moves from an lvalue handed to co_return.
        co_return platform::WindowInfo(window);
    }

    platform::WindowInfo window;
    std::optional<CaptureError> failure;
    Gate gate;

private:
    EventLog &m_log;
};
