#include "windows/KeyDownMonitor.h"

#include "platform/KeyCodes.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <utility>

namespace {

constexpr quint32 escapeKeyCode = 53;

// Keys that only modify others: their presses are not key-downs of their own.
bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}

} // namespace

KeyDownMonitor::KeyDownMonitor(std::function<bool(QKeyEvent *)> handler)
    : m_handler(std::move(handler))
{
    qApp->installEventFilter(this);
}

void KeyDownMonitor::remove(KeyDownMonitor *monitor)
{
    if (!monitor)
        return;
    if (qApp)
        qApp->removeEventFilter(monitor);
    monitor->m_handler = nullptr;
    monitor->deleteLater();
}

bool KeyDownMonitor::isEscape(const QKeyEvent &event)
{
    return event.key() == Qt::Key_Escape ||
           platform::virtualKeyForKeysym(event.nativeVirtualKey(), false) == escapeKeyCode;
}

bool KeyDownMonitor::eventFilter(QObject *, QEvent *event)
{
    if (!m_handler)
        return false;
    if (event->type() == QEvent::ShortcutOverride) {
        // Claimed, so that no shortcut of the window fires while recording.
        if (!isModifierKey(static_cast<QKeyEvent *>(event)->key())) {
            event->accept();
            return true;
        }
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    if (isModifierKey(key->key()))
        return false;
    return m_handler(key);
}
