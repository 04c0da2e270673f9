#pragma once

#include "platform/Alerts.h"
#include "support/EventLog.h"
#include "support/Gate.h"

#include <QList>

// Keeps the alerts shown and answers each with `answer` (a button index) once `gate` opens;
// records "alert(<message text>)" in `log` when one is given.
class FakeAlertPresenter : public platform::AlertPresenter {
public:
    QCoro::Task<int> present(platform::Alert alert) override
    {
        presented << alert;
        if (log)
            log->add(QStringLiteral("alert(%1)").arg(alert.messageText));
        co_await gate.pass();
        co_return answer;
    }

    QList<platform::Alert> presented;
    int answer = 0;
    Gate gate;
    EventLog *log = nullptr;
};
