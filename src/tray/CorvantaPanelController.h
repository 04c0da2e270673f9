#pragma once

#include "platform/Displays.h"
#include "tray/NotchGeometryService.h"

#include <QObject>
#include <QRectF>
#include <functional>
#include <memory>
#include <optional>

class CorvantaPanel;
class PanelHitTestingContainer;
class QWidget;

namespace platform {
class Compositor;
class PanelWindows;
class WindowMove;
} // namespace platform

// A panel that hangs from the top edge of the main display, centred under its camera notch, as
// a small collapsed tab or a larger expanded sheet. What it shows is whatever widget its owner
// builds. Follows display changes; main thread only.
class CorvantaPanelController : public QObject {
    Q_OBJECT

public:
    enum class State : quint8 { collapsed = 0, expanded = 1 };

    using ContentBuilder =
        std::function<QWidget *(State, const std::optional<NotchGeometryData> &)>;

    struct Services {
        platform::Displays &displays;
        // Null: plain Qt window flags, no input regions.
        std::shared_ptr<platform::PanelWindows> panels;
        // Null counts as no compositor: the panel is shaped to its outline.
        const platform::Compositor *compositor = nullptr;
        // A display's geometry as the notch lookup needs it. Unset: the display as this desktop
        // reports it (no notch), with the visible frame the panels give.
        std::function<NotchGeometry::Screen(const platform::Display &)> screenGeometry;
    };

    // Creates the panel sized for the collapsed tab; does not show it.
    explicit CorvantaPanelController(Services services, QObject *parent = nullptr);
    ~CorvantaPanelController() override;

    // Builds the content once from the current state and geometry and shows it in the panel;
    // later changes of either do not rebuild it. The panel owns the built widget; a builder
    // that is unset or builds nothing leaves the panel empty.
    void setContent(const ContentBuilder &builder);
    // Switches to the state's size (also to the current state) and brings the panel to the
    // front without activating it.
    void show(State state, bool animated);
    // Takes the panel off screen; the state stays.
    void hide();

    State state() const { return m_state; }
    const std::optional<NotchGeometryData> &currentGeometry() const { return m_currentGeometry; }
    CorvantaPanel *panel() const { return m_panel.get(); }
    // The frame the panel was last placed at, in screen coordinates; nothing before any
    // display was found.
    std::optional<QRectF> frame() const { return m_frame; }

    // The panel's frame for a state on the given geometry, in screen coordinates: it always
    // hangs from the display's top edge.
    static QRectF targetFrame(State state, const NotchGeometryData &geometry);

    static constexpr int frameAnimationMs = 180;

private:
    void setupPanel();
    void observeScreenChanges();
    void refreshGeometry(bool animated);
    void setPanelFrame(const QRectF &frame, bool animated);
    void applyHitShape();
    // Radius, outline and mask for the current state (the first steps of applyHitShape).
    void applyCornerShape();

    platform::Displays &m_displays;
    std::shared_ptr<platform::PanelWindows> m_panels;
    const platform::Compositor *m_compositor;
    std::function<NotchGeometry::Screen(const platform::Display &)> m_screenGeometry;

    NotchGeometryService m_geometryService;
    std::unique_ptr<CorvantaPanel> m_panel;
    PanelHitTestingContainer *m_hitContainer = nullptr;
    std::unique_ptr<platform::WindowMove> m_frameMove;
    State m_state = State::collapsed;
    std::optional<NotchGeometryData> m_currentGeometry;
    std::optional<QRectF> m_frame;
};
