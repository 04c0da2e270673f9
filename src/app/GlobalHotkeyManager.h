#pragma once

#include "model/ShortcutModel.h"
#include "platform/GlobalHotkeys.h"

#include <QtGlobal>
#include <functional>
#include <map>
#include <memory>

// The hot-key service as its users see it. (`register` is a C++ keyword, hence the name.)
class GlobalHotkeyHandling {
public:
    virtual ~GlobalHotkeyHandling() = default;
    // Registers the definition's key code and modifiers system-wide and remembers the action
    // for it. Throws CaptureError (captureFailed) when the system refuses the combination. A
    // combination without any of control, option, shift and command is never registered: it
    // is logged and left unset, and nothing is thrown.
    virtual void registerHotkey(const ShortcutDefinition &definition,
                                std::function<void()> handler) = 0;
    // Removes every registration; safe with nothing registered.
    virtual void unregisterAll() = 0;
};

// System-wide hot keys: registers each combination under an identifier of its own (counting
// up from 1, one per registration attempt, never reused) and runs the matching action on the
// main thread, after the press has been answered. Used from the main thread only.
class GlobalHotkeyManager final : public GlobalHotkeyHandling {
public:
    // The signature stamped on every registration: 'CVNT'.
    static constexpr quint32 hotKeySignature = 0x43564e54;

    explicit GlobalHotkeyManager(std::shared_ptr<platform::GlobalHotkeys> hotkeys);
    ~GlobalHotkeyManager() override;
    GlobalHotkeyManager(const GlobalHotkeyManager &) = delete;
    GlobalHotkeyManager &operator=(const GlobalHotkeyManager &) = delete;

    void registerHotkey(const ShortcutDefinition &definition,
                        std::function<void()> handler) override;
    void unregisterAll() override;
    // The platform's status for the registration refused last; ok before any refusal.
    int lastRefusal() const { return m_lastRefusal; }

private:
    void installEventHandler();
    int handleHotKeyEvent(platform::HotkeyID pressed);

    std::shared_ptr<platform::GlobalHotkeys> m_hotkeys;
    std::map<quint32, platform::HotkeyRef> m_hotKeyRefs;
    std::map<quint32, std::function<void()>> m_handlers;
    bool m_eventHandlerInstalled = false;
    quint32 m_nextHotKeyID = 1;
    int m_lastRefusal = platform::HotkeyStatus::ok;
};

// What the user reads when the platform refused the key shown as `shown` with the status: held
// by another program, or no key at its place on this keyboard.
QString hotkeyRefusalText(const QString &shown, int status);
