#pragma once

#include "capture/RecordingModeSelecting.h"
#include "support/FakeSelecting.h"

// The recording mode chooser: after `gate`, answers `mode` or throws `failure`; records
// "select.mode".
class FakeModeSelecting : public ScriptedSelection<RecordingModeSelecting> {
public:
    using ScriptedSelection::ScriptedSelection;

    QCoro::Task<RecordingSelectionMode> selectMode() override
    {
        return answer(QStringLiteral("select.mode"), &mode);
    }

    RecordingSelectionMode mode = RecordingSelectionMode::fullScreen;
};
