#pragma once

#include "model/CaptureQueue.h"
#include "platform/ffmpeg/FfmpegMoviePlayer.h"
#include "preview/QtPreviewWindow.h"
#include "preview/QuickLookPreviewController.h"
#include "preview/QuickLookPreviewView.h"

#include <memory>

// The preview as the program makes it, on the harness's displays: its own window, markup written
// back into `queue`, recordings played by Qt Multimedia.
inline std::unique_ptr<QuickLookPreviewController> makeDesktopPreview(platform::Displays &displays,
                                                                      CaptureQueue &queue)
{
    return std::make_unique<QuickLookPreviewController>(
        [&displays] { return std::make_unique<QtPreviewWindow>(displays, nullptr); },
        [&queue](QuickLookPreviewController &owner) -> QWidget * {
            PreviewServices services;
            services.applicationQueue = &queue;
            services.makePlayer = platform::makeFfmpegMoviePlayers();
            return new QuickLookPreviewView(owner, services);
        },
        [] { return std::optional<QRectF>(); });
}

// The preview's window while it is open.
inline QWidget *desktopPreviewPanel(const QuickLookPreviewController &preview)
{
    auto *window = dynamic_cast<QtPreviewWindow *>(preview.window());
    return window ? window->widget() : nullptr;
}
