#pragma once

#include "capture/ClipboardService.h"
#include "support/EventLog.h"
#include "support/Gate.h"

#include <QList>
#include <QUuid>
#include <exception>

// The clipboard service: records "clipboard.copy" and the item, then after `gate` completes or
// throws `failure` (any exception, so that errors of other types can be thrown too).
class FakeClipboardWriting : public ClipboardWriting {
public:
    explicit FakeClipboardWriting(EventLog &log) : m_log(log) {}

    QCoro::Task<bool> copy(CaptureItem item) override
    {
        m_log.add(QStringLiteral("clipboard.copy"));
        copied << item.id();
        co_await gate.pass();
        if (failure)
            std::rethrow_exception(failure);
        co_return true;
    }

    std::exception_ptr failure;
    Gate gate;
    QList<QUuid> copied;

private:
    EventLog &m_log;
};
