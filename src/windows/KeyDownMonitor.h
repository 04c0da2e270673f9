#pragma once

#include <QObject>
#include <functional>

class QKeyEvent;

// The local key-down monitor: an application-wide event filter that sees every key press meant
// for this program's windows while it lives. Presses of keys that only modify others are no
// key-downs of their own and pass; every other key's shortcut override is claimed, so that no
// shortcut of a window fires while the monitor watches.
class KeyDownMonitor final : public QObject {
public:
    // `handler` says whether the key is used (the window then does not receive it).
    explicit KeyDownMonitor(std::function<bool(QKeyEvent *)> handler);

    // Stops watching at once; the object itself goes later, since removal may happen while it
    // is handling an event.
    static void remove(KeyDownMonitor *monitor);

    // Whether the press is of Escape (by its key or by its key symbol).
    static bool isEscape(const QKeyEvent &event);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<bool(QKeyEvent *)> m_handler;
};
