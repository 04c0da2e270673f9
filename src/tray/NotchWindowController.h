#pragma once

// PUBLIC SURFACE FIXED FOR THE TRAY VIEW: keep these declarations; add what you need.

#include "capture/CaptureNeighbours.h"
#include "model/SettingsEnums.h"
#include "platform/Displays.h"
#include "tray/NotchGeometryService.h"
#include "tray/TrayNeighbours.h"

#include <QObject>
#include <QSizeF>
#include <functional>
#include <memory>
#include <optional>

class CaptureQueue;
class CaptureTrayView;
class ScreenRecording;
class SettingsStore;

namespace platform {
class Compositor;
class PanelWindows;
class PointerMonitor;
} // namespace platform

// Owns the staging tray's panel: sizes and places it for each interaction state, shows and
// hides it with a fade, runs the state machine with its timers, and follows the queue and the
// tray settings. Main thread only; one for the program's life.
class NotchWindowController final : public QObject, public StagingTray {
    Q_OBJECT

public:
    struct Services {
        CaptureQueue &queue;
        SettingsStore &settings;
        StagingTrayCallbacks callbacks;
        platform::Displays &displays;
        // Null: no recording is ever running.
        ScreenRecording *recorder = nullptr;
        TrayNeighbours neighbours;
        // Null in tests that need no real panel behaviour beyond Qt's.
        std::shared_ptr<platform::PanelWindows> panels;
        std::unique_ptr<platform::PointerMonitor> pointerMonitor;
        const platform::Compositor *compositor = nullptr;
    };

    explicit NotchWindowController(Services services, QObject *parent = nullptr);
    ~NotchWindowController() override;

    // Read by the tray view.
    TrayInteractionState interactionState() const;
    bool isPinned() const;
    bool hasNotch() const override;
    double notchHeight() const;
    double notchWidth() const;
    double expansionProgress() const;
    // Stores the value only when it differs by more than 0.01.
    void reportExpansionProgress(double progress);
    // The size of the tray itself (not of its panel) in a state.
    QSizeF visibleContentSize(TrayInteractionState state,
                              std::optional<TrayPosition> position = std::nullopt,
                              std::optional<platform::Display> screen = std::nullopt) const;
    bool isRecording() const;

    // Optional actions of the tray's keys and buttons; unset ones do nothing.
    std::function<void(const CaptureItem &)> onQuickLook;
    std::function<void(const CaptureItem &)> onOCR;
    std::function<void(const CaptureItem &)> onAnnotate;

signals:
    void interactionStateChanged(TrayInteractionState state);
    void isPinnedChanged(bool pinned);
    void notchMetricsChanged();
    void expansionProgressChanged(double progress);
    // The tray's material or accent changed: draw again.
    void appearanceChanged();
};
