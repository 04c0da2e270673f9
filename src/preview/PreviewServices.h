#pragma once

#include "platform/MoviePlayer.h"

#include <memory>

class CaptureQueue;
class OCRService;
class ShareService;
class TrayPinning;
namespace platform {
class Pasteboard;
class UrlOpener;
} // namespace platform

// What the preview reaches beyond its controller. Any member may be missing: the matching
// button then does nothing.
struct PreviewServices {
    // The application's queue: markup is written back here.
    CaptureQueue *applicationQueue = nullptr;
    OCRService *ocr = nullptr;
    std::shared_ptr<platform::Pasteboard> pasteboard;
    ShareService *share = nullptr;
    TrayPinning *pinning = nullptr;
    std::shared_ptr<platform::UrlOpener> urlOpener;
    platform::MoviePlayerFactory makePlayer;
};
