#pragma once

#include "platform/ScreenCapturePermission.h"
#include "platform/UrlOpener.h"

#include <QObject>
#include <memory>

// Owns the answer to "may the program read the screen?". It keeps only the last answer;
// whoever needs a fresh one runs checkScreenCaptureAccess(). Main thread only.
class PermissionManager final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hasScreenCaptureAccess READ hasScreenCaptureAccess NOTIFY
                   hasScreenCaptureAccessChanged)

public:
    // Checks access once, so that a new manager already publishes the real state.
    PermissionManager(std::shared_ptr<platform::ScreenCapturePermission> permission,
                      std::shared_ptr<platform::UrlOpener> urlOpener, QObject *parent = nullptr);

    bool hasScreenCaptureAccess() const { return m_hasScreenCaptureAccess; }

    // Asks without any prompt; stores, logs and returns the answer.
    bool checkScreenCaptureAccess();
    // Asks the desktop for access, which may prompt; stores, logs and returns the answer.
    bool requestScreenCaptureAccess();
    // Opens the desktop's settings page for the permission, where it has one.
    void openScreenRecordingSettings();
    // Whether the desktop has a settings page for the permission to open.
    bool canOpenScreenRecordingSettings() const;

signals:
    // Announced on every store, also when the value stays the same.
    void hasScreenCaptureAccessChanged(bool hasScreenCaptureAccess);

private:
    // Only the two queries write the answer.
    void setHasScreenCaptureAccess(bool hasScreenCaptureAccess);

    std::shared_ptr<platform::ScreenCapturePermission> m_permission;
    std::shared_ptr<platform::UrlOpener> m_urlOpener;
    bool m_hasScreenCaptureAccess = false;
};
