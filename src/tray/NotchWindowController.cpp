#include "tray/NotchWindowController.h"

#include "capture/ScreenRecording.h"
#include "model/CaptureQueue.h"
#include "model/SettingsStore.h"
#include "platform/Compositor.h"
#include "platform/Log.h"
#include "platform/PanelWindows.h"
#include "platform/PointerMonitor.h"
#include "platform/WindowFade.h"
#include "tray/CaptureTrayView.h"
#include "tray/NotchTrackingContainerView.h"
#include "tray/TrayEventMonitors.h"

#include <QApplication>

namespace {

using State = TrayInteractionState;

// Screen points on an edge count as inside: the pointer at the very top of a display reads as
// the display's top edge, where the hover band and an attached tray end.
bool containsClosed(const QRectF &rect, QPointF point)
{
    if (rect.isEmpty())
        return false;
    const QRectF r = rect.normalized();
    return point.x() >= r.left() && point.x() <= r.right() && point.y() >= r.top() &&
           point.y() <= r.bottom();
}

} // namespace

NotchWindowController::NotchWindowController(Services services, QObject *parent)
    : QObject(parent), m_queue(services.queue), m_settings(services.settings),
      m_callbacks(std::move(services.callbacks)), m_displays(services.displays),
      m_recorder(services.recorder), m_neighbours(std::move(services.neighbours)),
      m_panels(std::move(services.panels)), m_compositor(services.compositor),
      m_timers(services.timers ? std::move(services.timers) : makeQtTrayTimers()),
      m_state(std::make_unique<TrayState>(
          [this](TrayInteractionState state, std::optional<TrayPosition> position) {
              return visibleContentSize(state, position);
          },
          [this] { return isCompositing(); }, m_timers)),
      m_machine(std::make_unique<TrayStateMachine>(TrayStateMachine::Services{
          .state = *m_state,
          .queue = m_queue,
          .settings = m_settings,
          .callbacks = m_callbacks,
          .neighbours = m_neighbours,
          .timers = *m_timers,
          .window = *this,
      })),
      onQuickLook(m_state->onQuickLook), onOCR(m_state->onOCR), onAnnotate(m_state->onAnnotate)
{
    m_monitors = std::make_unique<TrayEventMonitors>(
        *m_machine, *m_timers, std::move(services.pointerMonitor), [this] { clickMonitorFired(); });
    if (!services.screenGeometry) {
        services.screenGeometry = [panels = m_panels](const platform::Display &display) {
            return NotchGeometry::Screen::fromDisplay(
                display, panels ? panels->visibleFrame(display) : std::nullopt);
        };
    }
    m_screens = std::make_unique<TrayScreens>(
        m_displays, m_settings, m_queue, [this] { return isRecording(); },
        std::move(services.screenGeometry));
    bindModel();
}

NotchWindowController::~NotchWindowController()
{
    removeEventMonitors();
    m_machine->cancelTimers();
    // The tray view (a child of the panel) refers to this controller: it goes first.
    m_panel.reset();
}

// Published values

bool NotchWindowController::isRecording() const
{
    return m_recorder && m_recorder->isRecording();
}

bool NotchWindowController::isAttachedToNotch() const
{
    return hasNotch() && m_settings.trayPosition() == TrayPosition::notch;
}

bool NotchWindowController::isCompositing() const
{
    return m_compositor && m_compositor->isCompositing();
}

NotchTrackingContainerView *NotchWindowController::panel() const
{
    return m_panel.get();
}

CaptureTrayView *NotchWindowController::trayView() const
{
    return m_trayView;
}

bool NotchWindowController::isPointOverTray(QPointF screenPoint) const
{
    if (!m_panel)
        return false;
    // Into the panel's own coordinates: y downwards from its top edge.
    const QPointF local(screenPoint.x() - m_panelFrame.x(),
                        m_panelFrame.y() + m_panelFrame.height() - screenPoint.y());
    return m_panel->isInteractive(local);
}

void NotchWindowController::publishNotchMetrics(const platform::Display &screen)
{
    const NotchGeometry::LayoutInfo info = NotchGeometry::layoutInfo(m_screens->geometryOf(screen));
    m_state->setNotchMetrics(info.hasNotch, info.notchHeight, info.notchWidth);
}

QRect NotchWindowController::qtGeometry(const QRectF &screenFrame) const
{
    return platform::screenToQtGeometry(screenFrame, m_displays.displays());
}

// Showing, placing and hiding

void NotchWindowController::show(std::optional<platform::Display> screen,
                                 TrayInteractionState state)
{
    m_machine->cancelAutoHide();
    if (!screen)
        screen = m_screens->mainScreen();
    if (!screen) {
        qCCritical(Log::overlay, "No screen available to show notch window");
        return;
    }
    // The tray lives on this display from now on, so that the relayout of the state change
    // below already measures it and not the display the panel leaves.
    m_screens->setPanelScreen(*screen);
    publishNotchMetrics(*screen);
    m_machine->assignState(state, false);

    const QRectF frame = frameForStationaryWindow(*screen, m_settings.trayPosition());
    if (!m_panel)
        buildPanel();
    installTrayView();
    placePanel(frame);
    installEventMonitors();

    m_fade->setOpacity(0);
    m_panel->show();
    m_panel->raise();
    m_fade->fadeTo(1.0, fadeInMs, platform::WindowFade::Curve::easeInOut);
    qCInfo(Log::overlay, "Tray shown in stationary mode at %f,%f", frame.x(), frame.y());

    if (state == State::confirmation)
        m_machine->scheduleAutoCollapse();
    if (sanitizedDelay(m_settings.autoHideDelay()) > 0 && m_queue.items().isEmpty())
        m_machine->scheduleAutoHide();
}

void NotchWindowController::buildPanel()
{
    QPointer<NotchWindowController> owner(this);
    m_panel = std::make_unique<NotchTrackingContainerView>(
        *m_state, m_settings, m_queue,
        [owner](const CaptureItem &item) {
            if (owner)
                owner->deleteCapture(item);
        },
        m_panels);
    // Translucent where it blends; elsewhere the panel is shaped to the tray's outline.
    m_panel->setAttribute(Qt::WA_TranslucentBackground, isCompositing());
    QPointer<NotchWindowController> self(this);
    m_panel->onClick = [self] {
        if (self)
            self->trayClicked();
    };
    if (m_panels)
        m_panels->prepare(m_panel.get(), platform::PanelLevel::topmost);
    m_fade = new platform::WindowFade(m_panel.get(), m_compositor, this);
}

void NotchWindowController::installTrayView()
{
    QPointer<NotchWindowController> self(this);
    const auto wrapped =
        [self](std::function<void(const CaptureItem &)> StagingTrayCallbacks::*callback) {
            return [self, callback](const CaptureItem &item) {
                if (!self)
                    return;
                self->m_machine->cancelAutoHide();
                runTrayItemAction(self->m_callbacks.*callback, item);
            };
        };
    TrayViewActions actions{
        .onSave = wrapped(&StagingTrayCallbacks::onSave),
        .onCopy = wrapped(&StagingTrayCallbacks::onCopy),
        .onDelete = wrapped(&StagingTrayCallbacks::onDelete),
        .onDismiss =
            [self] {
                if (self)
                    self->hide(false);
            },
    };
    // The view is made once: replacing it would end a drag that started from it.
    if (m_trayView) {
        m_trayView->setActions(std::move(actions));
        return;
    }
    m_trayView = new CaptureTrayView(*m_state, m_queue, m_settings, m_recorder, m_neighbours,
                                     std::move(actions), m_panel.get());
    m_panel->setTrayView(m_trayView);
}

void NotchWindowController::placePanel(const QRectF &frame)
{
    m_panelFrame = frame;
    m_panel->setGeometry(qtGeometry(frame));
    m_panel->refreshInteractiveArea();
}

void NotchWindowController::updateLayout(std::optional<TrayPosition> position,
                                         std::optional<platform::Display> screen)
{
    updatePosition(position, std::move(screen));
}

void NotchWindowController::updatePosition(std::optional<TrayPosition> position,
                                           std::optional<platform::Display> screen)
{
    screen = m_screens->resolvedScreen(std::move(screen));
    if (!screen)
        return;
    m_screens->setPanelScreen(*screen);
    publishNotchMetrics(*screen);
    if (m_panel)
        placePanel(frameForStationaryWindow(*screen, position));
}

void NotchWindowController::hide(bool force)
{
    if (isRecording() && !force)
        return;
    unpin();
    if (hasNotch() && !force) {
        // A notched display keeps the tray: it folds back into the notch.
        if (interactionState() != State::compact)
            setInteractionState(State::compact);
        return;
    }
    m_machine->cancelTimers();
    if (!isVisible())
        return;
    removeEventMonitors();
    if (force) {
        m_fade->setOpacity(0);
        m_panel->hide();
        m_fade->setOpacity(1);
    } else {
        // The fade's completion does not run when a show raised the opacity again meanwhile.
        m_fade->fadeTo(0.0, fadeOutMs, platform::WindowFade::Curve::easeOutFast, [this] {
            m_panel->hide();
            m_fade->setOpacity(1);
        });
    }
    qCInfo(Log::overlay, "Notch tray hidden");
}

void NotchWindowController::reconcileAfterQueueChange()
{
    // After a deletion emptied the queue: unpin, then fold into the notch, move to a notched
    // display or hide, and lay out again.
    m_machine->emptyStateFallback();
}

void NotchWindowController::moveToNotchedDisplay()
{
    if (m_settings.trayPosition() == TrayPosition::notch) {
        for (const platform::Display &display : m_displays.displays()) {
            if (NotchGeometry::layoutInfo(m_screens->geometryOf(display)).hasNotch) {
                setInteractionState(State::compact);
                updatePosition(std::nullopt, display);
                return;
            }
        }
    }
    hide(false);
}

bool NotchWindowController::isWindowVisible() const
{
    return isVisible();
}

bool NotchWindowController::isVisible() const
{
    return m_panel && m_panel->isVisible();
}

std::optional<quintptr> NotchWindowController::windowID() const
{
    if (!m_panel)
        return std::nullopt;
    return quintptr(m_panel->winId());
}

// The state machine

// Bindings

void NotchWindowController::bindModel()
{
    connect(m_state.get(), &TrayState::interactionStateChanged, this,
            [this] { m_monitors->followPointer(); });
    connect(m_state.get(), &TrayState::isPinnedChanged, this,
            [this] { m_monitors->followPointer(); });
    connect(&m_settings, &SettingsStore::trayPositionChanged, this,
            [this](TrayPosition position) { updatePosition(position); });
    connect(&m_settings, &SettingsStore::traySizeChanged, this, [this] { updatePosition(); });
    const auto redraw = [this] {
        m_state->announceAppearance();
        if (m_trayView)
            m_trayView->update();
    };
    connect(&m_settings, &SettingsStore::trayMaterialChanged, this, redraw);
    connect(&m_settings, &SettingsStore::accentThemeChanged, this, redraw);
    connect(&m_settings, &SettingsStore::disabledTrayButtonsChanged, this, [this] {
        if (interactionState() == State::expanded)
            updatePosition();
    });
    answerFailuresWithNotices(*m_state, m_queue);
    connect(&m_queue, &CaptureQueue::itemsChanged, this, [this] {
        // What a new save or copy of a capture ends with is newer than its notice.
        for (const CaptureItem &item : m_queue.items()) {
            if (item.state().isBusy())
                m_state->clearNotice(item.id());
        }
        if (interactionState() == State::expanded)
            updatePosition();
        else if (m_panel)
            // The compact tray's outline depends on whether anything is staged.
            m_panel->refreshInteractiveArea();
        if (m_queue.items().isEmpty())
            unpin();
    });
    // A compositor that comes or goes: the panel blends, or is cut to the tray's outline.
    if (m_compositor)
        connect(m_compositor, &platform::Compositor::compositingChanged, this, [this, redraw] {
            if (m_panel)
                m_panel->refreshInteractiveArea();
            redraw();
        });
    // The tray's sizes depend on whether a recording runs.
    if (m_recorder) {
        connect(m_recorder, &ScreenRecording::isRecordingChanged, this,
                [this] { updatePosition(); });
    }
}

// Event monitors

void NotchWindowController::installEventMonitors()
{
    m_monitors->install();
}

void NotchWindowController::removeEventMonitors()
{
    m_monitors->remove();
}

bool NotchWindowController::areEventMonitorsInstalled() const
{
    return m_monitors->isInstalled();
}

void NotchWindowController::clickMonitorFired()
{
    if (isVisible() && isPointerOutsidePanel())
        handleClickOutside();
}

bool NotchWindowController::isPointerOutsidePanel() const
{
    const std::optional<QPointF> pointer = m_displays.pointerLocation();
    return pointer && !containsClosed(m_panelFrame, *pointer);
}

bool NotchWindowController::knowsPointer() const
{
    return m_displays.pointerLocation().has_value();
}

bool NotchWindowController::isPointerOnTray() const
{
    const std::optional<QPointF> pointer = m_displays.pointerLocation();
    const std::optional<platform::Display> screen = panelScreen();
    if (!pointer || !screen)
        return false;
    return containsClosed(hoverBandRect(*screen), *pointer) || isPointOverTray(*pointer);
}

void NotchWindowController::deleteCapture(const CaptureItem &item) const
{
    runTrayItemAction(m_callbacks.onDelete, item);
}
