#pragma once

#include <QString>
#include <exception>
#include <string>

// Why a capture did not happen. Thrown by the capture and recording services.
class CaptureError : public std::exception {
public:
    enum class Kind {
        captureFailed,
        permissionDenied,
        noDisplayFound,
        invalidSelection,
        queueFull,
        cancelled
    };

    static CaptureError captureFailed(const QString &reason)
    {
        return {Kind::captureFailed, reason};
    }
    static CaptureError permissionDenied() { return {Kind::permissionDenied}; }
    static CaptureError noDisplayFound() { return {Kind::noDisplayFound}; }
    static CaptureError invalidSelection() { return {Kind::invalidSelection}; }
    static CaptureError queueFull() { return {Kind::queueFull}; }
    static CaptureError cancelled() { return {Kind::cancelled}; }

    Kind kind() const { return m_kind; }
    QString reason() const { return m_reason; }
    QString errorDescription() const;
    const char *what() const noexcept override { return m_what.c_str(); }

    bool operator==(const CaptureError &other) const
    {
        return m_kind == other.m_kind && m_reason == other.m_reason;
    }

private:
    CaptureError(Kind kind, const QString &reason = {});

    Kind m_kind;
    QString m_reason;
    std::string m_what;
};

// Why an action on a staged capture did not succeed; also kept inside a
// capture's failed state.
class CaptureActionError : public std::exception {
public:
    enum class Kind { saveFailed, copyFailed, exportFailed, saveCancelled };

    static CaptureActionError saveFailed(const QString &reason)
    {
        return {Kind::saveFailed, reason};
    }
    static CaptureActionError copyFailed(const QString &reason)
    {
        return {Kind::copyFailed, reason};
    }
    static CaptureActionError exportFailed(const QString &reason)
    {
        return {Kind::exportFailed, reason};
    }
    static CaptureActionError saveCancelled() { return {Kind::saveCancelled}; }

    Kind kind() const { return m_kind; }
    QString reason() const { return m_reason; }
    QString errorDescription() const;
    const char *what() const noexcept override { return m_what.c_str(); }

    bool operator==(const CaptureActionError &other) const
    {
        return m_kind == other.m_kind && m_reason == other.m_reason;
    }

private:
    CaptureActionError(Kind kind, const QString &reason = {});

    Kind m_kind;
    QString m_reason;
    std::string m_what;
};

// How a message goes on about a file the user acts on that is no regular file: "is missing" when
// nothing is there (a link to nothing included), "can no longer be read" when something else is,
// a folder, a pipe or a device put in its place.
QString unreadableFileState(const QString &path);
