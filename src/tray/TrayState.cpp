#include "tray/TrayState.h"

#include "model/CaptureQueue.h"
#include "model/StartTask.h"
#include "tray/TrayNeighbours.h"

#include <QPointer>

#include <cmath>

TrayState::TrayState(Sizing sizing, std::function<bool()> compositing,
                     std::shared_ptr<TrayTimerSource> timers, QObject *parent)
    : QObject(parent), m_sizing(std::move(sizing)), m_compositing(std::move(compositing)),
      m_timers(std::move(timers))
{
}

TrayState::~TrayState() = default;

void TrayState::reportExpansionProgress(double progress)
{
    // Also refuses NaN, whose difference compares false.
    if (!(std::abs(progress - m_expansionProgress) > 0.01))
        return;
    m_expansionProgress = progress;
    emit expansionProgressChanged(m_expansionProgress);
}

QSizeF TrayState::visibleContentSize(TrayInteractionState state,
                                     std::optional<TrayPosition> position) const
{
    return m_sizing ? m_sizing(state, position) : QSizeF();
}

bool TrayState::isCompositing() const
{
    return m_compositing && m_compositing();
}

void TrayState::showNotice(const QUuid &id, const QString &text, TrayNotice::Tone tone,
                           std::optional<std::chrono::milliseconds> duration)
{
    m_notice = TrayNotice{id, text, tone};
    m_noticeTask.reset();
    if (duration) {
        m_noticeTask = m_timers->start(*duration, [this] {
            m_noticeTask.reset();
            m_notice.reset();
            emit noticeChanged();
        });
    }
    emit noticeChanged();
}

void TrayState::clearNotice(const QUuid &id)
{
    if (!m_notice || m_notice->id != id)
        return;
    m_noticeTask.reset();
    m_notice.reset();
    emit noticeChanged();
}

std::optional<TrayNotice> TrayState::noticeAbout(const QUuid &id) const
{
    if (m_notice && m_notice->id == id)
        return m_notice;
    return std::nullopt;
}

std::optional<QString> TrayState::noticeFor(const QUuid &id) const
{
    if (const std::optional<TrayNotice> notice = noticeAbout(id))
        return notice->text;
    return std::nullopt;
}

void TrayState::answerFailure(const CaptureItem &item)
{
    if (item.state().kind() == CaptureItemState::Kind::failed)
        m_answeredFailures.insert(item.id(), item.state());
}

bool TrayState::isFailureAnswered(const CaptureItem &item) const
{
    const auto answered = m_answeredFailures.constFind(item.id());
    return answered != m_answeredFailures.cend() && *answered == item.state();
}

void TrayState::forgetChangedFailures(const QList<CaptureItem> &items)
{
    QHash<QUuid, CaptureItemState> kept;
    for (const CaptureItem &item : items) {
        if (isFailureAnswered(item))
            kept.insert(item.id(), item.state());
    }
    m_answeredFailures.swap(kept);
}

void TrayState::setInteractionState(
    TrayInteractionState state, bool userChange,
    const std::function<void(TrayInteractionState previous)> &announce)
{
    const TrayInteractionState previous = m_interactionState;
    m_interactionState = state;
    if (announce)
        announce(previous);
    // Announced once the panel is laid out for the new state, unless that changed it again.
    if (previous != state && m_interactionState == state) {
        m_stateChangeAnimated = userChange && isCompositing();
        emit interactionStateChanged(state);
        m_stateChangeAnimated = false;
    }
}

void TrayState::setPinned(bool pinned)
{
    if (m_isPinned == pinned)
        return;
    m_isPinned = pinned;
    emit isPinnedChanged(m_isPinned);
}

void TrayState::setNotchMetrics(bool hasNotch, double notchHeight, double notchWidth)
{
    if (hasNotch == m_hasNotch && notchHeight == m_notchHeight && notchWidth == m_notchWidth)
        return;
    m_hasNotch = hasNotch;
    m_notchHeight = notchHeight;
    m_notchWidth = notchWidth;
    emit notchMetricsChanged();
}

void pinFromTray(TrayPinning *pinning, TrayState *state, const CaptureItem &item)
{
    if (!pinning)
        return;
    // The picture is decoded first: the tray may be gone by the time the deck answers.
    startTask([](TrayPinning *pins, QPointer<TrayState> told,
                 CaptureItem capture) -> QCoro::Task<void> {
        QCoro::Task<bool> pinning = pins->pin(capture);
        if (!co_await pinning && told)
            told->showNotice(capture.id(),
                             QStringLiteral("Couldn't pin (its picture can no longer be read)"));
    }(pinning, state, item));
}

void answerFailuresWithNotices(TrayState &state, const CaptureQueue &queue)
{
    // The failure a notice is shown over stays older than it, also once the notice has gone.
    QObject::connect(&state, &TrayState::noticeChanged, &state, [&state, &queue] {
        const std::optional<TrayNotice> &notice = state.notice();
        if (!notice)
            return;
        for (const CaptureItem &item : queue.items()) {
            if (item.id() == notice->id)
                state.answerFailure(item);
        }
    });
    QObject::connect(&queue, &CaptureQueue::itemsChanged, &state,
                     [&state, &queue] { state.forgetChangedFailures(queue.items()); });
}
