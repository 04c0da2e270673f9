#pragma once

#include "model/CaptureErrors.h"

#include <QString>
#include <optional>

// Where a staged capture stands with respect to the user's actions.
class CaptureItemState {
public:
    enum class Kind { pending, saving, copying, deleting, saved, failed };

    CaptureItemState() = default; // pending

    static CaptureItemState pending() { return CaptureItemState(Kind::pending); }
    static CaptureItemState saving() { return CaptureItemState(Kind::saving); }
    static CaptureItemState copying() { return CaptureItemState(Kind::copying); }
    static CaptureItemState deleting() { return CaptureItemState(Kind::deleting); }
    // fileName: the name of the file the capture was saved as.
    static CaptureItemState saved(const QString &fileName);
    static CaptureItemState failed(const CaptureActionError &error);

    Kind kind() const { return m_kind; }
    // The saved file's name; empty unless saved.
    QString savedFileName() const { return m_savedFileName; }
    // The error; present only when failed.
    std::optional<CaptureActionError> error() const { return m_error; }

    // While busy, the tray shows its busy overlay over the capture.
    bool isBusy() const;
    QString statusText() const;

    bool operator==(const CaptureItemState &other) const;

private:
    explicit CaptureItemState(Kind kind) : m_kind(kind) {}

    Kind m_kind = Kind::pending;
    QString m_savedFileName;
    std::optional<CaptureActionError> m_error;
};
