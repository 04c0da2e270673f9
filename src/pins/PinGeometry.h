#pragma once

#include "model/SettingsEnums.h"
#include "pins/StackLayout.h"
#include "platform/Displays.h"

#include <QList>
#include <QRectF>
#include <QSizeF>
#include <optional>

// Where the pin deck and floating pins go. Every rectangle here is in screen coordinates (points,
// y upwards from the bottom-left of the main display).
namespace PinGeometry {

// A padding that leaves the corner on the display: at most half the visible frame's shorter side.
double paddingWithin(double padding, const QRectF &visibleFrame);

// The visible frame to place into: the display's, else an 800 × 600 area at the origin.
QRectF visibleFrameOr800x600(const std::optional<QRectF> &visibleFrame);

// The widest the deck fans out, in degrees: a slight fan at every pin size.
inline constexpr double largestDeckSpread = 20.0;

// One deck card: pinSize wide, pinSize / 1.4 high.
QSizeF deckCardSize(double pinSize);
// The deck's pile for a pin size: cards of deckCardSize fanned over s × 0.18 degrees (at most
// largestDeckSpread). Given the area the pile has (the panel), the fan overlaps more to stay
// inside its width, and a card too large to lie whole in it, turned or not, is made smaller.
StackLayoutConfig deckConfig(double pinSize, const std::optional<QSizeF> &area = std::nullopt);
// The deck panel: room for a fan of twelve cards, in the chosen corner of the visible frame,
// inset by the padding. Width s + s × 0.72 × 11 + 80, height s / 1.4 + 80, or what the fanned
// cards need when that is more.
QRectF deckFrame(const QRectF &visibleFrame, double pinSize, double padding,
                 PinPlacement placement);
// The window actually shown for that frame: its chosen corner held inside the visible frame,
// and cut to the visible frame, so the panel never covers other displays or reaches off the
// screen.
QRectF deckWindowFrame(const QRectF &deckFrame, const QRectF &visibleFrame, PinPlacement placement);

// A floating pin's size for a picture of previewSize points (absent: none), longest side at
// most maxSide, the shorter at least 120.
QSizeF fitSize(const std::optional<QSizeF> &previewSize, double maxSide, double scale);
// A floating pin's window: in the corner, after (away from the corner) the earlier windows
// whose heights are given, 16 points apart, held inside the visible frame. No visible frame:
// 400 × 300 at (200, 200).
QRectF floatingFrame(const std::optional<QRectF> &visibleFrame, QSizeF size, double padding,
                     PinPlacement placement, const QList<double> &earlierHeights);

// The Qt window geometry of a screen rectangle: the display holding its centre keeps its own
// origin and measures inside in points, as Qt does.
QRect qtGeometry(const QRectF &screenRect, const QList<platform::Display> &displays);

} // namespace PinGeometry
