#include "model/CaptureItemState.h"

CaptureItemState CaptureItemState::saved(const QString &fileName)
{
    CaptureItemState state(Kind::saved);
    state.m_savedFileName = fileName;
    return state;
}

CaptureItemState CaptureItemState::failed(const CaptureActionError &error)
{
    CaptureItemState state(Kind::failed);
    state.m_error = error;
    return state;
}

bool CaptureItemState::isBusy() const
{
    return m_kind == Kind::saving || m_kind == Kind::copying || m_kind == Kind::deleting;
}

QString CaptureItemState::statusText() const
{
    switch (m_kind) {
    case Kind::pending:
        return QStringLiteral("Unsaved capture");
    case Kind::saving:
        return QStringLiteral("Saving...");
    case Kind::copying:
        return QStringLiteral("Copying...");
    case Kind::deleting:
        return QStringLiteral("Removing...");
    case Kind::saved:
        return QStringLiteral("Saved to ") + m_savedFileName;
    case Kind::failed:
        return QStringLiteral("Couldn't save (") + m_error->errorDescription() + QLatin1Char(')');
    }
    return {};
}

bool CaptureItemState::operator==(const CaptureItemState &other) const
{
    return m_kind == other.m_kind && m_savedFileName == other.m_savedFileName &&
           m_error == other.m_error;
}
