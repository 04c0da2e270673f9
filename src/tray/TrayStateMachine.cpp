#include "tray/TrayStateMachine.h"

#include "model/CaptureErrors.h"
#include "model/CaptureQueue.h"
#include "model/SettingsStore.h"
#include "platform/Log.h"
#include "tray/TrayControlLayout.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <exception>

namespace {

using State = TrayInteractionState;

// Keys typed into one of our text fields belong to the field, never to the tray.
bool textInputHasFocus()
{
    QWidget *focus = QApplication::focusWidget();
    if (!focus)
        return false;
    if (qobject_cast<QLineEdit *>(focus) || qobject_cast<QAbstractSpinBox *>(focus))
        return true;
    if (const auto *edit = qobject_cast<QTextEdit *>(focus))
        return !edit->isReadOnly();
    if (const auto *edit = qobject_cast<QPlainTextEdit *>(focus))
        return !edit->isReadOnly();
    if (const auto *combo = qobject_cast<QComboBox *>(focus))
        return combo->isEditable();
    return focus->testAttribute(Qt::WA_InputMethodEnabled);
}

} // namespace

TrayStateMachine::TrayStateMachine(Services services)
    : m_state(services.state), m_queue(services.queue), m_settings(services.settings),
      m_callbacks(services.callbacks), m_neighbours(services.neighbours), m_timers(services.timers),
      m_window(services.window)
{
}

TrayStateMachine::~TrayStateMachine() = default;

void TrayStateMachine::cancelTimers()
{
    m_autoHideTask.reset();
    m_autoCollapseTask.reset();
    m_hoverInTask.reset();
    m_hoverOutTask.reset();
}

void TrayStateMachine::setInteractionState(TrayInteractionState state)
{
    assignState(state, false);
}

void TrayStateMachine::assignState(TrayInteractionState state, bool animated)
{
    m_state.setInteractionState(
        state, animated, [this](TrayInteractionState previous) { stateDidChange(previous); });
}

void TrayStateMachine::stateDidChange(TrayInteractionState previous)
{
    if (m_state.interactionState() == previous)
        return;
    if (m_state.interactionState() != State::expanded && m_neighbours.preview &&
        !m_neighbours.preview->isPersistent())
        m_neighbours.preview->close();
    m_window.relayout();
    if (m_state.interactionState() == State::confirmation)
        scheduleAutoCollapse();
    else
        m_autoCollapseTask.reset();
}

void TrayStateMachine::scheduleAutoCollapse()
{
    m_autoCollapseTask = m_timers.start(autoCollapseDelay, [this] {
        m_autoCollapseTask.reset();
        if (m_state.interactionState() == State::confirmation)
            setInteractionState(State::compact);
    });
}

void TrayStateMachine::scheduleAutoHide()
{
    const auto delay =
        std::chrono::milliseconds(qRound64(sanitizedDelay(m_settings.autoHideDelay()) * 1000.0));
    m_autoHideTask = m_timers.start(delay, [this] {
        m_autoHideTask.reset();
        if (m_state.hasNotch())
            setInteractionState(State::compact);
        else
            m_window.hideTray(false);
    });
}

void TrayStateMachine::cancelAutoHide()
{
    m_autoHideTask.reset();
}

void TrayStateMachine::emptyStateFallback()
{
    if (m_window.isRecording() || !m_window.isWindowShown())
        return;
    unpin();
    if (!m_state.hasNotch() && m_state.interactionState() != State::expanded) {
        m_window.moveToNotchedDisplay();
        return;
    }
    if (m_state.interactionState() != State::compact && m_state.hasNotch())
        setInteractionState(State::compact);
    m_window.relayout();
}

void TrayStateMachine::trayClicked()
{
    m_hoverInTask.reset();
    cancelAutoHide();
    if (m_window.isRecording()) {
        // While recording, the tray works as the recording's stop button.
        if (m_neighbours.requestRecordingStop)
            m_neighbours.requestRecordingStop();
        return;
    }
    pin();
    if (m_state.interactionState() != State::expanded)
        assignState(State::expanded, true);
}

void TrayStateMachine::pin()
{
    // A collapse still pending from before would close the tray the user just pinned open.
    m_hoverOutTask.reset();
    m_state.setPinned(true);
}

void TrayStateMachine::unpin()
{
    if (!m_state.isPinned())
        return;
    m_state.setPinned(false);
    // Collapse as if the pointer had just left, unless it rests on the tray.
    if (m_window.isOnScreen() && !m_window.isPointerOnTray())
        scheduleHoverOut();
}

void TrayStateMachine::handleMouseMoved(Qt::MouseButtons heldButtons)
{
    if (!m_window.isOnScreen())
        return;
    // A drag neither expands nor collapses the tray.
    if (heldButtons != Qt::NoButton)
        return;
    if (!m_window.knowsPointer())
        return;
    if (m_window.isPointerOnTray())
        scheduleHoverIn();
    else if (m_state.interactionState() == State::expanded)
        scheduleHoverOut();
}

void TrayStateMachine::scheduleHoverIn()
{
    m_hoverOutTask.reset();
    cancelAutoHide();
    if (m_state.interactionState() == State::expanded || m_hoverInTask)
        return;
    m_hoverInTask = m_timers.start(hoverInDelay, [this] {
        m_hoverInTask.reset();
        if (m_state.interactionState() == State::expanded)
            return;
        assignState(State::expanded, true);
        // A pointer that left meanwhile started no collapse (the tray was not expanded yet), and
        // one that left in a jump and rests sends no further move to start it.
        if (m_window.knowsPointer() && !m_window.isPointerOnTray())
            scheduleHoverOut();
    });
}

void TrayStateMachine::scheduleHoverOut()
{
    m_hoverInTask.reset();
    cancelAutoHide();
    if (m_state.interactionState() != State::expanded || m_state.isPinned() || m_hoverOutTask)
        return;
    m_hoverOutTask = m_timers.start(hoverOutDelay, [this] {
        m_hoverOutTask.reset();
        if (m_queue.items().isEmpty() && !m_window.isRecording() && !m_state.hasNotch())
            m_window.hideTray(false);
        else
            assignState(State::compact, true);
    });
}

bool TrayStateMachine::followsPointer() const
{
    return m_state.interactionState() == State::expanded && !m_state.isPinned();
}

void TrayStateMachine::handleClickOutside()
{
    unpin();
    if (m_state.interactionState() == State::expanded) {
        assignState(State::compact, true);
        return;
    }
    if (!m_queue.items().isEmpty())
        return;
    if (!m_window.isRecording() && !m_state.hasNotch()) {
        m_window.moveToNotchedDisplay();
        return;
    }
    if (m_state.hasNotch())
        setInteractionState(State::compact);
}

std::optional<CaptureItem> TrayStateMachine::selectedItem() const
{
    return m_queue.selectedItem();
}

void runTrayItemAction(const std::function<void(const CaptureItem &)> &action,
                       const CaptureItem &item)
{
    if (!action)
        return;
    // Called from event handlers and timers, which no exception may leave.
    try {
        action(item);
    } catch (const CaptureError &error) {
        qCWarning(Log::overlay, "Tray action failed: %s", qUtf8Printable(error.errorDescription()));
    } catch (const CaptureActionError &error) {
        qCWarning(Log::overlay, "Tray action failed: %s", qUtf8Printable(error.errorDescription()));
    } catch (const std::exception &error) {
        qCWarning(Log::overlay, "Tray action failed: %s", error.what());
    }
}

bool TrayStateMachine::handleKeyDown(const QKeyEvent &event)
{
    if (!m_window.isWindowShown() || textInputHasFocus())
        return false;
    const std::optional<CaptureItem> item = selectedItem();
    const TrayKeyDecision decision = trayKeyDecision(
        event.key(), event.text(), m_state.interactionState() == State::expanded, item.has_value());
    switch (decision.command) {
    case TrayKeyCommand::none:
        break;
    case TrayKeyCommand::collapse:
        unpin();
        assignState(State::compact, true);
        break;
    case TrayKeyCommand::hideWhenEmpty:
        if (m_queue.items().isEmpty())
            m_window.hideTray(false);
        break;
    case TrayKeyCommand::save:
        runTrayItemAction(m_callbacks.onSave, *item);
        break;
    case TrayKeyCommand::copy:
        runTrayItemAction(m_callbacks.onCopy, *item);
        break;
    case TrayKeyCommand::quickLook:
        runTrayItemAction(m_state.onQuickLook, *item);
        break;
    case TrayKeyCommand::recognizeText:
        runTrayItemAction(m_state.onOCR, *item);
        break;
    case TrayKeyCommand::pin:
        pinFromTray(m_neighbours.pinning, &m_state, *item);
        break;
    case TrayKeyCommand::annotate:
        runTrayItemAction(m_state.onAnnotate, *item);
        break;
    case TrayKeyCommand::remove:
        runTrayItemAction(m_callbacks.onDelete, *item);
        break;
    case TrayKeyCommand::selectPrevious:
        selectPrevious();
        break;
    case TrayKeyCommand::selectNext:
        selectNext();
        break;
    }
    return decision.consumed;
}

void TrayStateMachine::handleHorizontalScroll(QPoint pixelDelta, QPoint angleDelta)
{
    if (!m_window.isWindowShown() || m_state.interactionState() != State::expanded)
        return;
    for (int step = m_wheelPaging.step(pixelDelta, angleDelta); step != 0;) {
        if (step < 0) {
            selectPrevious();
            ++step;
        } else {
            selectNext();
            --step;
        }
    }
}

void TrayStateMachine::selectPrevious()
{
    const std::optional<CaptureItem> item = selectedItem();
    if (!item)
        return;
    const QList<CaptureItem> items = m_queue.items();
    for (qsizetype i = 1; i < items.size(); ++i) {
        if (items[i].id() == item->id()) {
            m_queue.setSelectedItemID(items[i - 1].id());
            return;
        }
    }
}

void TrayStateMachine::selectNext()
{
    const std::optional<CaptureItem> item = selectedItem();
    if (!item)
        return;
    const QList<CaptureItem> items = m_queue.items();
    for (qsizetype i = 0; i + 1 < items.size(); ++i) {
        if (items[i].id() == item->id()) {
            m_queue.setSelectedItemID(items[i + 1].id());
            return;
        }
    }
}
