#pragma once

#include <QEasingCurve>
#include <QPointer>
#include <QRect>
#include <functional>

class QVariantAnimation;
class QWidget;

namespace platform {

// Moves and resizes a top-level widget, at once or in a short animation. A move asked while
// another runs sets out from where the window is then, so the window never jumps; a hidden
// window has nothing to show in motion and moves at once. The animation belongs to the window,
// so it never outlives it.
class WindowMove {
public:
    // What an animated window frame takes when nothing asks for another length.
    static constexpr int defaultDurationMs = 200;

    // How a frame is put on the window; unset: its geometry is set.
    using Place = std::function<void(QWidget *, const QRect &)>;

    explicit WindowMove(QWidget *window, int durationMs = defaultDurationMs,
                        QEasingCurve::Type curve = QEasingCurve::OutCubic, Place place = {});
    ~WindowMove();
    WindowMove(const WindowMove &) = delete;
    WindowMove &operator=(const WindowMove &) = delete;

    // Puts the window at `geometry` (Qt coordinates), animated when asked and it is shown.
    void moveTo(const QRect &geometry, bool animated);
    bool isMoving() const;

private:
    void place(const QRect &geometry);

    QPointer<QWidget> m_window;
    int m_durationMs;
    QEasingCurve::Type m_curve;
    Place m_place;
    QPointer<QVariantAnimation> m_animation;
};

} // namespace platform
