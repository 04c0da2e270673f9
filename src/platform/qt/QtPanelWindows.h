#pragma once

#include "platform/PanelWindows.h"

namespace platform {

// Panels where Qt runs without a window system of ours to talk to (offscreen, Wayland): Qt's
// flags and attributes only. Input regions are not available and the visible frame is unknown.
class QtPanelWindows : public PanelWindows {
public:
    void prepare(QWidget *panel, PanelLevel level) override;
    void setInputRegion(QWidget *panel, const QRegion &region) override;
    std::optional<QRectF> visibleFrame(const Display &display) const override;

    // The widget attributes every panel needs, set before its native window exists.
    static void setPanelAttributes(QWidget *panel);
};

} // namespace platform
