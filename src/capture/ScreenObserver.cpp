#include "capture/ScreenObserver.h"

#include "platform/Log.h"

ScreenObserver::ScreenObserver(platform::Displays *displays, std::function<void()> onChange,
                               QObject *parent)
    : QObject(parent), m_onChange(std::move(onChange))
{
    // The connection ends with either object, so a late change reaches neither a destroyed
    // observer nor its owner's callback.
    if (displays) {
        connect(displays, &platform::Displays::displaysChanged, this,
                &ScreenObserver::handleDisplaysChanged);
    }
}

void ScreenObserver::handleDisplaysChanged()
{
    qCInfo(Log::overlay, "Screen parameters changed notification received");
    if (m_onChange)
        m_onChange();
}
