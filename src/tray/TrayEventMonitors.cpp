#include "tray/TrayEventMonitors.h"

#include "platform/PointerMonitor.h"
#include "tray/TrayStateMachine.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWheelEvent>
#include <utility>

TrayEventMonitors::TrayEventMonitors(TrayStateMachine &machine, TrayTimerSource &timers,
                                     std::unique_ptr<platform::PointerMonitor> pointerMonitor,
                                     std::function<void()> clickAnywhere, QObject *parent)
    : QObject(parent), m_machine(machine), m_timers(timers),
      m_pointerMonitor(std::move(pointerMonitor)), m_clickAnywhere(std::move(clickAnywhere))
{
}

TrayEventMonitors::~TrayEventMonitors()
{
    remove();
}

void TrayEventMonitors::install()
{
    if (m_pointerMonitor && !m_globalMonitor) {
        m_globalMonitor = connect(m_pointerMonitor.get(), &platform::PointerMonitor::pointerEvent,
                                  this, &TrayEventMonitors::pointerEvent);
        m_pointerMonitor->start();
    }
    if (!m_localMonitorsInstalled) {
        qApp->installEventFilter(this);
        m_localMonitorsInstalled = true;
        m_pointer = QCursor::pos();
    }
    followPointer();
}

void TrayEventMonitors::remove()
{
    m_pointerCheck.reset();
    m_quietChecks = 0;
    if (m_globalMonitor) {
        disconnect(m_globalMonitor);
        m_globalMonitor = {};
        m_pointerMonitor->stop();
    }
    if (m_localMonitorsInstalled) {
        qApp->removeEventFilter(this);
        m_localMonitorsInstalled = false;
    }
}

bool TrayEventMonitors::isInstalled() const
{
    return m_localMonitorsInstalled;
}

void TrayEventMonitors::followPointer()
{
    if (!m_globalMonitor || !m_pointerMonitor->isRunning() || !m_machine.followsPointer()) {
        m_pointerCheck.reset();
        m_quietChecks = 0;
        return;
    }
    if (m_pointerCheck)
        return;
    // A move found this way comes as the monitor's other moves do, with the buttons held then.
    m_pointerCheck =
        m_timers.start(pointerRests() ? restingPointerCheckInterval : pointerCheckInterval, [this] {
            m_pointerCheck.reset();
            m_movedSinceCheck = false;
            m_pointerMonitor->checkPosition();
            m_quietChecks = m_movedSinceCheck ? 0 : m_quietChecks + 1;
            followPointer();
        });
}

bool TrayEventMonitors::pointerRests() const
{
    return m_quietChecks * pointerCheckInterval >= pointerRestTime;
}

void TrayEventMonitors::pointerMoved()
{
    m_movedSinceCheck = true;
    const bool rested = pointerRests();
    m_quietChecks = 0;
    // A pointer that moves again may jump next: it is looked for often again at once.
    if (rested && m_pointerCheck) {
        m_pointerCheck.reset();
        followPointer();
    }
}

void TrayEventMonitors::pointerEvent(const platform::PointerEvent &event)
{
    if (event.kind == platform::PointerEvent::Kind::moved) {
        m_pointer = event.globalPosition;
        pointerMoved();
    }
    // Events over our own windows arrive through Qt as well (the local monitors).
    if (event.overOwnWindow)
        return;
    QPointer<TrayEventMonitors> self(this);
    switch (event.kind) {
    case platform::PointerEvent::Kind::moved:
        QMetaObject::invokeMethod(
            this,
            [self, buttons = event.buttons] {
                if (self)
                    self->m_machine.handleMouseMoved(buttons);
            },
            Qt::QueuedConnection);
        break;
    case platform::PointerEvent::Kind::buttonPressed:
        if (event.button == Qt::LeftButton || event.button == Qt::RightButton) {
            QMetaObject::invokeMethod(
                this,
                [self] {
                    if (self)
                        self->m_clickAnywhere();
                },
                Qt::QueuedConnection);
        }
        break;
    case platform::PointerEvent::Kind::buttonReleased:
    case platform::PointerEvent::Kind::scrolled:
        break;
    }
}

bool TrayEventMonitors::eventFilter(QObject *watched, QEvent *event)
{
    // Every input event reaches its window first, then the widgets inside: watching the windows
    // sees each event once.
    if (!watched->isWindowType())
        return false;
    switch (event->type()) {
    case QEvent::MouseMove:
        m_pointer = static_cast<QMouseEvent *>(event)->globalPosition().toPoint();
        pointerMoved();
        m_machine.handleMouseMoved(static_cast<QMouseEvent *>(event)->buttons());
        break;
    case QEvent::Leave:
    case QEvent::Enter:
        // A pointer that jumps off our window (a warp, a touch, a remote desktop's absolute move)
        // moves no device, so the desktop-wide monitor never hears of it, and the window it lands
        // on is not ours to get the move: leaving is the only word of it. One that jumps back
        // onto the spot where Qt last saw it gets no move from Qt either, only the entering. A
        // window of ours that opens or closes under a resting pointer (a menu chosen from) is
        // entered or left too, by a pointer that did not move.
        if (const QPoint now = QCursor::pos(); now != std::exchange(m_pointer, now)) {
            pointerMoved();
            m_machine.handleMouseMoved(QGuiApplication::mouseButtons());
        }
        break;
    case QEvent::MouseButtonPress: {
        const Qt::MouseButton button = static_cast<QMouseEvent *>(event)->button();
        if (button == Qt::LeftButton || button == Qt::RightButton)
            m_clickAnywhere();
        break;
    }
    case QEvent::KeyPress: {
        // A key typed into a window of ours that asks for it (Escape in the markup editor, text
        // in a field) is that window's.
        const auto &key = *static_cast<QKeyEvent *>(event);
        QKeyEvent asking(QEvent::ShortcutOverride, key.key(), key.modifiers(), key.text(),
                         key.isAutoRepeat(), ushort(key.count()));
        asking.ignore();
        if (QObject *focus = QGuiApplication::focusObject()) {
            QCoreApplication::sendEvent(focus, &asking);
            if (asking.isAccepted())
                return false;
        }
        return m_machine.handleKeyDown(key);
    }
    case QEvent::Wheel: {
        const auto &wheel = *static_cast<QWheelEvent *>(event);
        m_machine.handleHorizontalScroll(wheel.pixelDelta(), wheel.angleDelta());
        break;
    }
    default:
        break;
    }
    return false;
}
