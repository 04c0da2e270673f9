#pragma once

#include <QList>
#include <QObject>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <optional>

namespace platform {

// Identifies a display for as long as it stays connected (on X11 the RandR output).
using DisplayId = quint32;

// One display. Three spaces describe it:
// - root: the window system's desktop in pixels, y downwards from the desktop's origin;
// - screen: points, origin at the bottom-left of the main display, y upwards;
// - capture: points, origin at the top-left of the main display, y downwards.
// A display keeps its root origin in point space and holds `scale` pixels per point inside
// (the same scheme Qt's logical coordinates follow), so with a scale of 1 points are pixels.
struct Display {
    DisplayId id = 0;
    QString name; // as QScreen::name() reports it, to pair a display with its QScreen
    QRect rootRect;
    double scale = 1.0;
    QRectF screenFrame;
    QRectF captureFrame;
    bool isMain = false;

    bool operator==(const Display &other) const = default;
};

// Completes displays that carry their id, name, root rectangle, scale and main flag: marks
// exactly one main display (the first marked, else the first), moves it to the front and fills
// both point frames. A scale that is not a positive number becomes 1.
QList<Display> arrangeDisplays(QList<Display> displays);

// Conversions between the three spaces for a list whose first entry is the main display
// (arrangeDisplays' order). A point converts with the display that contains it, a rectangle
// with the display that contains its centre; anything outside every display converts with the
// main display's origin and scale. Without displays, root and capture coincide and the main
// display counts as 1000 points high.
QPointF rootToCapture(QPointF root, const QList<Display> &displays);
QRectF rootToCapture(const QRectF &root, const QList<Display> &displays);
QPointF captureToRoot(QPointF capture, const QList<Display> &displays);
QRectF captureToRoot(const QRectF &capture, const QList<Display> &displays);
QPointF captureToScreen(QPointF capture, const QList<Display> &displays);
QRectF captureToScreen(const QRectF &capture, const QList<Display> &displays);
QPointF screenToCapture(QPointF screen, const QList<Display> &displays);
QRectF screenToCapture(const QRectF &screen, const QList<Display> &displays);
QPointF rootToScreen(QPointF root, const QList<Display> &displays);
QRectF rootToScreen(const QRectF &root, const QList<Display> &displays);
QPointF screenToRoot(QPointF screen, const QList<Display> &displays);
QRectF screenToRoot(const QRectF &screen, const QList<Display> &displays);

// Pixels for a length in points: points × scale truncated toward zero, at least 1.
int pixelLength(double points, double scale);
QSize pixelSize(const QSizeF &points, double scale);

// Whether the point lies in the rectangle, counting the left and top edges as inside and the
// right and bottom edges as outside, so that neighbouring rectangles never share a point.
bool containsHalfOpen(const QRectF &rect, QPointF point);

// The display with the identifier; an unknown identifier gives the main display, then the
// first; nothing only when there is no display.
std::optional<Display> displayForId(const QList<Display> &displays, DisplayId id);

// The first display whose screen frame holds the point (screen coordinates); otherwise the
// main display, then the first; nothing only when there is no display.
std::optional<Display> displayContaining(const QList<Display> &displays, QPointF screenPoint);

// The displays of the desktop. Created on the main thread; the queries are safe from any thread.
class Displays : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Every display, the main one first.
    virtual QList<Display> displays() const = 0;
    // The pointer in screen coordinates; nothing when it cannot be read.
    virtual std::optional<QPointF> pointerLocation() const = 0;

    std::optional<Display> mainDisplay() const;
    // The display under the pointer, with displayContaining's fallbacks (main display when the
    // pointer cannot be read).
    std::optional<Display> displayUnderPointer() const;
    std::optional<Display> display(DisplayId id) const;

signals:
    // Displays were added, removed, moved or resized, the main display changed, or the desktop
    // around them was resized.
    void displaysChanged();
};

} // namespace platform
