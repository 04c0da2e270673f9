#include "tray/TrayInteractions.h"

#include "model/CaptureErrors.h"
#include "model/CaptureQueue.h"
#include "tray/TrayState.h"

#include <QMimeData>
#include <QTimer>
#include <memory>

namespace {

class TimerHoverScheduler final : public TrayHoverScheduler {
public:
    TimerHoverScheduler()
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            // The work may start the next step; take it out first.
            const std::function<void()> work = std::exchange(m_work, {});
            if (work)
                work();
        });
    }

    void start(std::chrono::milliseconds delay, std::function<void()> work) override
    {
        m_work = std::move(work);
        m_timer.start(delay);
    }
    void cancel() override
    {
        m_timer.stop();
        m_work = {};
    }
    bool isPending() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
    std::function<void()> m_work;
};

void callIfSet(const std::function<void(const CaptureItem &)> &callback, const CaptureItem &item)
{
    // A copy: the callback may replace the one it was called through.
    const std::function<void(const CaptureItem &)> call = callback;
    if (call)
        call(item);
}

} // namespace

std::optional<CaptureItem> queuedItem(const CaptureQueue &queue, const QUuid &id)
{
    for (const CaptureItem &item : queue.items()) {
        if (item.id() == id)
            return item;
    }
    return std::nullopt;
}

std::unique_ptr<TrayHoverScheduler> makeTimerHoverScheduler()
{
    return std::make_unique<TimerHoverScheduler>();
}

TrayInteractions::TrayInteractions(CaptureQueue &queue, TrayNeighbours neighbours,
                                   TrayViewActions actions, TrayState *state)
    : m_queue(queue), m_neighbours(std::move(neighbours)), m_actions(std::move(actions)),
      m_state(state), m_hover(makeTimerHoverScheduler())
{
}

void TrayInteractions::setActions(TrayViewActions actions)
{
    m_actions = std::move(actions);
}

void TrayInteractions::setHoverScheduler(std::unique_ptr<TrayHoverScheduler> scheduler)
{
    m_hover->cancel();
    m_hover = std::move(scheduler);
}

void TrayInteractions::performAction(TrayButtonID button)
{
    const std::optional<CaptureItem> selected = m_queue.selectedItem();
    if (!selected)
        return;
    switch (button) {
    case TrayButtonID::copy:
        callIfSet(m_actions.onCopy, *selected);
        return;
    case TrayButtonID::save:
        callIfSet(m_actions.onSave, *selected);
        return;
    case TrayButtonID::open:
        if (m_state)
            callIfSet(m_state->onQuickLook, *selected);
        return;
    case TrayButtonID::annotate:
        if (m_state)
            callIfSet(m_state->onAnnotate, *selected);
        return;
    case TrayButtonID::ocr:
        if (m_state)
            callIfSet(m_state->onOCR, *selected);
        return;
    case TrayButtonID::pin:
        pinFromTray(m_neighbours.pinning, m_state, *selected);
        return;
    case TrayButtonID::delete_:
        callIfSet(m_actions.onDelete, *selected);
        return;
    }
}

void TrayInteractions::handleThumbnailTap(const CaptureItem &item)
{
    m_queue.setSelectedItemID(item.id());
    m_hover->cancel();
    TrayPreview *preview = m_neighbours.preview;
    if (!preview)
        return;
    preview->setPersistent(true);
    // The preview a rest opened already shows it: kept as it is rather than built afresh, which
    // would decode and paint the whole picture again.
    if (preview->isWindowVisible() && preview->currentItemID() == std::optional(item.id()))
        return;
    preview->show(item, m_queue, m_actions.onSave, m_actions.onCopy, m_actions.onDelete);
}

void TrayInteractions::handleThumbnailHover(const CaptureItem &item, bool hovering)
{
    m_hover->cancel();
    TrayPreview *preview = m_neighbours.preview;
    if (!preview)
        return;
    const QUuid id = item.id();
    if (hovering) {
        // An open preview follows the pointer from thumbnail to thumbnail at once.
        const auto delay =
            preview->isWindowVisible() ? std::chrono::milliseconds(0) : previewOpenDelay;
        m_hover->start(delay, [this, preview, id] {
            if (preview->isPersistent())
                return;
            // The capture may have been deleted while the pointer rested on it; what is shown
            // is its current state.
            const std::optional<CaptureItem> current = queuedItem(m_queue, id);
            if (!current)
                return;
            preview->show(*current, m_queue, m_actions.onSave, m_actions.onCopy,
                          m_actions.onDelete);
        });
        return;
    }
    m_hover->start(previewCloseDelay, [preview, id] {
        if (preview->isWindowVisible() && preview->currentItemID() == std::optional(id) &&
            !preview->isPersistent())
            preview->close();
    });
}

QMimeData *TrayInteractions::makeDragProvider(const CaptureItem &item,
                                              const std::optional<QUrl> &dragFile)
{
    m_hover->cancel();
    std::unique_ptr<QMimeData> data(item.makeItemProvider(dragFile, {}));
    if (!data->hasUrls()) {
        if (m_state)
            m_state->showNotice(
                item.id(),
                item.isVideo()
                    ? QStringLiteral("Couldn't drag (the recording file %1)")
                          .arg(unreadableFileState(item.videoURL()->toLocalFile()))
                    : QStringLiteral("Couldn't drag (its picture can no longer be read)"));
        return nullptr;
    }
    if (m_neighbours.preview && !m_neighbours.preview->isPersistent())
        m_neighbours.preview->close();
    return data.release();
}
