#pragma once

#include "capture/SaveService.h"
#include "support/EventLog.h"
#include "support/Gate.h"

#include <QList>
#include <QUuid>
#include <exception>

// The save service: records "save.save(<file extension>)" and what it was asked, then after
// `gate` answers `destination` or throws `failure` (any exception).
class FakeCaptureSaving : public CaptureSaving {
public:
    explicit FakeCaptureSaving(EventLog &log) : m_log(log) {}

    using CaptureSaving::save;
    QCoro::Task<QUrl> save(CaptureItem item, ImageExportFormat format, QWidget *window) override
    {
        m_log.add(QStringLiteral("save.save(%1)").arg(fileExtension(format)));
        saved << item.id();
        windows << window;
        co_await gate.pass();
        if (failure)
            std::rethrow_exception(failure);
        // A copy: QCoro moves from an lvalue handed to co_return.
        co_return QUrl(destination);
    }

    QUrl destination = QUrl::fromLocalFile(QStringLiteral("/home/user/Pictures/Shot 1.png"));
    std::exception_ptr failure;
    Gate gate;
    QList<QUuid> saved;
    QList<QWidget *> windows;

private:
    EventLog &m_log;
};
