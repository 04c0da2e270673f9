#include "capture/SelectionSession.h"

#include "platform/Log.h"

#include <QCoreApplication>

namespace {

// The selection whose overlays are up, of either kind; main thread only.
std::weak_ptr<SelectionSessionBase> openSelection;

} // namespace

SelectionSessionBase::SelectionSessionBase(const char *name) : m_name(name) {}

SelectionSessionBase::~SelectionSessionBase()
{
    close();
}

void SelectionSessionBase::begin()
{
    if (auto previous = openSelection.lock(); previous && previous.get() != this)
        previous->end(SelectionEnd::superseded);
    openSelection = weak_from_this();
}

void SelectionSessionBase::endWhenDisplaysChange(platform::Displays &displays)
{
    QObject::disconnect(m_displaysConnection);
    m_displaysConnection = QObject::connect(&displays, &platform::Displays::displaysChanged,
                                            [weak = weak_from_this()] {
                                                if (auto session = weak.lock())
                                                    session->end(SelectionEnd::displaysChanged);
                                            });
}

QList<SelectionOverlayWindow *> SelectionSessionBase::panels() const
{
    QList<SelectionOverlayWindow *> panels;
    for (const auto &panel : m_panels)
        panels.append(panel.get());
    return panels;
}

SelectionOverlayWindow *
SelectionSessionBase::addPanel(std::unique_ptr<SelectionOverlayWindow> panel)
{
    m_panels.emplace_back(panel.release());
    return m_panels.back().get();
}

bool SelectionSessionBase::cancel()
{
    return fail(std::make_exception_ptr(CaptureError::cancelled()));
}

bool SelectionSessionBase::fail(std::exception_ptr error)
{
    if (!close())
        return false;
    m_error = std::move(error);
    resumeLater();
    return true;
}

void SelectionSessionBase::end(SelectionEnd reason)
{
    if (!close())
        return;
    switch (reason) {
    case SelectionEnd::superseded:
        qCInfo(Log::capture, "%s cancelled: a new selection started", m_name);
        break;
    case SelectionEnd::displaysChanged:
        qCInfo(Log::capture, "%s cancelled: the displays changed", m_name);
        break;
    case SelectionEnd::ownerGone:
        break;
    }
    m_error = std::make_exception_ptr(CaptureError::cancelled());
    resumeLater();
}

bool SelectionSessionBase::close()
{
    if (m_finished)
        return false;
    m_finished = true;
    QObject::disconnect(m_displaysConnection);
    // Every panel is off the screen before anyone hears of the outcome: the screenshot that
    // follows must not contain them.
    for (const auto &panel : m_panels)
        panel->dismiss();
    m_panels.clear();
    return true;
}

void SelectionSessionBase::resumeLater()
{
    if (!m_waiter)
        return; // nobody waits yet: the outcome is ready when they ask
    QCoreApplication *application = QCoreApplication::instance();
    if (!application) {
        std::exchange(m_waiter, {}).resume();
        return;
    }
    QMetaObject::invokeMethod(
        application,
        [self = shared_from_this()] {
            if (std::coroutine_handle<> waiter = std::exchange(self->m_waiter, {}))
                waiter.resume();
        },
        Qt::QueuedConnection);
}

void SelectionSessionBase::rethrowError() const
{
    if (m_error)
        std::rethrow_exception(m_error);
}

void SelectionSessionBase::DeleteLater::operator()(QObject *object) const
{
    // The panel may be inside one of its own event handlers.
    object->deleteLater();
}
