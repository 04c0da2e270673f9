#pragma once

#include <QtGlobal>
#include <functional>
#include <optional>

namespace platform {

// A key combination as stored: the other platform's virtual key code and modifier bits
// (command 256, shift 512, option 2048, control 4096). The implementation maps it to its own
// keys.
struct HotkeyCombination {
    quint32 keyCode = 0;
    quint32 modifiers = 0;

    bool operator==(const HotkeyCombination &) const = default;
};

// The pair stamped on a grab and handed back with each press of it.
struct HotkeyID {
    quint32 signature = 0;
    quint32 id = 0;

    bool operator==(const HotkeyID &) const = default;
};

// Names one grab, to release it again.
using HotkeyRef = quint64;

// Statuses of the hot-key platform. Positive values are the window system's own error codes
// (on X11 10, BadAccess: another client holds the combination).
namespace HotkeyStatus {
constexpr int ok = 0;
// No window system to grab keys from (Qt does not run on X11).
constexpr int unavailable = -1;
// The press handler was not interested in the press.
constexpr int eventNotHandled = -9874;
// The combination is already grabbed through this object.
constexpr int hotKeyExists = -9878;
// The key code has no key on this keyboard.
constexpr int hotKeyInvalid = -9879;
} // namespace HotkeyStatus

struct HotkeyGrab {
    int status = HotkeyStatus::ok;
    // Set exactly when the combination is grabbed.
    std::optional<HotkeyRef> ref;
};

// System-wide key combinations: pressed anywhere on the desktop, they reach this process
// whichever window has the focus. Used on the main thread only.
class GlobalHotkeys {
public:
    // Called on the main thread for each press of a grabbed combination (once per press, not
    // per auto-repeat) with the pair it was grabbed with; answers a status, ok when it took
    // the press.
    using PressHandler = std::function<int(HotkeyID)>;

    virtual ~GlobalHotkeys() = default;

    // Starts delivering presses to the handler; a status other than ok when presses cannot be
    // delivered (grabs may still be accepted).
    virtual int installPressHandler(PressHandler handler) = 0;
    virtual void removePressHandler() = 0;

    // Grabs the combination system-wide under the pair; with a status other than ok nothing
    // is grabbed.
    virtual HotkeyGrab grab(const HotkeyCombination &combination, HotkeyID id) = 0;
    // Releases a grab; an unknown ref is ignored.
    virtual void ungrab(HotkeyRef ref) = 0;
};

} // namespace platform
