#pragma once

#include <QRectF>
#include <QSizeF>
#include <functional>
#include <memory>

class QObject;
class QWidget;

// The floating window the preview lives in, as its controller drives it.
class PreviewWindow {
public:
    virtual ~PreviewWindow() = default;
    // Screen coordinates (points, y upwards). Animated when the window is
    // already up and moves to another capture's size.
    virtual void setFrame(const QRectF &screenFrame, bool animate) = 0;
    virtual QRectF frame() const = 0;
    // The least size the user may resize the window to (points); an empty size gives back the
    // window's own.
    virtual void setLeastSize(const QSizeF &size) { Q_UNUSED(size); }
    // Takes the view over. The previous one goes once control is back in the
    // event loop: it may be the view whose button replaced it.
    virtual void setContent(QWidget *view) = 0;
    // Shown above normal windows with the keyboard, without raising the
    // program's other windows.
    virtual void present() = 0;
    virtual bool isVisible() const = 0;
    // Whether a key event sent to this object was typed into the window.
    virtual bool holds(const QObject *target) const = 0;
};

// Destroying the window hides it at once and frees it from the event loop, as
// a key typed into it may be what closes it.
using PreviewWindowFactory = std::function<std::unique_ptr<PreviewWindow>()>;
