#pragma once

#include "model/CaptureItem.h"
#include "model/CaptureQueue.h"
#include "model/SettingsStore.h"
#include "model/UserDefaults.h"
#include "support/FakeCompositor.h"
#include "support/FakeDisplays.h"
#include "support/FakeLoginItem.h"
#include "support/FakePanelWindows.h"
#include "support/FakePointerMonitor.h"
#include "support/FakeScreenRecording.h"
#include "support/PrivateSettingsAndQueue.h"
#include "support/TempDirScope.h"
#include "tray/NotchTrackingContainerView.h"
#include "tray/NotchWindowController.h"
#include "tray/TrayControlTimers.h"

#include <QCoreApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QUuid>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

// A clock the test moves on: actions run in the order they fall due while advance() passes
// their time.
class ManualTrayTimers final : public TrayTimerSource {
public:
    std::unique_ptr<Pending> start(std::chrono::milliseconds delay,
                                   std::function<void()> action) override
    {
        auto handle = std::make_unique<Handle>(std::move(action));
        m_entries.push_back({m_now + delay, m_sequence++, delay, handle->action});
        return handle;
    }

    void advance(std::chrono::milliseconds duration)
    {
        const std::chrono::milliseconds end = m_now + duration;
        while (true) {
            std::erase_if(m_entries, [](const Entry &entry) { return entry.action.expired(); });
            auto next = std::min_element(
                m_entries.begin(), m_entries.end(), [](const Entry &a, const Entry &b) {
                    return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
                });
            if (next == m_entries.end() || next->due > end)
                break;
            m_now = next->due;
            const std::shared_ptr<std::function<void()>> action = next->action.lock();
            m_entries.erase(next);
            const std::function<void()> run = *action;
            run();
        }
        m_now = end;
    }

    // The delays of the actions still waiting, in the order they were started.
    QList<std::chrono::milliseconds> pendingDelays()
    {
        std::erase_if(m_entries, [](const Entry &entry) { return entry.action.expired(); });
        QList<std::chrono::milliseconds> delays;
        for (const Entry &entry : m_entries)
            delays << entry.delay;
        return delays;
    }

private:
    struct Handle final : Pending {
        explicit Handle(std::function<void()> work)
            : action(std::make_shared<std::function<void()>>(std::move(work)))
        {
        }
        std::shared_ptr<std::function<void()>> action;
    };
    struct Entry {
        std::chrono::milliseconds due;
        quint64 sequence;
        std::chrono::milliseconds delay;
        std::weak_ptr<std::function<void()>> action;
    };

    std::chrono::milliseconds m_now{0};
    quint64 m_sequence = 0;
    std::vector<Entry> m_entries;
};

// A 1920 × 1080 display (screen coordinates) with a 32 pt menu bar and a notch 180 wide between
// x 870 and 1050, as a laptop display reports it.
inline NotchGeometry::Screen notchedScreen(const platform::Display &display)
{
    NotchGeometry::Screen screen;
    screen.frame = display.screenFrame;
    const QRectF f = display.screenFrame;
    screen.visibleFrame = QRectF(f.x(), f.y(), f.width(), f.height() - 32);
    screen.safeAreaTopInset = 32;
    const double top = f.y() + f.height() - 32;
    const double notchLeft = f.x() + f.width() / 2 - 90;
    screen.auxiliaryTopLeftArea = QRectF(f.x(), top, notchLeft - f.x(), 32);
    screen.auxiliaryTopRightArea =
        QRectF(notchLeft + 180, top, f.x() + f.width() - notchLeft - 180, 32);
    return screen;
}

inline CaptureItem makeTrayItem(const QDateTime &createdAt)
{
    QImage image(64, 40, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return CaptureItem(QUuid::createUuid(), createdAt, std::nullopt, CaptureMode::area, image,
                       std::nullopt, std::nullopt, CaptureItemState::pending());
}

// What the tray reads: a private settings file (auto-hide off), captures in a private
// temporary folder and an empty queue.
struct TrayModel : PrivateSettingsAndQueue {
    TrayModel() { settings.setAutoHideDelay(0); }
};

// The window controller over doubles: one 1920 × 1080 display, recorded panel calls, a
// manual clock for the timers, a recorder the test switches, no compositor (fades end at once).
// Displays whose id is in `notchedDisplays` have a notch.
class TrayControllerTest : public ::testing::Test {
protected:
    void TearDown() override { controller.reset(); }

    NotchWindowController &build()
    {
        auto monitor = std::make_unique<FakePointerMonitor>();
        pointer = monitor.get();
        NotchWindowController::Services services{
            .queue = queue,
            .settings = *settings,
            .callbacks = {
                .onSave = [this](const CaptureItem &item) { calls << "save " + item.fileName(); },
                .onCopy = [this](const CaptureItem &item) { calls << "copy " + item.fileName(); },
                .onDelete =
                    [this](const CaptureItem &item) {
                        calls << "delete " + item.fileName();
                        queue.remove(item.id());
                    },
                .onStopRecording = {},
                .onCancelRecording = {},
            },
            .displays = displays,
            .recorder = &recorder,
            .neighbours = neighbours,
            .panels = panels,
            .pointerMonitor = std::move(monitor),
            .compositor = &compositor,
            .screenGeometry =
                [this](const platform::Display &display) {
                    if (notchedDisplays.contains(display.id))
                        return notchedScreen(display);
                    return NotchGeometry::Screen::fromDisplay(display);
                },
            .timers = timers,
        };
        controller = std::make_unique<NotchWindowController>(std::move(services));
        return *controller;
    }

    CaptureItem stage()
    {
        const CaptureItem item = makeTrayItem(m_nextTime);
        m_nextTime = m_nextTime.addSecs(60);
        queue.enqueue(item);
        return item;
    }

    platform::Display display(platform::DisplayId id) const { return *displays.display(id); }
    NotchTrackingContainerView &panel() const { return *controller->panel(); }

    // A point of the panel (its coordinates, y downwards) in screen coordinates.
    QPointF onScreen(QPointF local) const
    {
        const QRectF frame = controller->panelFrame();
        return {frame.x() + local.x(), frame.y() + frame.height() - local.y()};
    }
    // Puts the pointer there and reports a move over another program's window.
    void movePointer(QPointF screenPoint)
    {
        displays.setPointer(screenPoint);
        pointer->emitMove(screenPoint.toPoint());
        QCoreApplication::processEvents();
    }

    TrayModel model;
    SettingsStore *settings = &model.settings;
    CaptureQueue &queue = model.queue;
    FakeDisplays displays{{FakeDisplays::make(1, QRect(0, 0, 1920, 1080), 1.0, true)}};
    QSet<platform::DisplayId> notchedDisplays;
    std::shared_ptr<FakePanelWindows> panels = std::make_shared<FakePanelWindows>();
    FakePointerMonitor *pointer = nullptr;
    FakeCompositor compositor{false};
    std::shared_ptr<ManualTrayTimers> timers = std::make_shared<ManualTrayTimers>();
    FakeScreenRecording recorder;
    TrayNeighbours neighbours;
    QStringList calls;
    std::unique_ptr<NotchWindowController> controller;

private:
    QDateTime m_nextTime{QDate(2026, 12, 6), QTime(9, 0, 0)};
};
