#include "model/CaptureErrors.h"

#include <QFileInfo>

CaptureError::CaptureError(Kind kind, const QString &reason)
    : m_kind(kind), m_reason(kind == Kind::captureFailed ? reason : QString())
{
    m_what = errorDescription().toStdString();
}

QString CaptureError::errorDescription() const
{
    switch (m_kind) {
    case Kind::captureFailed:
        return QStringLiteral("Capture failed: ") + m_reason;
    case Kind::permissionDenied:
        return QStringLiteral("Screen Recording permission is required to capture screenshots.");
    case Kind::noDisplayFound:
        return QStringLiteral("Target display could not be identified.");
    case Kind::invalidSelection:
        return QStringLiteral("The selected area was too small or invalid.");
    case Kind::queueFull:
        return QStringLiteral("Corvanta is full - save or delete a capture.");
    case Kind::cancelled:
        return QStringLiteral("Capture was cancelled.");
    }
    return {};
}

CaptureActionError::CaptureActionError(Kind kind, const QString &reason)
    : m_kind(kind), m_reason(kind == Kind::saveCancelled ? QString() : reason)
{
    m_what = errorDescription().toStdString();
}

QString CaptureActionError::errorDescription() const
{
    switch (m_kind) {
    case Kind::saveFailed:
        return QStringLiteral("Failed to save screenshot: ") + m_reason;
    case Kind::copyFailed:
        return QStringLiteral("Failed to copy to clipboard: ") + m_reason;
    case Kind::exportFailed:
        return QStringLiteral("Export failed: ") + m_reason;
    case Kind::saveCancelled:
        return QStringLiteral("Save was cancelled.");
    }
    return {};
}

QString unreadableFileState(const QString &path)
{
    return QFileInfo::exists(path) ? QStringLiteral("can no longer be read")
                                   : QStringLiteral("is missing");
}
