#include "capture/PermissionManager.h"

#include "platform/Log.h"

namespace {
const char *boolText(bool value)
{
    return value ? "true" : "false";
}
} // namespace

PermissionManager::PermissionManager(std::shared_ptr<platform::ScreenCapturePermission> permission,
                                     std::shared_ptr<platform::UrlOpener> urlOpener,
                                     QObject *parent)
    : QObject(parent), m_permission(std::move(permission)), m_urlOpener(std::move(urlOpener))
{
    checkScreenCaptureAccess();
}

bool PermissionManager::checkScreenCaptureAccess()
{
    const bool granted = m_permission->preflight();
    setHasScreenCaptureAccess(granted);
    qCInfo(Log::permissions, "Screen capture permission preflight: %s", boolText(granted));
    return granted;
}

bool PermissionManager::requestScreenCaptureAccess()
{
    const bool granted = m_permission->request();
    setHasScreenCaptureAccess(granted);
    qCInfo(Log::permissions, "Screen capture permission request result: %s", boolText(granted));
    return granted;
}

void PermissionManager::openScreenRecordingSettings()
{
    qCInfo(Log::permissions, "Opening System Settings for Screen Recording");
    // Where the desktop has no settings page for the permission there is nothing to open.
    if (const std::optional<QUrl> url = m_permission->settingsUrl())
        m_urlOpener->openUrl(*url);
}

bool PermissionManager::canOpenScreenRecordingSettings() const
{
    return m_permission->settingsUrl().has_value();
}

void PermissionManager::setHasScreenCaptureAccess(bool hasScreenCaptureAccess)
{
    m_hasScreenCaptureAccess = hasScreenCaptureAccess;
    emit hasScreenCaptureAccessChanged(m_hasScreenCaptureAccess);
}
