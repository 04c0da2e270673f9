#include "tray/CorvantaPanelController.h"

#include "platform/PanelWindows.h"
#include "platform/WindowMove.h"
#include "tray/CorvantaPanel.h"

#include <algorithm>

namespace {

constexpr double collapsedRadius = 14;
constexpr double expandedRadius = 20;

// Qt's global coordinates for a rectangle in screen coordinates: through capture coordinates to
// the display holding its centre, which Qt places at its root origin with its size in points.
QRect qtGeometry(const QRectF &screenRect, const QList<platform::Display> &displays)
{
    const QRectF capture = platform::screenToCapture(screenRect, displays);
    QPointF offset;
    if (const auto display = platform::displayContaining(displays, screenRect.center()))
        offset = QPointF(display->rootRect.topLeft()) - display->captureFrame.topLeft();
    const QRectF global = capture.translated(offset);
    // Round the edges rather than origin and size, so the panel keeps touching the top edge.
    const QPoint topLeft(qRound(global.left()), qRound(global.top()));
    const QPoint bottomRight(qRound(global.right()) - 1, qRound(global.bottom()) - 1);
    return QRect(topLeft, bottomRight);
}

} // namespace

CorvantaPanelController::CorvantaPanelController(Services services, QObject *parent)
    : QObject(parent), m_displays(services.displays), m_panels(std::move(services.panels)),
      m_compositor(services.compositor), m_screenGeometry(std::move(services.screenGeometry))
{
    if (!m_screenGeometry) {
        m_screenGeometry = [panels = m_panels](const platform::Display &display) {
            return NotchGeometry::Screen::fromDisplay(
                display, panels ? panels->visibleFrame(display) : std::nullopt);
        };
    }
    setupPanel();
    observeScreenChanges();
    refreshGeometry(false);
}

CorvantaPanelController::~CorvantaPanelController() = default;

void CorvantaPanelController::setupPanel()
{
    m_panel = std::make_unique<CorvantaPanel>(m_panels, m_compositor);
    m_hitContainer = m_panel->container();
    m_panel->setIgnoresMouseEvents(true);
    m_frameMove = std::make_unique<platform::WindowMove>(
        m_panel.get(), frameAnimationMs, QEasingCurve::InOutQuad,
        [](QWidget *panel, const QRect &frame) {
            static_cast<CorvantaPanel *>(panel)->setFrame(frame);
        });
}

void CorvantaPanelController::observeScreenChanges()
{
    // Queued: the display list settles before the panel is placed on it.
    connect(
        &m_displays, &platform::Displays::displaysChanged, this, [this] { refreshGeometry(true); },
        Qt::QueuedConnection);
}

void CorvantaPanelController::refreshGeometry(bool animated)
{
    const QList<platform::Display> displays = m_displays.displays();
    if (displays.isEmpty())
        return;
    // The list holds the main display first.
    m_currentGeometry = m_geometryService.geometry(m_screenGeometry(displays.first()));
    setPanelFrame(targetFrame(m_state, *m_currentGeometry), animated);
    applyHitShape();
}

QRectF CorvantaPanelController::targetFrame(State state, const NotchGeometryData &geometry)
{
    const bool expanded = state == State::expanded;
    double width = 0;
    double height = 0;
    double centreX = 0;
    if (geometry.hasNotch) {
        const double notchWidth = geometry.notchRect.width();
        const double inset = geometry.safeTopInset;
        width = expanded ? std::max(notchWidth + 140, 360.0) : std::max(notchWidth * 0.65, 120.0);
        height = expanded ? std::max(inset + 120, 160.0) : std::max(inset + 20, 28.0);
        centreX = geometry.notchRect.center().x();
    } else {
        width = expanded ? 420 : 160;
        height = expanded ? 180 : 30;
        centreX = geometry.screen.frame.normalized().center().x();
    }
    return QRectF(centreX - width / 2, geometry.anchorY() - height, width, height);
}

void CorvantaPanelController::setPanelFrame(const QRectF &frame, bool animated)
{
    m_frame = frame;
    m_frameMove->moveTo(qtGeometry(frame, m_displays.displays()), animated);
}

void CorvantaPanelController::applyCornerShape()
{
    m_hitContainer->setCornerRadius(m_state == State::expanded ? expandedRadius : collapsedRadius);
    m_hitContainer->rebuildShape();
    m_panel->applyShape();
}

void CorvantaPanelController::applyHitShape()
{
    applyCornerShape();
    m_panel->setIgnoresMouseEvents(m_state == State::collapsed);
}

void CorvantaPanelController::show(State state, bool animated)
{
    m_state = state;
    m_panel->setIgnoresMouseEvents(state == State::collapsed);
    applyCornerShape();
    refreshGeometry(animated);
    m_panel->show();
    m_panel->raise();
}

void CorvantaPanelController::hide()
{
    m_panel->hide();
}

void CorvantaPanelController::setContent(const ContentBuilder &builder)
{
    m_hitContainer->setContent(builder ? builder(m_state, m_currentGeometry) : nullptr);
}
