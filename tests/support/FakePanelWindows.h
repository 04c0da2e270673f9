#pragma once

#include "platform/PanelWindows.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QWidget>

// Panels that only record what was asked of them. visibleFrame() answers `visibleFrames` for a
// display id when given, else `defaultVisibleFrame` (nothing unless set).
class FakePanelWindows : public platform::PanelWindows {
public:
    struct Prepared {
        QPointer<QWidget> panel;
        platform::PanelLevel level;
    };

    void prepare(QWidget *panel, platform::PanelLevel level) override
    {
        prepared.append({panel, level});
    }
    void setInputRegion(QWidget *panel, const QRegion &region) override
    {
        inputRegions.insert(panel, region);
        ++inputRegionCalls;
    }
    std::optional<QRectF> visibleFrame(const platform::Display &display) const override
    {
        if (const auto found = visibleFrames.constFind(display.id);
            found != visibleFrames.constEnd())
            return found.value();
        return defaultVisibleFrame;
    }

    bool wasPrepared(const QWidget *panel) const
    {
        for (const Prepared &entry : prepared) {
            if (entry.panel == panel)
                return true;
        }
        return false;
    }
    // The last region given for the panel; nothing when none was given.
    std::optional<QRegion> inputRegion(const QWidget *panel) const
    {
        if (const auto found = inputRegions.constFind(panel); found != inputRegions.constEnd())
            return found.value();
        return std::nullopt;
    }

    QList<Prepared> prepared;
    QHash<const QWidget *, QRegion> inputRegions;
    int inputRegionCalls = 0;
    QHash<platform::DisplayId, QRectF> visibleFrames;
    std::optional<QRectF> defaultVisibleFrame;
};
