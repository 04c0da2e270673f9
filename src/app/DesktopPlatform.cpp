// The one place that picks the platform implementations.

#include "app/AppPlatform.h"

#include "platform/Alerts.h"
#include "platform/PanelWindows.h"
#include "platform/PointerMonitor.h"
#include "platform/RecordingPlatform.h"
#include "platform/XdgAutostartLoginItem.h"
#include "platform/linux/AbsentAppleSignInSheet.h"
#include "platform/linux/AbsentHaptics.h"
#include "platform/linux/CanberraSoundPlayer.h"
#include "platform/linux/DesktopUrlOpener.h"
#include "platform/linux/MessageBoxAlertPresenter.h"
#include "platform/linux/SecretServiceStore.h"
#include "platform/linux/TesseractTextRecognizer.h"
#include "platform/linux/XdgShareDestinations.h"
#include "platform/qt/NetworkHttpTransport.h"
#include "platform/qt/QtImageWriter.h"
#include "platform/qt/QtPasteboard.h"
#include "platform/qt/QtSavePanel.h"
#include "platform/x11/X11GlobalHotkeys.h"
#include "platform/x11/X11Platform.h"
#include "platform/x11/X11ScreenCapturePermission.h"
#include "platform/x11/X11WindowSystem.h"

AppPlatform makeDesktopPlatform()
{
    platform::ScreenshotPlatform screenshots = platform::makeX11ScreenshotPlatform();
    AppPlatform result;
    result.displays = screenshots.displays;
    result.screenCapture = screenshots.screenCapture;
    result.windowList = screenshots.windowList;
    result.compositor = screenshots.compositor;
    result.windowSystem = platform::makeX11WindowSystem();
    result.screenCapturePermission =
        std::make_shared<platform::X11ScreenCapturePermission>(screenshots.screenCapture);
    result.urlOpener = std::make_shared<platform::DesktopUrlOpener>();
    result.soundPlayer = std::make_shared<platform::CanberraSoundPlayer>();
    result.haptics = std::make_shared<platform::AbsentHaptics>();
    result.alertPresenter = std::make_shared<platform::MessageBoxAlertPresenter>();
    result.loginItem = std::make_shared<platform::XdgAutostartLoginItem>();
    result.pasteboard = std::make_shared<platform::QtPasteboard>();
    result.savePanel = std::make_shared<platform::QtSavePanel>();
    result.imageWriter = std::make_shared<platform::QtImageWriter>();
    result.textRecognizer = std::make_shared<platform::TesseractTextRecognizer>();
    result.shareDestinations = std::make_shared<platform::XdgShareDestinations>();
    result.globalHotkeys = std::make_shared<platform::X11GlobalHotkeys>();
    result.panelWindows = platform::makePanelWindows();
    result.makeMoviePlayer = platform::makeQtMoviePlayers();
    result.makePointerMonitor = [] { return platform::makePointerMonitor(); };
    result.makeRecordingPlatform = &platform::makeRecordingPlatform;
    result.secretStore = std::make_shared<platform::SecretServiceStore>();
    result.httpTransport = std::make_shared<platform::NetworkHttpTransport>();
    result.appleSignIn = std::make_shared<platform::AbsentAppleSignInSheet>();
    return result;
}
