#pragma once

#include "RealClipboardFixture.h"
#include "platform/PointerMonitor.h"
#include "platform/x11/X11Platform.h"
#include "tray/NotchWindowController.h"

#include <memory>

// A staging tray on the harness's displays and compositor, with the program's own panels and
// timers.
inline std::unique_ptr<NotchWindowController>
makeDesktopTray(CaptureQueue &queue, SettingsStore &settings,
                const platform::ScreenshotPlatform &desktop, StagingTrayCallbacks callbacks,
                TrayNeighbours neighbours = {}, ScreenRecording *recorder = nullptr)
{
    return std::make_unique<NotchWindowController>(NotchWindowController::Services{
        .queue = queue,
        .settings = settings,
        .callbacks = std::move(callbacks),
        .displays = *desktop.displays,
        .recorder = recorder,
        .neighbours = std::move(neighbours),
        .panels = nullptr,
        .pointerMonitor = nullptr,
        .compositor = desktop.compositor.get(),
        .screenGeometry = {},
        .timers = nullptr,
    });
}

// A coordinator with the real clipboard, the harness's displays and compositor, and a staging
// tray on them made by the test with the callbacks and neighbours it needs.
class DesktopTrayFixture : public RealClipboardFixture {
protected:
    void SetUp() override
    {
        RealClipboardFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_desktop = platform::makeX11ScreenshotPlatform();
        ASSERT_FALSE(m_desktop.displays->displays().isEmpty());
    }
    // The tray goes first, then the coordinator, then the service it was given.
    void TearDown() override
    {
        m_trayController.reset();
        m_coordinator.reset();
    }

    // Copies go through the coordinator, as in the program.
    StagingTrayCallbacks copyThroughCoordinator()
    {
        StagingTrayCallbacks callbacks;
        callbacks.onCopy = [this](const CaptureItem &item) { coordinator().copyCapture(item); };
        return callbacks;
    }

    NotchWindowController &makeTray(StagingTrayCallbacks callbacks, TrayNeighbours neighbours = {},
                                    ScreenRecording *recorder = nullptr)
    {
        m_trayController = makeDesktopTray(m_queue, m_settings, m_desktop, std::move(callbacks),
                                           std::move(neighbours), recorder);
        return *m_trayController;
    }

    platform::ScreenshotPlatform m_desktop;
    std::unique_ptr<NotchWindowController> m_trayController;
};
