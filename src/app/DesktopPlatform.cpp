#include "app/DesktopPlatform.h"

#include "platform/ffmpeg/FfmpegGifConverter.h"
#include "platform/ffmpeg/FfmpegMoviePlayer.h"
#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "platform/ffmpeg/FfmpegPosterFrames.h"
#include "platform/linux/AbsentAppleSignInSheet.h"
#include "platform/linux/AbsentHaptics.h"
#include "platform/linux/AbsentPointerMonitor.h"
#include "platform/linux/CanberraSoundPlayer.h"
#include "platform/linux/DesktopUrlOpener.h"
#include "platform/linux/MessageBoxAlertPresenter.h"
#include "platform/linux/SecretServiceStore.h"
#include "platform/linux/TesseractTextRecognizer.h"
#include "platform/linux/UnavailableFrameSources.h"
#include "platform/linux/XdgAutostartLoginItem.h"
#include "platform/linux/XdgShareDestinations.h"
#include "platform/pulse/PulseAudioInputs.h"
#include "platform/qt/NetworkHttpTransport.h"
#include "platform/qt/QtImageWriter.h"
#include "platform/qt/QtOverlayWindows.h"
#include "platform/qt/QtPanelWindows.h"
#include "platform/qt/QtPasteboard.h"
#include "platform/qt/QtSavePanel.h"
#include "platform/x11/X11FrameSource.h"
#include "platform/x11/X11GlobalHotkeys.h"
#include "platform/x11/X11OverlayWindows.h"
#include "platform/x11/X11PanelWindows.h"
#include "platform/x11/X11Platform.h"
#include "platform/x11/X11PointerMonitor.h"
#include "platform/x11/X11ScreenCapturePermission.h"
#include "platform/x11/X11WindowSystem.h"

#include <QGuiApplication>

namespace desktop {
namespace {

// Qt's own connection when Qt runs on X11: windows it made are ours to manage on it.
xcb_connection_t *qtX11Connection()
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

} // namespace

void selectMovieBackend()
{
    platform::selectMovieBackend();
}

AppPlatform makeAppPlatform()
{
    platform::ScreenshotPlatform screenshots = platform::makeX11ScreenshotPlatform();
    AppPlatform result;
    result.displays = screenshots.displays;
    result.screenCapture = screenshots.screenCapture;
    result.windowList = screenshots.windowList;
    result.compositor = screenshots.compositor;
    result.windowSystem = platform::makeX11WindowSystem();
    result.overlayWindows = makeOverlayWindows();
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
    result.panelWindows = makePanelWindows();
    result.makeMoviePlayer = platform::makeFfmpegMoviePlayers();
    result.makePointerMonitor = &makePointerMonitor;
    result.makeRecordingPlatform = &makeRecordingPlatform;
    result.secretStore = std::make_shared<platform::SecretServiceStore>();
    result.httpTransport = std::make_shared<platform::NetworkHttpTransport>();
    result.appleSignIn = std::make_shared<platform::AbsentAppleSignInSheet>();
    return result;
}

AppEnvironment::Options environmentOptions()
{
    AppEnvironment::Options options;
    options.makePlatform = &makeAppPlatform;
    options.notchTray = true;
    return options;
}

std::shared_ptr<platform::PanelWindows> makePanelWindows()
{
    if (xcb_connection_t *connection = qtX11Connection())
        return std::make_shared<platform::X11PanelWindows>(connection);
    return std::make_shared<platform::QtPanelWindows>();
}

std::shared_ptr<platform::OverlayWindows> makeOverlayWindows()
{
    if (xcb_connection_t *connection = qtX11Connection())
        return std::make_shared<platform::X11OverlayWindows>(connection);
    return std::make_shared<platform::QtOverlayWindows>();
}

std::unique_ptr<platform::PointerMonitor> makePointerMonitor()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return std::make_unique<platform::X11PointerMonitor>();
    return std::make_unique<platform::AbsentPointerMonitor>();
}

std::shared_ptr<platform::AudioInputs> makeAudioInputs()
{
    return std::make_shared<platform::PulseAudioInputs>();
}

platform::RecordingPlatform makeRecordingPlatform()
{
    platform::RecordingPlatform recordingPlatform;
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        recordingPlatform.frameSources = std::make_shared<platform::X11FrameSources>();
    else
        recordingPlatform.frameSources = std::make_shared<platform::UnavailableFrameSources>();
    recordingPlatform.movieWriters = std::make_shared<platform::FfmpegMovieWriters>();
    recordingPlatform.posterFrames = std::make_shared<platform::FfmpegPosterFrames>();
    recordingPlatform.audioInputs = makeAudioInputs();
    recordingPlatform.gifConverter = std::make_shared<platform::FfmpegGifConverter>();
    return recordingPlatform;
}

} // namespace desktop
