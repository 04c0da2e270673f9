#pragma once

#include "platform/Displays.h"
#include "platform/WindowList.h"

#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QRegion>
#include <QSizeF>
#include <QString>
#include <optional>

// The geometry of the interactive selections, apart from the widgets that draw it.
//
// Overlay views reason in view points: the origin at the bottom-left of their display and y
// upwards, like screen coordinates, so that a view rectangle becomes a screen rectangle by adding
// the display's screen-frame origin. Qt's widget coordinates (y downwards) meet them only through
// flipInView.

// Between Qt's widget coordinates and view points of a view of the given height; the same flip
// goes both ways.
QPointF flipInView(QPointF point, double viewHeight);
QRectF flipInView(const QRectF &rect, double viewHeight);

// --- Area selection

// Both sides of a selection must reach this many points, or it is taken for a click and cancels.
constexpr double minimumSelectionSide = 4.0;

// The rectangle spanned by the drag's two corners.
QRectF selectionRect(QPointF start, QPointF current);
bool isLargeEnoughSelection(const QRectF &rect);
// The frame and the size label appear once the drag is more than a point in either direction.
bool showsSelectionFrame(QPointF start, QPointF current);

// H of the flip between screen and capture coordinates: the height of the first display (the
// main one), 1000 without displays.
double flipHeight(const QList<platform::Display> &displays);
// A rectangle in view points of the display with the given screen frame, in capture
// coordinates: y' = H − y − height once it is in screen coordinates.
QRectF viewRectToCapture(const QRectF &viewRect, const QRectF &screenFrame, double flipHeight);
QPointF viewPointToCapture(QPointF viewPoint, const QRectF &screenFrame, double flipHeight);
// The reverse: a capture-coordinate rectangle (a window's frame) in the view's points.
QRectF captureRectToView(const QRectF &captureRect, const QRectF &screenFrame, double flipHeight);

// "600 × 400": the selection's size in pixels at the display's scale.
QString sizeLabelText(QSizeF points, double scale);
// The size label's bubble for text of the given size: centred under the selection, never closer
// than 10 points to the view's left or bottom edge. The text starts 6 points inside.
QRectF sizeLabelBubble(const QRectF &selection, QSizeF textSize);
constexpr double sizeLabelPadding = 6.0;

// The magnifying loupe: a circle of 92 points beside the pointer, moved to its left or below it
// where the view's right or top edge is near.
constexpr double loupeDiameter = 92.0;
constexpr int loupeSamplePixels = 14;
QPointF loupeCentre(QPointF pointer, const QRectF &bounds);
QRectF loupeRect(QPointF centre);
// The image pixel under a view point: its column and row, y counted from the image's top.
QPoint imagePixelAt(QPointF viewPoint, double viewHeight, double scale);
// The 14 × 14 image pixels centred on the pointer, cut to the image; empty when none is inside.
QRect loupeSampleRect(QPointF pointer, double viewHeight, double scale, QSize imageSize);
// "#RRGGBB" of the image pixel under the point; "#FFFFFF" without an image or outside it.
QString pixelColorHex(const QImage &image, QPointF viewPoint, double viewHeight, double scale);
// "x, y • #RRGGBB" with the pointer's pixel position.
QString loupeLabelText(QPointF pointer, double viewHeight, double scale, const QString &hex);
// The colour label's bubble, centred under the loupe with its top edge 4 points below it. The
// text starts 6 points in and 3 points up.
QRectF loupeLabelBubble(const QRectF &loupe, QSizeF textSize);
constexpr double loupeLabelPaddingX = 6.0;
constexpr double loupeLabelPaddingY = 3.0;

// What changes on the screen when the selection rectangle changes (widget coordinates, with
// room for the frame's stroke): the part of either interior the other does not cover, and both
// frames. Moving a corner by a point repaints thin strips, not the whole rectangle.
QRegion changedSelectionArea(const std::optional<QRectF> &before,
                             const std::optional<QRectF> &after);

// --- Background

// What an overlay shows beneath its drawing. Without a compositing manager the translucent
// pixels of a window turn black, so the frozen image of the display stands in for the live
// desktop; with one, or when there is no image, the window is translucent.
enum class OverlayBackground { liveDesktop, frozenImage };
OverlayBackground overlayBackground(bool compositing, bool hasFrozenImage);

// --- Window selection

constexpr double minimumWindowWidth = 80.0;
constexpr double minimumWindowHeight = 60.0;

// Windows of other programs on a normal layer (no desktop or dock), on screen and at least
// 80 × 60 points. A window whose owner process is unknown still counts as another program's.
bool isSelectableWindow(const platform::WindowInfo &window);
QList<platform::WindowInfo> selectableWindows(const QList<platform::WindowInfo> &windows);
// "Application — Title", one of the two when the other is empty, "Window" without either.
QString windowLabelText(const platform::WindowInfo &window);
// The label's box, 10 points above the highlighted window, kept inside the view's top edge and
// at least 16 points from its left and bottom edges. The text starts 12 points in and 5 up.
QRectF windowLabelBox(const QRectF &highlight, QSizeF textSize, double viewHeight);
constexpr double windowLabelPaddingX = 12.0;
constexpr double windowLabelPaddingY = 5.0;
