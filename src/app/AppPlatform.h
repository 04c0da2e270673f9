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
// application environment, which passes the parts on to the objects it builds. Tests hand in
// doubles instead.
struct AppPlatform {
    std::shared_ptr<platform::Displays> displays;
    std::shared_ptr<platform::ScreenCapture> screenCapture;
    std::shared_ptr<platform::WindowList> windowList;
    std::shared_ptr<platform::Compositor> compositor;
    std::shared_ptr<platform::WindowSystem> windowSystem;
    // Empty: the selections use the window system's own overlays.
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
    // Floating panels (the recording chooser and controls); empty: the window system's own.
    std::shared_ptr<platform::PanelWindows> panelWindows;
    // A watch on the pointer over the whole desktop; empty: the window system's own.
    std::function<std::unique_ptr<platform::PointerMonitor>()> makePointerMonitor;
    // The screen recorder's frames, movies, poster frames and sound; empty: the real ones.
    std::function<platform::RecordingPlatform()> makeRecordingPlatform;
    // Plays recordings in the preview; empty: recordings show their poster frame only.
    platform::MoviePlayerFactory makeMoviePlayer;
    // The account's secrets, backend connection and Apple sheet; without the first two the
    // program has no account.
    std::shared_ptr<platform::SecretStore> secretStore;
    std::shared_ptr<platform::HttpTransport> httpTransport;
    std::shared_ptr<platform::AppleSignInSheet> appleSignIn;
};

// The real desktop: X11 for the screen, windows, panels, pointer and hot keys, FFmpeg and
// PulseAudio for recordings, libcanberra for sounds, Qt for the clipboard, dialogs and image
// files, Tesseract for text, XDG for login, sharing and URLs.
// Made on the main thread after the QApplication.
AppPlatform makeDesktopPlatform();
