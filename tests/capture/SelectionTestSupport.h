#pragma once

#include "capture/SelectionOverlayWindow.h"
#include "model/CaptureErrors.h"
#include "model/SettingsStore.h"
#include "model/UserDefaults.h"
#include "support/FakeLoginItem.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <vector>

// How a selection ended for its caller.
template <typename T> struct SelectionOutcome {
    bool done = false;
    std::optional<T> value;
    std::optional<CaptureError> error;
    // Whether some overlay panel was still on the screen when the caller resumed.
    bool panelVisibleAtResume = false;
};

// Awaits a selection as a capture flow would. The moment it resumes, `panels` are checked and
// `atResume` runs (where the flow would take its screenshot).
template <typename T>
QCoro::Task<void> awaitSelection(QCoro::Task<T> selection, SelectionOutcome<T> &outcome,
                                 QList<QPointer<SelectionOverlayWindow>> *panels = nullptr,
                                 std::function<void()> atResume = {})
{
    try {
        outcome.value = co_await std::move(selection);
    } catch (const CaptureError &error) {
        outcome.error = error;
    }
    if (panels) {
        for (const QPointer<SelectionOverlayWindow> &panel : *panels)
            outcome.panelVisibleAtResume |= panel && panel->isVisible();
    }
    if (atResume)
        atResume();
    outcome.done = true;
}

// Keeps the flows awaiting a test's selections running while it lasts, each watching its own
// panels.
template <typename T> class SelectionRuns {
public:
    // Starts awaiting `selection` and returns the panels `panels()` lists once it has started.
    QList<SelectionOverlayWindow *>
    start(QCoro::Task<T> selection, SelectionOutcome<T> &outcome,
          const std::function<QList<SelectionOverlayWindow *>()> &panels,
          std::function<void()> atResume = {})
    {
        auto &watched = *m_watched.emplace_back(std::make_unique<Watched>());
        m_running.push_back(
            awaitSelection(std::move(selection), outcome, &watched, std::move(atResume)));
        const QList<SelectionOverlayWindow *> shown = panels();
        for (SelectionOverlayWindow *panel : shown)
            watched.append(panel);
        return shown;
    }

private:
    using Watched = QList<QPointer<SelectionOverlayWindow>>;
    std::vector<QCoro::Task<void>> m_running;
    std::vector<std::unique_ptr<Watched>> m_watched;
};

template <typename T> bool waitUntilDone(const SelectionOutcome<T> &outcome)
{
    return QTest::qWaitFor([&] { return outcome.done; }, 5000);
}

template <typename View> View *viewOf(SelectionOverlayWindow *panel)
{
    return panel ? qobject_cast<View *>(panel->contentView()) : nullptr;
}

// A pointer move without a button, as hovering sends it.
inline void hover(QWidget *widget, QPointF position)
{
    QMouseEvent event(QEvent::MouseMove, position, widget->mapToGlobal(position), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// A left-button drag in widget coordinates (y downwards).
inline void drag(QWidget *widget, QPoint from, QPoint to)
{
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(widget, to);
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, to);
}

// A settings store over a file of its own.
class ScratchSettings {
public:
    ScratchSettings()
        : m_defaults(m_dir.path() + QStringLiteral("/Corvanta.conf")),
          m_store(m_defaults, m_loginItem)
    {
    }
    SettingsStore &store() { return m_store; }

private:
    QTemporaryDir m_dir;
    UserDefaults m_defaults;
    FakeLoginItem m_loginItem;
    SettingsStore m_store;
};
