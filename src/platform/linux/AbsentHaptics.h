#pragma once

#include "platform/Haptics.h"

namespace platform {

// Linux desktops offer no force-feedback taps: every request is accepted and does nothing.
class AbsentHaptics final : public Haptics {
public:
    bool isAvailable() const override { return false; }
    void perform(HapticPattern) override {}
};

} // namespace platform
