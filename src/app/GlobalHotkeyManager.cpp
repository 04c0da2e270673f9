#include "app/GlobalHotkeyManager.h"

#include "model/CaptureErrors.h"
#include "platform/KeyCodes.h"
#include "platform/Log.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <exception>

using platform::HotkeyStatus::eventNotHandled;

GlobalHotkeyManager::GlobalHotkeyManager(std::shared_ptr<platform::GlobalHotkeys> hotkeys)
    : m_hotkeys(std::move(hotkeys))
{
    installEventHandler();
}

GlobalHotkeyManager::~GlobalHotkeyManager()
{
    unregisterAll();
    if (m_eventHandlerInstalled)
        m_hotkeys->removePressHandler();
}

void GlobalHotkeyManager::installEventHandler()
{
    // The platform holds the handler no longer than this manager: the destructor removes it.
    const int status = m_hotkeys->installPressHandler(
        [this](platform::HotkeyID id) { return handleHotKeyEvent(id); });
    if (status != platform::HotkeyStatus::ok) {
        qCCritical(Log::hotkey, "Failed to install Carbon event handler (status: %d)", status);
        return;
    }
    m_eventHandlerInstalled = true;
}

int GlobalHotkeyManager::handleHotKeyEvent(platform::HotkeyID pressed)
{
    if (pressed.signature != hotKeySignature)
        return eventNotHandled;
    const auto found = m_handlers.find(pressed.id);
    if (found == m_handlers.end())
        return eventNotHandled;
    // The press is answered at once; the action runs afterwards from the event loop, never
    // inside the platform's callback.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [action = found->second] {
            try {
                action();
            } catch (const std::exception &error) {
                qCCritical(Log::hotkey, "%s", error.what());
            }
        },
        Qt::QueuedConnection);
    return platform::HotkeyStatus::ok;
}

void GlobalHotkeyManager::registerHotkey(const ShortcutDefinition &definition,
                                         std::function<void()> handler)
{
    if ((definition.carbonModifiers & CarbonModifier::all) == 0) {
        // A plain key grabbed system-wide would be taken from every program on the desktop.
        qCWarning(Log::hotkey, "Refused hotkey %s: it has no modifier key; the shortcut is unset",
                  qUtf8Printable(definition.displayString));
        return;
    }
    if (!platform::keysymForVirtualKey(definition.keyCode)) {
        // The grab could only fail: a stored code no key has is treated as unset instead.
        qCWarning(Log::hotkey,
                  "Refused hotkey %s: no key has the key code %u; the shortcut is unset",
                  qUtf8Printable(definition.displayString), definition.keyCode);
        return;
    }
    const quint32 id = m_nextHotKeyID++;
    const platform::HotkeyGrab grab =
        m_hotkeys->grab({definition.keyCode, definition.carbonModifiers}, {hotKeySignature, id});
    const QByteArray display = definition.displayString.toUtf8();
    if (grab.status == platform::HotkeyStatus::ok && grab.ref) {
        m_hotKeyRefs.emplace(id, *grab.ref);
        m_handlers.emplace(id, std::move(handler));
        qCInfo(Log::hotkey, "Registered global hotkey: %s with ID %u", display.constData(), id);
        return;
    }
    // A grab that was reported without a ref must not linger.
    if (grab.ref)
        m_hotkeys->ungrab(*grab.ref);
    m_lastRefusal = grab.status;
    qCCritical(Log::hotkey, "Failed to register hotkey %s (status: %d)", display.constData(),
               grab.status);
    throw CaptureError::captureFailed(QStringLiteral("Failed to register hotkey: ") +
                                      QString::number(grab.status));
}

void GlobalHotkeyManager::unregisterAll()
{
    for (const auto &[id, ref] : m_hotKeyRefs) {
        m_hotkeys->ungrab(ref);
        qCInfo(Log::hotkey, "Unregistered hotkey ID %u", id);
    }
    m_hotKeyRefs.clear();
    m_handlers.clear();
}

QString hotkeyRefusalText(const QString &shown, int status)
{
    // X11's BadAccess: another client holds the combination.
    constexpr int badAccess = 10;
    if (status == platform::HotkeyStatus::hotKeyInvalid)
        return QStringLiteral("%1 could not be registered; this keyboard has no key at its place.")
            .arg(shown);
    if (status == badAccess || status == platform::HotkeyStatus::hotKeyExists)
        return QStringLiteral("%1 could not be registered; another program may be using it.")
            .arg(shown);
    return QStringLiteral("%1 could not be registered (status %2).").arg(shown).arg(status);
}
