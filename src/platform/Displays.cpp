#include "platform/Displays.h"

#include <QtMath>
#include <climits>
#include <cmath>

namespace platform {
namespace {

// Used for the flip between capture and screen coordinates when no display exists.
constexpr double heightWithoutDisplays = 1000.0;

const Display *mainOf(const QList<Display> &displays)
{
    for (const Display &display : displays) {
        if (display.isMain)
            return &display;
    }
    return displays.isEmpty() ? nullptr : &displays.first();
}

double mainHeight(const QList<Display> &displays)
{
    const Display *main = mainOf(displays);
    return main ? main->captureFrame.height() : heightWithoutDisplays;
}

const Display *displayAtRoot(const QList<Display> &displays, QPointF root)
{
    for (const Display &display : displays) {
        if (containsHalfOpen(QRectF(display.rootRect), root))
            return &display;
    }
    return mainOf(displays);
}

const Display *displayAtCapture(const QList<Display> &displays, QPointF capture)
{
    for (const Display &display : displays) {
        if (containsHalfOpen(display.captureFrame, capture))
            return &display;
    }
    return mainOf(displays);
}

QPointF rootToCaptureWith(const Display *display, QPointF root)
{
    if (!display)
        return root;
    return display->captureFrame.topLeft() +
           (root - QPointF(display->rootRect.topLeft())) / display->scale;
}

QPointF captureToRootWith(const Display *display, QPointF capture)
{
    if (!display)
        return capture;
    return QPointF(display->rootRect.topLeft()) +
           (capture - display->captureFrame.topLeft()) * display->scale;
}

double scaleOf(const Display *display)
{
    return display ? display->scale : 1.0;
}

// The same flip turns capture into screen coordinates and back.
QRectF flipped(const QRectF &rect, double height)
{
    return QRectF(rect.x(), height - rect.y() - rect.height(), rect.width(), rect.height());
}

} // namespace

QList<Display> arrangeDisplays(QList<Display> displays)
{
    if (displays.isEmpty())
        return displays;
    qsizetype mainIndex = 0;
    for (qsizetype i = 0; i < displays.size(); ++i) {
        if (displays[i].isMain) {
            mainIndex = i;
            break;
        }
    }
    for (qsizetype i = 0; i < displays.size(); ++i) {
        Display &display = displays[i];
        display.isMain = i == mainIndex;
        if (!std::isfinite(display.scale) || display.scale <= 0)
            display.scale = 1.0;
    }
    displays.move(mainIndex, 0);

    const QPoint mainOrigin = displays.first().rootRect.topLeft();
    for (Display &display : displays) {
        display.captureFrame = QRectF(QPointF(display.rootRect.topLeft() - mainOrigin),
                                      QSizeF(display.rootRect.size()) / display.scale);
    }
    const double height = displays.first().captureFrame.height();
    for (Display &display : displays)
        display.screenFrame = flipped(display.captureFrame, height);
    return displays;
}

QPointF rootToCapture(QPointF root, const QList<Display> &displays)
{
    return rootToCaptureWith(displayAtRoot(displays, root), root);
}

QRectF rootToCapture(const QRectF &root, const QList<Display> &displays)
{
    const Display *display = displayAtRoot(displays, root.center());
    return QRectF(rootToCaptureWith(display, root.topLeft()), root.size() / scaleOf(display));
}

QPointF captureToRoot(QPointF capture, const QList<Display> &displays)
{
    return captureToRootWith(displayAtCapture(displays, capture), capture);
}

QRectF captureToRoot(const QRectF &capture, const QList<Display> &displays)
{
    const Display *display = displayAtCapture(displays, capture.center());
    return QRectF(captureToRootWith(display, capture.topLeft()), capture.size() * scaleOf(display));
}

QPointF captureToScreen(QPointF capture, const QList<Display> &displays)
{
    return QPointF(capture.x(), mainHeight(displays) - capture.y());
}

QRectF captureToScreen(const QRectF &capture, const QList<Display> &displays)
{
    return flipped(capture, mainHeight(displays));
}

QPointF screenToCapture(QPointF screen, const QList<Display> &displays)
{
    return captureToScreen(screen, displays);
}

QRectF screenToCapture(const QRectF &screen, const QList<Display> &displays)
{
    return captureToScreen(screen, displays);
}

QPointF rootToScreen(QPointF root, const QList<Display> &displays)
{
    return captureToScreen(rootToCapture(root, displays), displays);
}

QRectF rootToScreen(const QRectF &root, const QList<Display> &displays)
{
    return captureToScreen(rootToCapture(root, displays), displays);
}

QPointF screenToRoot(QPointF screen, const QList<Display> &displays)
{
    return captureToRoot(screenToCapture(screen, displays), displays);
}

QRectF screenToRoot(const QRectF &screen, const QList<Display> &displays)
{
    return captureToRoot(screenToCapture(screen, displays), displays);
}

int pixelLength(double points, double scale)
{
    const double pixels = std::trunc(points * scale);
    if (!(pixels >= 1.0)) // also catches NaN
        return 1;
    return pixels >= double(INT_MAX) ? INT_MAX : int(pixels);
}

QSize pixelSize(const QSizeF &points, double scale)
{
    return QSize(pixelLength(points.width(), scale), pixelLength(points.height(), scale));
}

bool containsHalfOpen(const QRectF &rect, QPointF point)
{
    const QRectF normal = rect.normalized();
    return point.x() >= normal.left() && point.x() < normal.right() && point.y() >= normal.top() &&
           point.y() < normal.bottom();
}

std::optional<Display> displayForId(const QList<Display> &displays, DisplayId id)
{
    for (const Display &display : displays) {
        if (display.id == id)
            return display;
    }
    if (const Display *main = mainOf(displays))
        return *main;
    return std::nullopt;
}

std::optional<Display> displayContaining(const QList<Display> &displays, QPointF screenPoint)
{
    for (const Display &display : displays) {
        if (containsHalfOpen(display.screenFrame, screenPoint))
            return display;
    }
    if (const Display *main = mainOf(displays))
        return *main;
    return std::nullopt;
}

std::optional<Display> Displays::mainDisplay() const
{
    const QList<Display> all = displays();
    if (const Display *main = mainOf(all))
        return *main;
    return std::nullopt;
}

std::optional<Display> Displays::displayUnderPointer() const
{
    const std::optional<QPointF> pointer = pointerLocation();
    return pointer ? displayContaining(displays(), *pointer) : mainDisplay();
}

std::optional<Display> Displays::display(DisplayId id) const
{
    return displayForId(displays(), id);
}

namespace {

const Display *displayHolding(const QList<Display> &displays, QPointF point, QRectF Display::*frame)
{
    for (const Display &display : displays) {
        if (containsHalfOpen(display.*frame, point))
            return &display;
    }
    return displays.isEmpty() ? nullptr : &displays.first();
}

} // namespace

QRect screenToQtGeometry(const QRectF &screen, const QList<Display> &displays)
{
    const QRectF capture = screenToCapture(screen, displays);
    QPointF topLeft = capture.topLeft();
    if (const Display *owner = displayHolding(displays, capture.center(), &Display::captureFrame))
        topLeft = QPointF(owner->rootRect.topLeft()) +
                  (capture.topLeft() - owner->captureFrame.topLeft());
    return QRect(QPoint(qRound(topLeft.x()), qRound(topLeft.y())),
                 QSize(qRound(capture.width()), qRound(capture.height())));
}

QRectF qtGeometryToScreen(const QRect &geometry, const QList<Display> &displays)
{
    QPointF topLeft = geometry.topLeft();
    for (const Display &display : displays) {
        if (display.rootRect.contains(geometry.center())) {
            topLeft = display.captureFrame.topLeft() +
                      (QPointF(geometry.topLeft()) - QPointF(display.rootRect.topLeft()));
            break;
        }
    }
    return captureToScreen(QRectF(topLeft, QSizeF(geometry.size())), displays);
}

} // namespace platform
