#pragma once

#include "platform/GlobalHotkeys.h"

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QList>
#include <map>

namespace platform {

// Hot keys as passive key grabs on the root window, made on Qt's own X connection so that the
// presses arrive through Qt's event loop (a native event filter). The key grabbed is the one at
// the stored place, whatever the layout. Each combination is grabbed four times, with and
// without Lock and NumLock, so that neither lock stops it, and grabbed again whenever the
// keyboard map changes, since NumLock may have moved to another modifier. A held combination
// counts once, whether the server repeats it as presses alone (XKB detectable auto-repeat) or
// as release/press pairs with one timestamp.
class X11GlobalHotkeys final : public GlobalHotkeys, private QAbstractNativeEventFilter {
public:
    X11GlobalHotkeys() = default;
    ~X11GlobalHotkeys() override;
    X11GlobalHotkeys(const X11GlobalHotkeys &) = delete;
    X11GlobalHotkeys &operator=(const X11GlobalHotkeys &) = delete;

    int installPressHandler(PressHandler handler) override;
    void removePressHandler() override;
    HotkeyGrab grab(const HotkeyCombination &combination, HotkeyID id) override;
    void ungrab(HotkeyRef ref) override;

private:
    struct Grab {
        HotkeyID id;
        quint8 keycode = 0;
        quint16 modifiers = 0;       // X masks, without Lock and NumLock
        quint16 ignoredMasks = 0;    // Lock and NumLock as they were when grabbed
        QList<quint16> grabbedMasks; // every variant handed to the server
    };
    // Whether a grabbed key is down, to tell repeats from presses.
    struct KeyState {
        bool held = false;
        bool released = false;
        quint32 releasedAt = 0;
    };

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;
    bool keyPressed(quint8 keycode, quint16 state, quint32 time);
    bool keyReleased(quint8 keycode, quint32 time);
    // Grabs the combination with and without Lock and NumLock; the first error, or ok.
    int grabVariants(Grab &grab, quint16 numLockModifier);
    void keyboardMapChanged();
    void releaseGrab(const Grab &grab);
    bool usesKeycode(quint8 keycode) const;

    PressHandler m_handler;
    bool m_filterInstalled = false;
    std::map<HotkeyRef, Grab> m_grabs;
    QHash<quint8, KeyState> m_keys;
    quint32 m_root = 0; // the window the grabs were made on
    quint8 m_xkbFirstEvent = 0;
    HotkeyRef m_nextRef = 1;
};

} // namespace platform
