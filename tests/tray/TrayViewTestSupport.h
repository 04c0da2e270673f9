#pragma once

#include "model/CaptureQueue.h"
#include "tray/CaptureTrayView.h"
#include "tray/TrayNeighbours.h"

#include <QList>
#include <QUuid>
#include <chrono>
#include <memory>
#include <optional>

// The preview window as the tray sees it: remembers what it showed, closes like the real one
// (which also ends its persistence) and can be made visible or persistent by the test.
class FakeTrayPreview : public TrayPreview {
public:
    void show(const CaptureItem &item, CaptureQueue &,
              std::function<void(const CaptureItem &)> save,
              std::function<void(const CaptureItem &)> copy,
              std::function<void(const CaptureItem &)> remove) override
    {
        shown << item.id();
        current = item.id();
        visible = true;
        onSave = std::move(save);
        onCopy = std::move(copy);
        onDelete = std::move(remove);
    }
    void close() override
    {
        ++closeCount;
        visible = false;
        current.reset();
        persistent = false;
    }
    bool isPersistent() const override { return persistent; }
    void setPersistent(bool value) override { persistent = value; }
    std::optional<QUuid> currentItemID() const override { return current; }
    bool isWindowVisible() const override { return visible; }

    QList<QUuid> shown;
    int closeCount = 0;
    bool persistent = false;
    bool visible = false;
    std::optional<QUuid> current;
    std::function<void(const CaptureItem &)> onSave, onCopy, onDelete;
};

class FakeTrayPinning : public TrayPinning {
public:
    QCoro::Task<bool> pin(CaptureItem item) override
    {
        if (refuse)
            co_return false;
        pinned << item.id();
        co_return true;
    }
    // Answers as the deck does for a capture whose picture can no longer be read.
    bool refuse = false;
    QList<QUuid> pinned;
};

// A hand-stepped clock for the hover preview: advance() runs the pending step once its delay
// has passed.
class ManualHoverClock {
public:
    std::unique_ptr<TrayHoverScheduler> scheduler() { return std::make_unique<Scheduler>(m_state); }

    void advance(std::chrono::milliseconds by)
    {
        if (!m_state->remaining)
            return;
        if (by < *m_state->remaining) {
            *m_state->remaining -= by;
            return;
        }
        m_state->remaining.reset();
        const std::function<void()> work = std::exchange(m_state->work, {});
        work();
    }
    bool isPending() const { return m_state->remaining.has_value(); }

private:
    struct State {
        std::optional<std::chrono::milliseconds> remaining;
        std::function<void()> work;
    };
    class Scheduler : public TrayHoverScheduler {
    public:
        explicit Scheduler(std::shared_ptr<State> state) : m_state(std::move(state)) {}
        void start(std::chrono::milliseconds delay, std::function<void()> work) override
        {
            m_state->remaining = delay;
            m_state->work = std::move(work);
        }
        void cancel() override
        {
            m_state->remaining.reset();
            m_state->work = {};
        }
        bool isPending() const override { return m_state->remaining.has_value(); }

    private:
        std::shared_ptr<State> m_state;
    };

    std::shared_ptr<State> m_state = std::make_shared<State>();
};
