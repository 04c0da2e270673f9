#pragma once

#include "capture/ClipboardService.h"
#include "capture/FeedbackService.h"
#include "capture/SaveService.h"
#include "model/CaptureItem.h"
#include "model/CaptureQueue.h"
#include "model/PinNotifications.h"
#include "model/SettingsStore.h"
#include "model/UserDefaults.h"
#include "pins/PinItem.h"
#include "pins/PinManager.h"
#include "support/FakeDisplays.h"
#include "support/FakeHaptics.h"
#include "support/FakeImageWriter.h"
#include "support/FakeLoginItem.h"
#include "support/FakePanelWindows.h"
#include "support/FakePasteboard.h"
#include "support/FakePointerMonitor.h"
#include "support/FakeSavePanel.h"
#include "support/FakeSoundPlayer.h"
#include "support/FakeUrlOpener.h"
#include "support/PrivateSettingsAndQueue.h"
#include "support/TempDirScope.h"

#include <QList>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <memory>

inline QImage solidImage(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

inline CaptureItem makeCapture(QColor color = Qt::darkCyan,
                               std::optional<QUrl> videoURL = std::nullopt)
{
    static int seconds = 0;
    const QDateTime createdAt = QDateTime(QDate(2025, 3, 14), QTime(9, 26, 0)).addSecs(seconds++);
    return CaptureItem(QUuid::createUuid(), createdAt, std::nullopt, CaptureMode::area,
                       solidImage(64, 40, color), std::nullopt, videoURL,
                       CaptureItemState::pending());
}

inline PinItemPtr imagePin(QColor color, const QUuid &id = QUuid::createUuid())
{
    return std::make_shared<const PinItem>(PinContent::makeImage(solidImage(80, 60, color)),
                                           std::nullopt, id);
}

// Everything pins read, over doubles: a private settings file and temporary folder, one
// 1440 × 900 display whose visible frame is (0, 0, 1440, 875), recorded panels, clipboard,
// save panel, opener, image writer and sounds, and the pin-removed notification.
struct PinModel : PrivateSettingsAndQueue {
    PinModel()
    {
        displays->set({FakeDisplays::make(1, QRect(0, 0, 1440, 900), 1.0, true)});
        displays->setPointer(QPointF(700, 400));
        panels->defaultVisibleFrame = QRectF(0, 0, 1440, 875);
    }

    PinDeckServices services()
    {
        PinDeckServices result;
        result.displays = displays;
        result.panels = panels;
        result.makePointerMonitor = [this]() -> std::unique_ptr<platform::PointerMonitor> {
            auto monitor = std::make_unique<FakePointerMonitor>();
            monitors.append(monitor.get());
            return monitor;
        };
        result.actions.clipboard = &clipboard;
        result.actions.saving = &saving;
        result.actions.urlOpener = urlOpener;
        result.actions.feedback = &feedback;
        result.notifications = &notifications;
        return result;
    }

    // The identifiers named by "Corvanta.PinItemDeleted", in order.
    QList<QUuid> deleted() const
    {
        QList<QUuid> ids;
        for (const QList<QVariant> &call : deletions)
            ids << call.first().toUuid();
        return ids;
    }

    PinNotifications notifications;
    QSignalSpy deletions{&notifications, &PinNotifications::pinItemDeleted};
    std::shared_ptr<FakeDisplays> displays = std::make_shared<FakeDisplays>();
    std::shared_ptr<FakePanelWindows> panels = std::make_shared<FakePanelWindows>();
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    std::shared_ptr<FakeSavePanel> savePanel = std::make_shared<FakeSavePanel>();
    std::shared_ptr<FakeUrlOpener> urlOpener = std::make_shared<FakeUrlOpener>();
    std::shared_ptr<FakeImageWriter> imageWriter = std::make_shared<FakeImageWriter>();
    std::shared_ptr<FakeSoundPlayer> sounds = std::make_shared<FakeSoundPlayer>();
    FeedbackService feedback{sounds, std::make_shared<FakeHaptics>()};
    ClipboardService clipboard{pasteboard};
    SaveService saving{savePanel, imageWriter};
    QList<FakePointerMonitor *> monitors;
};
