#pragma once

// The staging tray's tables as plain functions: its size in each state, the panel around it, the
// parts of the panel that take the pointer, the hover band, the outline, the keys and the
// horizontal paging. The window controller and its container apply them; tests call them
// directly.

#include "capture/CaptureNeighbours.h"
#include "model/SettingsEnums.h"
#include "tray/NotchGeometryService.h"

#include <QList>
#include <QPainterPath>
#include <QPoint>
#include <QRectF>
#include <QSet>
#include <QSizeF>
#include <QString>

// What the tray shows, as far as its size depends on it.
struct TrayContent {
    int itemCount = 0;
    bool recording = false;
    TraySize traySize = TraySize::regular;
    // Action buttons not switched off in the settings.
    int visibleButtons = 7;
};

// The action buttons left visible by the setting that lists the hidden ones (unknown words hide
// nothing).
int visibleTrayButtonCount(const QSet<QString> &disabledButtons);

// Whether the tray hangs from the display's notch: a notched display and the notch position.
bool isTrayAttached(const NotchGeometry::LayoutInfo &layout, TrayPosition position);

// The size of the tray itself (not of its panel) in a state, on a display.
QSizeF trayContentSize(TrayInteractionState state, TrayPosition position,
                       const NotchGeometry::Screen &screen, const TrayContent &content);
// The tray's size when there is no display at all.
QSizeF trayContentSizeWithoutScreen();

// The panel for the tray: always large enough for the expanded tray and for the current one,
// plus a transparent margin (40 wide, 20 high) for the shadow. Screen coordinates.
QRectF trayPanelFrame(TrayInteractionState state, TrayPosition position,
                      const NotchGeometry::Screen &screen, const TrayContent &content);
QSizeF trayPanelContentSize(QSizeF traySize);

// Where the tray's left edge lies across its panel: against the panel's margin on the side of a
// corner position, else centred.
double trayLeftInPanel(double panelWidth, double trayWidth, TrayPosition position);

// The parts of a panel of size `bounds` (its own coordinates, y downwards from the top edge the
// tray hangs from) that take clicks, drops and hovering. `current` and `expanded` are the tray's
// sizes in its current state and in the expanded state.
QList<QRectF> trayInteractiveRects(QSizeF bounds, TrayInteractionState state, QSizeF current,
                                   QSizeF expanded, bool attached, double notchWidth,
                                   double notchHeight, TrayPosition position = TrayPosition::notch);

// The strip at the top of a display whose hovering opens the tray: 400 × 20 centred on the
// tray's anchor, only for the notch and floating-top positions (empty otherwise).
QRectF trayHoverBand(const NotchGeometry::Screen &screen, TrayPosition position);

// The tray's drawn outline in the panel (same coordinates as trayInteractiveRects): its current
// size hanging from the top edge (placed across as trayLeftInPanel places it), with square top
// corners when attached.
QRectF trayOutlineRect(QSizeF bounds, QSizeF current, TrayPosition position = TrayPosition::notch);
double trayCornerRadius(double height, bool attached, bool expanded);
QPainterPath trayOutlinePath(const QRectF &rect, double radius, bool squareTop);

// What a key does to the tray.
enum class TrayKeyCommand : quint8 {
    none,
    collapse,
    hideWhenEmpty,
    save,
    copy,
    quickLook,
    recognizeText,
    pin,
    annotate,
    remove,
    selectPrevious,
    selectNext,
};

struct TrayKeyDecision {
    TrayKeyCommand command = TrayKeyCommand::none;
    // The key was used: nothing else receives it.
    bool consumed = false;

    bool operator==(const TrayKeyDecision &) const = default;
};

// The tray's keys: `key` is Qt's key, `text` what it types (letters are read from the key when
// it is one, so that a held modifier makes no difference). Outside the expanded state only
// Escape is used.
TrayKeyDecision trayKeyDecision(int key, const QString &text, bool expanded, bool hasSelection);

// A horizontal scroll of `delta` points (positive: towards the start of the strip): -1 selects
// the previous capture, +1 the next, 0 nothing. Each event counts alone.
int trayPagingStep(double delta);
constexpr double trayPagingThreshold = 18;

// Paging by wheel events. A touchpad's pixel deltas are judged as trayPagingStep judges a
// scroll. A mouse wheel reports no pixels, only its turn: each notch (120 eighths of a degree)
// pages one capture, and the parts of a notch a high-resolution wheel reports add up to one
// (a turn the other way starts afresh).
class TrayWheelPaging {
public:
    static constexpr int notch = 120;
    // The captures to page: negative towards the start of the strip, positive towards its end.
    int step(QPoint pixelDelta, QPoint angleDelta);

private:
    int m_partialNotch = 0;
    int m_partialPixels = 0;
};
