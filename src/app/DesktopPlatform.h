#pragma once

#include "app/AppEnvironment.h"
#include "app/AppPlatform.h"

#include <memory>

namespace platform {
class AudioInputs;
class OverlayWindows;
class PanelWindows;
class PointerMonitor;
} // namespace platform

// The one place that picks the platform implementations: X11 for the screen, windows, panels,
// pointer and hot keys, FFmpeg and PulseAudio for recordings, libcanberra for sounds, Qt for the
// clipboard, dialogs and image files, Tesseract for text, XDG for login, sharing and URLs. Where
// Qt does not run on X11 (offscreen), each part falls back to one that works without it. Only the
// program and the tests and benchmarks of the real desktop link these.
namespace desktop {

// Picks the backend the movie players play with; called before the QApplication exists.
void selectMovieBackend();
// Made on the main thread after the QApplication.
AppPlatform makeAppPlatform();
// The application environment over the real desktop, with the notch tray.
AppEnvironment::Options environmentOptions();

std::shared_ptr<platform::PanelWindows> makePanelWindows();
std::shared_ptr<platform::OverlayWindows> makeOverlayWindows();
std::unique_ptr<platform::PointerMonitor> makePointerMonitor();
std::shared_ptr<platform::AudioInputs> makeAudioInputs();
// Without an X11 display the frame sources fail to start.
platform::RecordingPlatform makeRecordingPlatform();

} // namespace desktop
