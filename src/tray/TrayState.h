#pragma once

#include "capture/CaptureNeighbours.h"
#include "model/CaptureItem.h"
#include "model/SettingsEnums.h"
#include "platform/Spring.h"
#include "tray/TrayControlTimers.h"
#include "tray/TrayNotice.h"

#include <QHash>
#include <QObject>
#include <QSizeF>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// What the tray's window controller publishes for the tray's views: the interaction state, the
// pin, the notch of the tray's display, the sizes of the tray, the notices, and the optional
// actions of the open, annotate and text buttons. The controller and its state machine write it;
// the views read it and report their expansion through reportExpansionProgress; the tray's
// interactions run the three actions, which the controller hands out for whoever sets them.
// Main thread only.
class TrayState final : public QObject {
    Q_OBJECT

public:
    // The size of the tray itself in a state; no position: the trayPosition setting.
    using Sizing =
        std::function<QSizeF(TrayInteractionState, std::optional<TrayPosition> position)>;

    // The one animation of state changes made by the user's pointer, keys and clicks.
    static constexpr platform::Spring morphSpring{0.38, 0.84};

    TrayState(Sizing sizing, std::function<bool()> compositing,
              std::shared_ptr<TrayTimerSource> timers, QObject *parent = nullptr);
    ~TrayState() override;

    TrayInteractionState interactionState() const { return m_interactionState; }
    bool isPinned() const { return m_isPinned; }
    bool hasNotch() const { return m_hasNotch; }
    double notchHeight() const { return m_notchHeight; }
    double notchWidth() const { return m_notchWidth; }
    double expansionProgress() const { return m_expansionProgress; }
    // Stores the value only when it differs by more than 0.01.
    void reportExpansionProgress(double progress);
    QSizeF visibleContentSize(TrayInteractionState state,
                              std::optional<TrayPosition> position = std::nullopt) const;
    // True while a change of interactionState made by the user (hover, key, click) is being
    // announced, and only on a compositing desktop: such a change is drawn animated. Without a
    // compositor the panel is shaped to the new outline at once, so the view switches at once.
    bool isStateChangeAnimated() const { return m_stateChangeAnimated; }
    bool isCompositing() const;

    // A short message about one capture for the information column while that capture is shown;
    // replaced by the next, gone after `duration` (none: stays until replaced or cleared).
    static constexpr std::chrono::milliseconds noticeDuration{4000};
    void showNotice(const QUuid &id, const QString &text,
                    TrayNotice::Tone tone = TrayNotice::Tone::problem,
                    std::optional<std::chrono::milliseconds> duration = noticeDuration);
    void clearNotice(const QUuid &id);
    std::optional<TrayNotice> noticeAbout(const QUuid &id) const;
    std::optional<QString> noticeFor(const QUuid &id) const;
    const std::optional<TrayNotice> &notice() const { return m_notice; }

    // A failure that a newer notice was shown over is old news, also once that notice has gone:
    // the column does not go back to it. Whatever the capture does next is news again.
    void answerFailure(const CaptureItem &item);
    bool isFailureAnswered(const CaptureItem &item) const;
    // Forgets the answers for captures that left the queue or the failure answered.
    void forgetChangedFailures(const QList<CaptureItem> &items);

    // Optional actions of the tray's keys and buttons; unset ones do nothing.
    std::function<void(const CaptureItem &)> onQuickLook;
    std::function<void(const CaptureItem &)> onOCR;
    std::function<void(const CaptureItem &)> onAnnotate;

    // For the controller. The state is stored first; `announce` runs before the change is
    // announced (the controller lays the panel out for the new state there).
    void setInteractionState(TrayInteractionState state, bool userChange,
                             const std::function<void(TrayInteractionState previous)> &announce);
    void setPinned(bool pinned);
    void setNotchMetrics(bool hasNotch, double notchHeight, double notchWidth);
    // The tray's material or accent changed.
    void announceAppearance() { emit appearanceChanged(); }

signals:
    void interactionStateChanged(TrayInteractionState state);
    void isPinnedChanged(bool pinned);
    void notchMetricsChanged();
    void expansionProgressChanged(double progress);
    void appearanceChanged();
    void noticeChanged();

private:
    Sizing m_sizing;
    std::function<bool()> m_compositing;
    std::shared_ptr<TrayTimerSource> m_timers;

    TrayInteractionState m_interactionState = TrayInteractionState::compact;
    bool m_isPinned = false;
    bool m_stateChangeAnimated = false;
    bool m_hasNotch = false;
    double m_notchHeight = 0;
    double m_notchWidth = 0;
    double m_expansionProgress = 0;
    std::optional<TrayNotice> m_notice;
    std::unique_ptr<TrayTimerSource::Pending> m_noticeTask;
    QHash<QUuid, CaptureItemState> m_answeredFailures;
};

class CaptureQueue;
class TrayPinning;

// Keeps the failures in `queue` that the state's notices answered in step with both: a notice
// answers its capture's failure, and whatever the capture does next is news again.
void answerFailuresWithNotices(TrayState &state, const CaptureQueue &queue);

// The tray's pin button and key: the capture goes to the pin deck, or, when its picture does not
// decode, stays unpinned and the tray (when given and still there) says so beside it. Returns
// before the deck has answered.
void pinFromTray(TrayPinning *pinning, TrayState *state, const CaptureItem &item);
