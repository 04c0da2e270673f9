#pragma once

#include "capture/SelectionGeometry.h"
#include "capture/SelectionOverlayWindow.h"
#include "model/CaptureErrors.h"
#include "platform/Displays.h"
#include "platform/OverlayWindows.h"

#include <QList>
#include <QMetaObject>
#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

// Why a selection ended without the user's say.
enum class SelectionEnd { superseded, displaysChanged, ownerGone };

// One interactive selection: its overlay panels and the caller waiting for its outcome.
//
// The first outcome hides every panel and only then resumes the caller, on a later turn of the
// event loop, so that the caller never runs inside a panel's event handler and no panel is
// deleted there; later outcomes are ignored. A new selection of either kind ends the one still
// open, and a change of the displays ends it too: nothing is left waiting with stale overlays.
class SelectionSessionBase : public std::enable_shared_from_this<SelectionSessionBase> {
public:
    // `name` starts the log lines of the endings the user did not ask for ("Area selection").
    explicit SelectionSessionBase(const char *name);
    virtual ~SelectionSessionBase();
    SelectionSessionBase(const SelectionSessionBase &) = delete;
    SelectionSessionBase &operator=(const SelectionSessionBase &) = delete;

    // Makes this the open selection, ending the one open before.
    void begin();
    // Ends the selection as soon as the displays change.
    void endWhenDisplaysChange(platform::Displays &displays);

    bool isFinished() const { return m_finished; }
    // The panels while the selection is open.
    QList<SelectionOverlayWindow *> panels() const;
    SelectionOverlayWindow *addPanel(std::unique_ptr<SelectionOverlayWindow> panel);

    // The user backed out: the caller gets CaptureError::cancelled(). False when the selection
    // had already ended.
    bool cancel();
    // Ends the selection with an error for the caller.
    bool fail(std::exception_ptr error);
    // Cancels for a reason of its own, with a log line (none when the owner went away).
    void end(SelectionEnd reason);

protected:
    // Marks the selection finished and hides every panel; false when it had already finished.
    bool close();
    // Resumes the waiting caller, if any, on a later turn of the event loop.
    void resumeLater();
    void rethrowError() const;
    bool isResolved() const { return m_finished; }
    void setWaiter(std::coroutine_handle<> waiter) { m_waiter = waiter; }

private:
    struct DeleteLater {
        void operator()(QObject *object) const;
    };

    const char *m_name;
    bool m_finished = false;
    std::exception_ptr m_error;
    std::coroutine_handle<> m_waiter;
    std::vector<std::unique_ptr<SelectionOverlayWindow, DeleteLater>> m_panels;
    QMetaObject::Connection m_displaysConnection;
};

template <typename T> class SelectionSession final : public SelectionSessionBase {
public:
    using SelectionSessionBase::SelectionSessionBase;

    // The user picked `value`. False when the selection had already ended.
    bool finish(T value)
    {
        if (!close())
            return false;
        m_value = std::move(value);
        resumeLater();
        return true;
    }

    // co_await session.outcome(): the picked value, or the error the selection ended with.
    auto outcome()
    {
        struct Awaiter {
            std::shared_ptr<SelectionSession> session;
            bool await_ready() const noexcept { return session->isResolved(); }
            void await_suspend(std::coroutine_handle<> waiter) noexcept
            {
                session->setWaiter(waiter);
            }
            T await_resume()
            {
                session->rethrowError();
                if (!session->m_value)
                    throw CaptureError::cancelled();
                return *session->m_value;
            }
        };
        return Awaiter{std::static_pointer_cast<SelectionSession>(shared_from_this())};
    }

private:
    std::optional<T> m_value;
};

// What both selection services share: their open selection and how its panels go up, one per
// display, each holding the view `makeView(display, flipHeight)` builds. A view reports through
// `onSelected(value)` and `onCancelled()`; the first report ends the selection and is logged.
template <typename T> class InteractiveSelection {
public:
    // `name` starts the log lines of the endings the user did not ask for ("Area selection").
    InteractiveSelection(const char *name, std::shared_ptr<platform::OverlayWindows> overlays)
        : m_name(name), m_overlays(std::move(overlays))
    {
    }
    // The open selection ends, cancelled: its caller does not wait for overlays nobody owns.
    ~InteractiveSelection()
    {
        if (m_session)
            m_session->end(SelectionEnd::ownerGone);
    }
    InteractiveSelection(const InteractiveSelection &) = delete;
    InteractiveSelection &operator=(const InteractiveSelection &) = delete;

    // A new selection, ending the one open before (of either kind).
    std::shared_ptr<SelectionSession<T>> begin()
    {
        m_session = std::make_shared<SelectionSession<T>>(m_name);
        m_session->begin();
        return m_session;
    }

    QList<SelectionOverlayWindow *> panels() const
    {
        return m_session ? m_session->panels() : QList<SelectionOverlayWindow *>();
    }

    // Panels for the current displays, made but hidden (SelectionOverlayWindow::prepare), for a
    // later present(). Their memory is still to be touched.
    PreparedPanels prepare(platform::Displays &displays, bool translucent) const
    {
        PreparedPanels panels;
        for (const platform::Display &display : displays.displays()) {
            panels.push_back(std::make_unique<SelectionOverlayWindow>(display, m_overlays));
            panels.back()->prepare(translucent);
        }
        return panels;
    }

    // `prepared`: panels from prepare(); each is used for the display it was made for when the
    // view wants the same translucency, the others are thrown away.
    template <typename MakeView, typename LogSelected, typename LogCancelled>
    void present(const std::shared_ptr<SelectionSession<T>> &session, platform::Displays &displays,
                 MakeView makeView, LogSelected logSelected, LogCancelled logCancelled,
                 PreparedPanels prepared = {})
    {
        const QList<platform::Display> all = displays.displays();
        if (all.isEmpty()) {
            // No overlay could ever end the selection.
            session->fail(std::make_exception_ptr(CaptureError::noDisplayFound()));
            return;
        }
        const double height = flipHeight(all);
        const std::weak_ptr<SelectionSession<T>> weakSession = session;
        for (const platform::Display &display : all) {
            auto *view = makeView(display, height);
            view->onSelected = [weakSession, logSelected](const T &value) {
                const auto session = weakSession.lock();
                if (session && session->finish(value))
                    logSelected(value);
            };
            view->onCancelled = [weakSession, logCancelled] {
                const auto session = weakSession.lock();
                if (session && session->cancel())
                    logCancelled();
            };
            auto panel = takePrepared(prepared, display, view->backdrop().isTranslucent());
            if (!panel)
                panel = std::make_unique<SelectionOverlayWindow>(display, m_overlays);
            panel->setContentView(view);
            session->addPanel(std::move(panel))->present(view->backdrop());
        }
        session->endWhenDisplaysChange(displays);
    }

private:
    static std::unique_ptr<SelectionOverlayWindow>
    takePrepared(PreparedPanels &prepared, const platform::Display &display, bool translucent)
    {
        for (auto &panel : prepared) {
            if (panel && panel->display() == display &&
                panel->preparedTranslucency() == translucent)
                return std::move(panel);
        }
        return nullptr;
    }

    const char *m_name;
    std::shared_ptr<platform::OverlayWindows> m_overlays;
    std::shared_ptr<SelectionSession<T>> m_session;
};
