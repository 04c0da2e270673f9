#pragma once

#include "platform/Haptics.h"
#include "support/EventLog.h"

#include <QList>

// Keeps the patterns performed, also in `log` as "haptic.generic" / "haptic.alignment".
class FakeHaptics : public platform::Haptics {
public:
    bool isAvailable() const override { return true; }
    void perform(platform::HapticPattern pattern) override
    {
        performed << pattern;
        if (log) {
            log->add(pattern == platform::HapticPattern::generic
                         ? QStringLiteral("haptic.generic")
                         : QStringLiteral("haptic.alignment"));
        }
    }

    QList<platform::HapticPattern> performed;
    EventLog *log = nullptr;
};
