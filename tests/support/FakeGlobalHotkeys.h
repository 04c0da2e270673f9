#pragma once

#include "platform/GlobalHotkeys.h"

#include <QList>
#include <QMap>
#include <deque>

// Grabs whatever it is asked to (unless a scripted result says otherwise) and keeps what is
// grabbed; press() plays the platform delivering a press of a grabbed combination.
class FakeGlobalHotkeys : public platform::GlobalHotkeys {
public:
    struct Grab {
        platform::HotkeyCombination combination;
        platform::HotkeyID id;
    };

    int installPressHandler(PressHandler pressHandler) override
    {
        handler = std::move(pressHandler);
        return installStatus;
    }
    void removePressHandler() override
    {
        handler = nullptr;
        ++removals;
    }
    platform::HotkeyGrab grab(const platform::HotkeyCombination &combination,
                              platform::HotkeyID id) override
    {
        requests << Grab{combination, id};
        platform::HotkeyGrab result{platform::HotkeyStatus::ok, m_nextRef++};
        if (!scripted.empty()) {
            result = scripted.front();
            scripted.pop_front();
        }
        if (result.ref)
            active.insert(*result.ref, Grab{combination, id});
        return result;
    }
    void ungrab(platform::HotkeyRef ref) override
    {
        ungrabbed << ref;
        active.remove(ref);
    }

    // The status the handler answers, as the platform would see it.
    int press(platform::HotkeyID id) const
    {
        return handler ? handler(id) : platform::HotkeyStatus::eventNotHandled;
    }
    // Whether a combination is grabbed, and under which pair.
    std::optional<platform::HotkeyID> grabbedAs(quint32 keyCode, quint32 modifiers) const
    {
        for (const Grab &grab : active) {
            if (grab.combination == platform::HotkeyCombination{keyCode, modifiers})
                return grab.id;
        }
        return std::nullopt;
    }

    int installStatus = platform::HotkeyStatus::ok;
    // Results for the next grabs, in order; afterwards every grab succeeds.
    std::deque<platform::HotkeyGrab> scripted;
    PressHandler handler;
    QList<Grab> requests;
    QMap<platform::HotkeyRef, Grab> active;
    QList<platform::HotkeyRef> ungrabbed;
    int removals = 0;

private:
    platform::HotkeyRef m_nextRef = 100;
};
