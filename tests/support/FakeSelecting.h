#pragma once

#include "capture/Selecting.h"
#include "model/CaptureErrors.h"
#include "support/EventLog.h"
#include "support/Gate.h"

#include <QThread>
#include <optional>

// A selection double: each call records `event`, waits for `gate`, then throws `failure` or
// answers a copy of the value the test set.
template <typename Interface> class ScriptedSelection : public Interface {
public:
    explicit ScriptedSelection(EventLog &log) : m_log(log) {}

    std::optional<CaptureError> failure;
    Gate gate;

protected:
    template <typename T> QCoro::Task<T> answer(QString event, const T *value)
    {
        m_log.add(event);
        co_await gate.pass();
        if (failure)
            throw *failure;
        co_return T(*value);
    }

private:
    EventLog &m_log;
};

// The area selection: after `gate`, answers `rect` or throws `failure`;
// records "select.area", and "select.prepare" when readied ahead, which takes
// `preparingMs` of the calling thread.
class FakeAreaSelecting : public ScriptedSelection<AreaSelecting> {
public:
    explicit FakeAreaSelecting(EventLog &log) : ScriptedSelection(log), m_events(log) {}

    QCoro::Task<QRectF> selectArea() override
    {
        return answer(QStringLiteral("select.area"), &rect);
    }
    void prepareSelection() override
    {
        m_events.add(QStringLiteral("select.prepare"));
        QThread::msleep(preparingMs);
    }

    QRectF rect{100, 50, 320, 240};
    unsigned long preparingMs = 0;

private:
    EventLog &m_events;
};

// The window selection: after `gate`, answers `window` or throws `failure`;
// records "select.window".
class FakeWindowSelecting : public ScriptedSelection<WindowSelecting> {
public:
    explicit FakeWindowSelecting(EventLog &log) : ScriptedSelection(log)
    {
        window.id = 0x1a00007;
        window.title = QStringLiteral("Notes");
        window.applicationName = QStringLiteral("Editor");
        window.captureFrame = QRectF(200, 150, 400, 300);
        window.isOnScreen = true;
    }

    QCoro::Task<platform::WindowInfo> selectWindow() override
    {
        return answer(QStringLiteral("select.window"), &window);
    }

    platform::WindowInfo window;
};
