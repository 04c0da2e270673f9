#pragma once

#include "app/AppPlatform.h"
#include "app/DesktopPlatform.h"
#include "platform/PanelWindows.h"
#include "platform/PointerMonitor.h"
#include "support/FakeAlertPresenter.h"
#include "support/FakeCompositor.h"
#include "support/FakeDisplays.h"
#include "support/FakeGlobalHotkeys.h"
#include "support/FakeHaptics.h"
#include "support/FakeImageWriter.h"
#include "support/FakeLoginItem.h"
#include "support/FakeOverlayWindows.h"
#include "support/FakePasteboard.h"
#include "support/FakeSavePanel.h"
#include "support/FakeScreenCapture.h"
#include "support/FakeScreenCapturePermission.h"
#include "support/FakeShareDestinations.h"
#include "support/FakeSoundPlayer.h"
#include "support/FakeTextRecognizer.h"
#include "support/FakeUrlOpener.h"
#include "support/FakeWindowList.h"
#include "support/FakeWindowSystem.h"

#include <memory>

// Every desktop part of the application environment as a double, over one 1920 × 1080
// display. The test keeps this object to reach the doubles; platform() hands out the parts.
struct FakeAppPlatform {
    std::shared_ptr<FakeDisplays> displays = std::make_shared<FakeDisplays>(
        QList<platform::Display>{FakeDisplays::make(1, QRect(0, 0, 1920, 1080), 1.0, true)});
    std::shared_ptr<FakeScreenCapture> screenCapture =
        std::make_shared<FakeScreenCapture>(*displays);
    std::shared_ptr<FakeWindowList> windowList = std::make_shared<FakeWindowList>();
    std::shared_ptr<FakeCompositor> compositor = std::make_shared<FakeCompositor>();
    std::shared_ptr<FakeWindowSystem> windowSystem = std::make_shared<FakeWindowSystem>();
    std::shared_ptr<FakeOverlayWindows> overlayWindows = std::make_shared<FakeOverlayWindows>();
    std::shared_ptr<FakeScreenCapturePermission> permission =
        std::make_shared<FakeScreenCapturePermission>();
    std::shared_ptr<FakeUrlOpener> urlOpener = std::make_shared<FakeUrlOpener>();
    std::shared_ptr<FakeSoundPlayer> soundPlayer = std::make_shared<FakeSoundPlayer>();
    std::shared_ptr<FakeHaptics> haptics = std::make_shared<FakeHaptics>();
    std::shared_ptr<FakeAlertPresenter> alertPresenter = std::make_shared<FakeAlertPresenter>();
    std::shared_ptr<FakeLoginItem> loginItem = std::make_shared<FakeLoginItem>();
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    std::shared_ptr<FakeSavePanel> savePanel = std::make_shared<FakeSavePanel>();
    std::shared_ptr<FakeImageWriter> imageWriter = std::make_shared<FakeImageWriter>();
    std::shared_ptr<FakeTextRecognizer> textRecognizer = std::make_shared<FakeTextRecognizer>();
    std::shared_ptr<FakeShareDestinations> shareDestinations =
        std::make_shared<FakeShareDestinations>();
    std::shared_ptr<FakeGlobalHotkeys> globalHotkeys = std::make_shared<FakeGlobalHotkeys>();

    AppPlatform platform() const
    {
        AppPlatform result;
        result.displays = displays;
        result.screenCapture = screenCapture;
        result.windowList = windowList;
        result.compositor = compositor;
        result.windowSystem = windowSystem;
        result.overlayWindows = overlayWindows;
        result.screenCapturePermission = permission;
        result.urlOpener = urlOpener;
        result.soundPlayer = soundPlayer;
        result.haptics = haptics;
        result.alertPresenter = alertPresenter;
        result.loginItem = loginItem;
        result.pasteboard = pasteboard;
        result.savePanel = savePanel;
        result.imageWriter = imageWriter;
        result.textRecognizer = textRecognizer;
        result.shareDestinations = shareDestinations;
        result.globalHotkeys = globalHotkeys;
        // Offscreen, these are Qt's plain panels, a pointer monitor that never starts and a
        // recorder whose frames never start.
        result.panelWindows = desktop::makePanelWindows();
        result.makePointerMonitor = &desktop::makePointerMonitor;
        result.makeRecordingPlatform = &desktop::makeRecordingPlatform;
        return result;
    }
};
