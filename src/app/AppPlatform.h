#pragma once

#include "platform/MoviePlayer.h"
#include "platform/RecordingPlatform.h"

#include <functional>
#include <memory>

namespace platform {
class AlertPresenter;
class AppleSignInSheet;
class Compositor;
class Displays;
class GlobalHotkeys;
class HttpTransport;
class Haptics;
class ImageWriter;
class LoginItem;
class OverlayWindows;
class PanelWindows;
class Pasteboard;
class PointerMonitor;
class SavePanel;
class ScreenCapture;
class ScreenCapturePermission;
class SecretStore;
class ShareDestinations;
class SoundPlayer;
class TextRecognizer;
class UrlOpener;
class WindowList;
class WindowSystem;
} // namespace platform

// Every desktop capability the program uses, chosen once at start-up and handed to the
// application environment, which passes the parts on to the objects it builds. The real desktop
// is desktop::makeAppPlatform(); tests hand in doubles instead.
struct AppPlatform {
    std::shared_ptr<platform::Displays> displays;
    std::shared_ptr<platform::ScreenCapture> screenCapture;
    std::shared_ptr<platform::WindowList> windowList;
    std::shared_ptr<platform::Compositor> compositor;
    std::shared_ptr<platform::WindowSystem> windowSystem;
    // How the selections' overlays go up and take the keyboard.
    std::shared_ptr<platform::OverlayWindows> overlayWindows;
    std::shared_ptr<platform::ScreenCapturePermission> screenCapturePermission;
    std::shared_ptr<platform::UrlOpener> urlOpener;
    std::shared_ptr<platform::SoundPlayer> soundPlayer;
    std::shared_ptr<platform::Haptics> haptics;
    std::shared_ptr<platform::AlertPresenter> alertPresenter;
    std::shared_ptr<platform::LoginItem> loginItem;
    std::shared_ptr<platform::Pasteboard> pasteboard;
    std::shared_ptr<platform::SavePanel> savePanel;
    std::shared_ptr<platform::ImageWriter> imageWriter;
    std::shared_ptr<platform::TextRecognizer> textRecognizer;
    std::shared_ptr<platform::ShareDestinations> shareDestinations;
    std::shared_ptr<platform::GlobalHotkeys> globalHotkeys;
    // Floating panels (the tray, the recording chooser and controls, the preview, the pins).
    std::shared_ptr<platform::PanelWindows> panelWindows;
    // A watch on the pointer over the whole desktop.
    std::function<std::unique_ptr<platform::PointerMonitor>()> makePointerMonitor;
    // The screen recorder's frames, movies, poster frames and sound.
    std::function<platform::RecordingPlatform()> makeRecordingPlatform;
    // Plays recordings in the preview; empty: recordings show their poster frame only.
    platform::MoviePlayerFactory makeMoviePlayer;
    // The account's secrets, backend connection and Apple sheet; without the first two the
    // program has no account.
    std::shared_ptr<platform::SecretStore> secretStore;
    std::shared_ptr<platform::HttpTransport> httpTransport;
    std::shared_ptr<platform::AppleSignInSheet> appleSignIn;
};
