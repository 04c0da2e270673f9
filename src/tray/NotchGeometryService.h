#pragma once

#include "model/SettingsEnums.h"
#include "platform/Displays.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <optional>

// Where the staging tray hangs on one display, and whether that display has a camera notch.
// Holds no state: every answer is computed from the screen geometry it is given, so a changed
// display arrangement shows up in the next call. All values are in screen coordinates (points,
// origin at the bottom-left of the main display, y upwards).
class NotchGeometry {
public:
    // The geometry of one display as the tray needs it.
    struct Screen {
        QRectF frame;
        // The display less the panels and docks that reserve space on it.
        QRectF visibleFrame;
        double safeAreaTopInset = 0;
        // The menu-bar areas left and right of a notch; absent on a display without one.
        std::optional<QRectF> auxiliaryTopLeftArea;
        std::optional<QRectF> auxiliaryTopRightArea;

        // A display as this desktop reports it: no camera notch, so no safe-area inset and
        // no auxiliary areas. Without a visible frame the whole frame counts as visible.
        static Screen fromDisplay(const platform::Display &display,
                                  std::optional<QRectF> visibleFrame = std::nullopt);
    };

    struct LayoutInfo {
        bool hasNotch = false;
        std::optional<QRectF> notchRect;
        double notchHeight = 0;
        double notchWidth = 0;
        // The point the tray hangs from.
        QPointF anchorCenter;
        // The y of the edge the tray's top sits on.
        double topEdgeY = 0;

        // Exact comparison of every field (Qt's rectangle and point comparisons are fuzzy).
        bool operator==(const LayoutInfo &other) const;
    };

    static LayoutInfo layoutInfo(const Screen &screen);
    // The panel rectangle for content of the given size; its size is the content size.
    static QRectF trayFrame(const Screen &screen, QSizeF contentSize, TrayPosition position);
};

// Where the camera notch of one display lies, as the notch panel sees it.
struct NotchGeometryData {
    NotchGeometry::Screen screen;
    bool hasNotch = false;
    // Screen coordinates; all zero without a notch.
    QRectF notchRect;
    // Kept also when there is no notch.
    double safeTopInset = 0;

    // The y of the display's top edge, where the panel hangs from.
    double anchorY() const;

    // Exact comparison of every field, the screen's included.
    bool operator==(const NotchGeometryData &other) const;
};

// Finds the notch of a display. Holds no state; main thread only.
class NotchGeometryService {
public:
    NotchGeometryData geometry(const NotchGeometry::Screen &screen) const;
};
