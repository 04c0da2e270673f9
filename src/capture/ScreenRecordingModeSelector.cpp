#include "capture/ScreenRecordingModeSelector.h"

#include "capture/ModeSelectorView.h"
#include "model/CaptureErrors.h"
#include "platform/PanelWindows.h"
#include "platform/PointerMonitor.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <coroutine>

// One request for a mode: answered once, by the first finish.
struct ScreenRecordingModeSelector::Request {
    bool finished = false;
    std::optional<RecordingSelectionMode> mode;
    std::coroutine_handle<> waiter;

    void resolve(std::optional<RecordingSelectionMode> chosen)
    {
        if (finished)
            return;
        finished = true;
        mode = chosen;
        if (!waiter || !QCoreApplication::instance())
            return;
        // Resumed from the event loop, so that the caller never runs inside the event handler
        // (a key, a click, a button) that ended the request.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [handle = waiter] { handle.resume(); },
            Qt::QueuedConnection);
    }

    auto answer()
    {
        struct Awaiter {
            Request *request;
            bool await_ready() const noexcept { return request->finished; }
            void await_suspend(std::coroutine_handle<> handle) noexcept
            {
                request->waiter = handle;
            }
            void await_resume() const noexcept {}
        };
        return Awaiter{this};
    }
};

ScreenRecordingModeSelector::ScreenRecordingModeSelector(
    std::shared_ptr<platform::PanelWindows> panels, PointerMonitorFactory makePointerMonitor,
    QObject *parent)
    : QObject(parent), m_panels(std::move(panels)),
      m_makePointerMonitor(std::move(makePointerMonitor))
{
}

ScreenRecordingModeSelector::~ScreenRecordingModeSelector()
{
    finish(std::nullopt);
}

QWidget *ScreenRecordingModeSelector::panel() const
{
    return m_window;
}

ModeSelectorView *ScreenRecordingModeSelector::view() const
{
    return m_view;
}

QCoro::Task<RecordingSelectionMode> ScreenRecordingModeSelector::selectMode()
{
    // One request at a time: the earlier caller is answered, its watches go with its panel.
    if (m_continuation || m_window)
        finish(std::nullopt);

    // Held here too: the request outlives a finish that drops the selector's reference.
    const std::shared_ptr<Request> request = std::make_shared<Request>();
    m_continuation = request;
    present();
    auto answer = request->answer();
    co_await answer;
    if (!request->mode)
        throw CaptureError::cancelled();
    co_return *request->mode;
}

void ScreenRecordingModeSelector::present()
{
    // The chooser, unlike other panels, takes the keyboard, so that Escape reaches it.
    auto *panel =
        new QWidget(nullptr, platform::PanelWindows::windowFlags() & ~Qt::WindowDoesNotAcceptFocus);
    panel->setObjectName(QStringLiteral("ModeSelectorPanel"));
    panel->setWindowTitle(QStringLiteral("Select Recording Mode"));
    m_panels->prepare(panel, platform::PanelLevel::floating);
    panel->setAttribute(Qt::WA_ShowWithoutActivating, false);
    panel->setAttribute(Qt::WA_X11DoNotAcceptFocus, false);
    panel->setAttribute(Qt::WA_TranslucentBackground);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setFocusPolicy(Qt::StrongFocus);
    panel->setFixedSize(ModeSelectorView::viewSize);

    auto *view = new ModeSelectorView(panel);
    view->move(0, 0);
    view->onSelect =
        [self = QPointer<ScreenRecordingModeSelector>(this)](RecordingSelectionMode mode) {
            if (self)
                self->finish(mode);
        };
    view->onCancel = [self = QPointer<ScreenRecordingModeSelector>(this)] {
        if (self)
            self->finish(std::nullopt);
    };

    // Shaped to the card: without a compositing manager the corners would show black.
    QPainterPath card;
    card.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(ModeSelectorView::viewSize)),
                        ModeSelectorView::cornerRadius, ModeSelectorView::cornerRadius);
    panel->setMask(QRegion(card.toFillPolygon().toPolygon()));

    QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        panel->move(area.center() - QRect(QPoint(0, 0), panel->size()).center());
    }

    m_window = panel;
    m_view = view;
    panel->show();
    panel->raise();
    panel->activateWindow();
    panel->setFocus(Qt::ActiveWindowFocusReason);
    installMonitors();
}

void ScreenRecordingModeSelector::installMonitors()
{
    QCoreApplication::instance()->installEventFilter(this);
    m_localMonitorInstalled = true;

    std::unique_ptr<platform::PointerMonitor> monitor = m_makePointerMonitor();
    if (!monitor)
        return;
    // A click elsewhere on the desktop still reaches the program it was meant for; it only
    // ends the request, from the event loop, and only the request it was watched for.
    const std::weak_ptr<Request> watched = m_continuation;
    connect(monitor.get(), &platform::PointerMonitor::pointerEvent, this,
            [this, watched](const platform::PointerEvent &event) {
                if (event.kind != platform::PointerEvent::Kind::buttonPressed ||
                    event.overOwnWindow ||
                    (event.button != Qt::LeftButton && event.button != Qt::RightButton)) {
                    return;
                }
                QMetaObject::invokeMethod(
                    this,
                    [this, watched] {
                        const std::shared_ptr<Request> request = watched.lock();
                        if (request && request == m_continuation)
                            finish(std::nullopt);
                    },
                    Qt::QueuedConnection);
            });
    // Without the desktop's pointer the chooser still works; clicks in other programs just
    // leave it open.
    if (monitor->start())
        m_globalMonitor = std::move(monitor);
}

void ScreenRecordingModeSelector::removeMonitors()
{
    if (m_localMonitorInstalled) {
        if (QCoreApplication *application = QCoreApplication::instance())
            application->removeEventFilter(this);
        m_localMonitorInstalled = false;
    }
    if (m_globalMonitor) {
        m_globalMonitor->stop();
        m_globalMonitor.reset();
    }
}

void ScreenRecordingModeSelector::finish(std::optional<RecordingSelectionMode> mode)
{
    removeMonitors();
    if (m_window) {
        // Deleted later: finish may run inside one of the panel's own event handlers.
        m_window->hide();
        m_window->deleteLater();
    }
    m_window = nullptr;
    m_view = nullptr;
    if (const std::shared_ptr<Request> request = std::exchange(m_continuation, nullptr))
        request->resolve(mode);
}

bool ScreenRecordingModeSelector::isInsidePanel(QObject *watched) const
{
    if (!m_window)
        return false;
    if (const auto *widget = qobject_cast<QWidget *>(watched))
        return widget->window() == m_window;
    if (const auto *window = qobject_cast<QWindow *>(watched))
        return window == m_window->windowHandle();
    return false;
}

bool ScreenRecordingModeSelector::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Claimed, so that no shortcut of another window takes Escape before the key press
        // arrives here.
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            event->accept();
            return true;
        }
        return false;
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->key() != Qt::Key_Escape)
            return false;
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton ||
            isInsidePanel(watched)) {
            return false;
        }
        break;
    default:
        return false;
    }
    // Swallowed: the key or click only ends the request.
    finish(std::nullopt);
    return true;
}
