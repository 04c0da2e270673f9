#pragma once

#include "capture/RecordingModeSelecting.h"
#include "model/CaptureErrors.h"
#include "support/EventLog.h"
#include "support/Gate.h"

#include <optional>

// The recording mode chooser: after `gate`, answers `mode` or throws `failure`; records
// "select.mode".
class FakeModeSelecting : public RecordingModeSelecting {
public:
    explicit FakeModeSelecting(EventLog &log) : m_log(log) {}

    QCoro::Task<RecordingSelectionMode> selectMode() override
    {
        m_log.add(QStringLiteral("select.mode"));
        co_await gate.pass();
        if (failure)
            throw *failure;
        co_return RecordingSelectionMode(mode);
    }

    RecordingSelectionMode mode = RecordingSelectionMode::fullScreen;
    std::optional<CaptureError> failure;
    Gate gate;

private:
    EventLog &m_log;
};
