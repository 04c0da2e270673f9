#include "tray/TrayControlTimers.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

class QtPending final : public TrayTimerSource::Pending {
public:
    explicit QtPending(std::function<void()> action)
        : m_action(std::make_shared<std::function<void()>>(std::move(action)))
    {
    }
    std::weak_ptr<std::function<void()>> action() const { return m_action; }

private:
    std::shared_ptr<std::function<void()>> m_action;
};

class QtTrayTimers final : public TrayTimerSource {
public:
    std::unique_ptr<Pending> start(std::chrono::milliseconds delay,
                                   std::function<void()> action) override
    {
        auto pending = std::make_unique<QtPending>(std::move(action));
        // The timer only holds the action weakly: a cancelled action (its handle destroyed)
        // finds nothing to run when the timer fires.
        QTimer::singleShot(delay, Qt::PreciseTimer, QCoreApplication::instance(),
                           [weak = pending->action()] {
                               if (const auto action = weak.lock()) {
                                   // A copy: running it may destroy the handle and with it the
                                   // stored function.
                                   const std::function<void()> run = *action;
                                   run();
                               }
                           });
        return pending;
    }
};

} // namespace

std::shared_ptr<TrayTimerSource> makeQtTrayTimers()
{
    return std::make_shared<QtTrayTimers>();
}
