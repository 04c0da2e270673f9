#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

class QVariantAnimation;
class QWidget;

namespace platform {

class Compositor;

// Fades a top-level widget's opacity. The target of the running fade is what counts: a fade
// towards 0 whose target was raised again before it ended does not run its completion, so a
// show during a fade-out wins. Without a compositing manager windows cannot be translucent, so
// every fade ends at once (same completion rules).
class WindowFade : public QObject {
    Q_OBJECT

public:
    // The curve of a fade: easeInOut slow at both ends; easeOutFast slow at first and ever
    // quicker, so a window seems to linger and then go at once.
    enum class Curve : quint8 { easeInOut, easeOutFast };

    WindowFade(QWidget *window, const Compositor *compositor, QObject *parent = nullptr);
    ~WindowFade() override;

    // The opacity the window shows or is heading for.
    double targetOpacity() const { return m_target; }
    // Sets the opacity at once, ending any running fade without its completion.
    void setOpacity(double opacity);
    // Animates towards `opacity` over `durationMs`. `completed` runs when the fade ends with the
    // window at that opacity, never when another fade or setOpacity replaced it. A fade that ends
    // at once (no compositor, no duration, already there) runs it before fadeTo returns.
    void fadeTo(double opacity, int durationMs, Curve curve, std::function<void()> completed = {});
    bool isFading() const;

private:
    QPointer<QWidget> m_window;
    const Compositor *m_compositor;
    QVariantAnimation *m_animation = nullptr;
    double m_target = 1.0;
    quint64 m_generation = 0;
};

} // namespace platform
