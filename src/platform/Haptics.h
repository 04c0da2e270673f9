#pragma once

namespace platform {

enum class HapticPattern { generic = 0, alignment = 1 };

// Taps on a force-feedback pointing device.
class Haptics {
public:
    virtual ~Haptics() = default;
    // Whether a device can perform taps at all.
    virtual bool isAvailable() const = 0;
    // Performs the pattern at once; nothing where there is no device.
    virtual void perform(HapticPattern pattern) = 0;
};

} // namespace platform
