#pragma once

#include "platform/OverlayWindows.h"

#include <QStringList>
#include <QWindow>

// Overlays placed exactly over their displays' points, with no Qt screen. Records
// "opened(<left edge>)" and "closed(<left edge>, visible=<bool>)", the window's left edge telling
// the displays apart.
class FakeOverlayWindows : public platform::OverlayWindows {
public:
    platform::OverlayPlacement placement(const platform::Display &display) const override
    {
        return {nullptr, QRectF(QPointF(display.rootRect.topLeft()), display.captureFrame.size())
                             .toAlignedRect()};
    }
    void opened(QWindow *window) override
    {
        calls << QStringLiteral("opened(%1)").arg(window->geometry().topLeft().x());
    }
    void closed(QWindow *window) override
    {
        calls << QStringLiteral("closed(%1, visible=%2)")
                     .arg(window->geometry().topLeft().x())
                     .arg(window->isVisible() ? "true" : "false");
    }

    QStringList calls;
};
