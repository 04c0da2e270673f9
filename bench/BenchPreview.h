#pragma once

// The preview as the application builds it, over the harness's displays, writing markup back to
// `queue`; `made`, when given, is told the view it shows.

#include "model/CaptureQueue.h"
#include "preview/QtPreviewWindow.h"
#include "preview/QuickLookPreviewController.h"
#include "preview/QuickLookPreviewView.h"

#include <memory>

inline std::unique_ptr<QuickLookPreviewController>
makeBenchPreview(platform::Displays &displays, CaptureQueue &queue,
                 QuickLookPreviewView **made = nullptr)
{
    return std::make_unique<QuickLookPreviewController>(
        [&displays] { return std::make_unique<QtPreviewWindow>(displays, nullptr); },
        [&queue, made](QuickLookPreviewController &owner) -> QWidget * {
            PreviewServices services;
            services.applicationQueue = &queue;
            auto *view = new QuickLookPreviewView(owner, services);
            if (made)
                *made = view;
            return view;
        },
        QuickLookPreviewController::VisibleFrame{});
}
