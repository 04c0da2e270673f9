#include "pins/PinAutoPinner.h"

#include "model/CaptureQueue.h"
#include "model/SettingsStore.h"
#include "pins/PinManager.h"

PinAutoPinner::PinAutoPinner(PinManager &manager, QObject *parent)
    : QObject(parent), m_manager(manager)
{
}

PinAutoPinner::~PinAutoPinner()
{
    disconnect(m_cancellable);
    disconnect(m_imageUpdates);
}

void PinAutoPinner::start(CaptureQueue &queue, SettingsStore &settings)
{
    disconnect(m_cancellable);
    m_queue = &queue;
    m_settings = &settings;
    m_cancellable = connect(&queue, &CaptureQueue::itemsChanged, this, &PinAutoPinner::handleItems,
                            Qt::QueuedConnection);
    disconnect(m_imageUpdates);
    // At once, not in a later turn: a copy from a pin right after the edit gives the new image.
    m_imageUpdates =
        connect(&queue, &CaptureQueue::imageUpdated, this, &PinAutoPinner::handleImageUpdate);
    QMetaObject::invokeMethod(this, &PinAutoPinner::handleItems, Qt::QueuedConnection);
}

void PinAutoPinner::handleItems()
{
    if (!m_queue || !m_settings)
        return;
    const QList<CaptureItem> items = m_queue->items();
    QSet<QUuid> current;
    for (const CaptureItem &item : items)
        current.insert(item.id());
    const QSet<QUuid> removed = m_previouslySeen - current;
    for (const QUuid &id : removed)
        m_manager.unpin(id);
    m_previouslySeen = current;
    const QSet<QUuid> before = m_everSeen;
    m_everSeen.unite(current);

    if (!m_settings->autoPinEnabled() || items.isEmpty())
        return;
    const CaptureItem &first = items.first();
    if (first.id() == m_lastProcessedItemID || before.contains(first.id()))
        return;
    m_lastProcessedItemID = first.id();
    m_manager.addToStack(PinItem::fromCapture(first));
}

void PinAutoPinner::handleImageUpdate(const QUuid &id)
{
    if (!m_queue)
        return;
    for (const CaptureItem &item : m_queue->items()) {
        if (item.id() == id) {
            m_manager.updateCapture(item);
            return;
        }
    }
}
