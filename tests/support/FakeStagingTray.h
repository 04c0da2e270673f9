#pragma once

#include "capture/CaptureNeighbours.h"
#include "model/SettingsEnums.h"
#include "support/EventLog.h"

// The staging tray: records "tray.show(<state>)", "tray.updateLayout",
// "tray.hide(force)" / "tray.hide" and "tray.reconcile", and keeps whether it
// shows.
class FakeStagingTray : public StagingTray {
public:
    explicit FakeStagingTray(EventLog &log) : m_log(log) {}

    static QString stateName(TrayInteractionState state)
    {
        switch (state) {
        case TrayInteractionState::compact:
            return QStringLiteral("compact");
        case TrayInteractionState::confirmation:
            return QStringLiteral("confirmation");
        case TrayInteractionState::expanded:
            return QStringLiteral("expanded");
        }
        return {};
    }

    void show(std::optional<platform::Display> screen, TrayInteractionState state) override
    {
        m_log.add(QStringLiteral("tray.show(%1)").arg(stateName(state)));
        shownScreen = screen;
        visible = true;
        lastState = state;
    }
    void updateLayout(std::optional<TrayPosition> position,
                      std::optional<platform::Display> screen) override
    {
        m_log.add(QStringLiteral("tray.updateLayout"));
        layoutPosition = position;
        layoutScreen = screen;
    }
    void hide(bool force) override
    {
        m_log.add(force ? QStringLiteral("tray.hide(force)") : QStringLiteral("tray.hide"));
        visible = false;
    }
    void reconcileAfterQueueChange() override { m_log.add(QStringLiteral("tray.reconcile")); }
    bool hasNotch() const override { return notch; }
    bool isWindowVisible() const override { return visible; }

    bool notch = false;
    bool visible = false;
    std::optional<TrayInteractionState> lastState;
    std::optional<platform::Display> shownScreen;
    std::optional<TrayPosition> layoutPosition;
    std::optional<platform::Display> layoutScreen;

private:
    EventLog &m_log;
};

// Makes one FakeStagingTray and keeps what the coordinator handed over.
class FakeStagingTrayFactory {
public:
    explicit FakeStagingTrayFactory(EventLog &log) : m_log(log) {}

    StagingTrayFactory factory()
    {
        return [this](CaptureQueue &, SettingsStore &, StagingTrayCallbacks handed) {
            ++made;
            callbacks = std::move(handed);
            auto created = std::make_unique<FakeStagingTray>(m_log);
            tray = created.get();
            return created;
        };
    }

    int made = 0;
    FakeStagingTray *tray = nullptr; // owned by the coordinator
    StagingTrayCallbacks callbacks;

private:
    EventLog &m_log;
};
