#include "model/CaptureQueue.h"

#include "platform/Log.h"

namespace {
QByteArray idText(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper().toUtf8();
}
} // namespace

CaptureQueue::CaptureQueue(int maxCapacity, QObject *parent)
    : QObject(parent), m_maxCapacity(maxCapacity)
{
}

void CaptureQueue::setItems(const QList<CaptureItem> &items)
{
    m_items = items;
    emit itemsChanged();
}

void CaptureQueue::setSelectedItemID(const std::optional<QUuid> &id)
{
    m_selectedItemID = id;
    emit selectedItemIDChanged();
}

void CaptureQueue::setMaxCapacity(int capacity)
{
    m_maxCapacity = capacity;
    emit maxCapacityChanged();
}

qsizetype CaptureQueue::indexOf(const QUuid &id) const
{
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i).id() == id)
            return i;
    }
    return -1;
}

std::optional<CaptureItem> CaptureQueue::selectedItem() const
{
    if (m_items.isEmpty())
        return std::nullopt;
    const qsizetype index = m_selectedItemID ? indexOf(*m_selectedItemID) : -1;
    return m_items.at(index >= 0 ? index : 0);
}

void CaptureQueue::enqueue(const CaptureItem &item)
{
    while (m_items.size() >= m_maxCapacity && !m_items.isEmpty()) {
        QList<CaptureItem> items = m_items;
        const CaptureItem dropped = items.takeLast();
        setItems(items);
        dropped.scheduleTemporaryFileCleanup();
        qCInfo(Log::queue, "Removed oldest item %s to respect max capacity of %ld",
               idText(dropped.id()).constData(), long(m_maxCapacity));
    }
    QList<CaptureItem> items = m_items;
    items.prepend(item);
    setItems(items);
    setSelectedItemID(item.id());
    qCInfo(Log::queue, "Enqueued capture item %s. Current count: %ld",
           idText(item.id()).constData(), long(m_items.size()));
}

void CaptureQueue::remove(const QUuid &id)
{
    const qsizetype index = indexOf(id);
    if (index < 0)
        return;
    QList<CaptureItem> items = m_items;
    const CaptureItem removed = items.takeAt(index);
    setItems(items);
    removed.scheduleTemporaryFileCleanup();
    qCInfo(Log::queue, "Removed capture item %s. Remaining count: %ld", idText(id).constData(),
           long(m_items.size()));
    if (m_selectedItemID == id) {
        setSelectedItemID(m_items.isEmpty() ? std::nullopt
                                            : std::optional<QUuid>(m_items.first().id()));
    }
}

void CaptureQueue::clearAll()
{
    for (const CaptureItem &item : std::as_const(m_items))
        item.scheduleTemporaryFileCleanup();
    setItems({});
    setSelectedItemID(std::nullopt);
    qCInfo(Log::queue, "Cleared all capture items from queue");
}

void CaptureQueue::updateState(const QUuid &id, const CaptureItemState &state)
{
    const qsizetype index = indexOf(id);
    if (index < 0)
        return;
    QList<CaptureItem> items = m_items;
    items[index].setState(state);
    setItems(items);
}

void CaptureQueue::markSaving(const QUuid &id)
{
    updateState(id, CaptureItemState::saving());
}

void CaptureQueue::markSaved(const QUuid &id, const QString &fileName)
{
    updateState(id, CaptureItemState::saved(fileName));
}

void CaptureQueue::markCopying(const QUuid &id)
{
    updateState(id, CaptureItemState::copying());
}

void CaptureQueue::markDeleting(const QUuid &id)
{
    updateState(id, CaptureItemState::deleting());
}

void CaptureQueue::markPending(const QUuid &id)
{
    updateState(id, CaptureItemState::pending());
}

void CaptureQueue::markCopyOvertaken(const QUuid &id)
{
    emit copyOvertaken(id);
    markPending(id);
}

void CaptureQueue::markFailed(const QUuid &id, const CaptureActionError &error)
{
    updateState(id, CaptureItemState::failed(error));
}

void CaptureQueue::updateImage(const QUuid &id, const QImage &image)
{
    const qsizetype index = indexOf(id);
    if (index < 0)
        return;
    const CaptureItem &current = m_items.at(index);
    // An edit of a poster frame would turn the recording into a screenshot
    // and lose its movie; an empty image would leave nothing to show.
    if (current.isVideo()) {
        qCWarning(Log::queue, "Kept recording %s unchanged: its image cannot be replaced",
                  idText(id).constData());
        return;
    }
    if (image.isNull()) {
        qCWarning(Log::queue, "Kept capture item %s unchanged: the new image is empty",
                  idText(id).constData());
        return;
    }
    QList<CaptureItem> items = m_items;
    items[index] = current.withImage(image);
    setItems(items);
    qCInfo(Log::queue, "Updated image for capture item %s", idText(id).constData());
    emit imageUpdated(id);
}
