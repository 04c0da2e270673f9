#include "preview/QuickLookPreviewController.h"

#include "model/CaptureQueue.h"
#include "preview/PreviewGeometry.h"
#include "preview/PreviewKeys.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <algorithm>

QuickLookPreviewController::QuickLookPreviewController(PreviewWindowFactory makeWindow,
                                                       ViewFactory makeView,
                                                       VisibleFrame visibleFrame, QObject *parent)
    : QObject(parent), m_makeWindow(std::move(makeWindow)), m_makeView(std::move(makeView)),
      m_visibleFrame(std::move(visibleFrame))
{
}

QuickLookPreviewController::~QuickLookPreviewController()
{
    removeKeyMonitor();
}

void QuickLookPreviewController::setCurrentItem(std::optional<CaptureItem> item)
{
    m_currentItem = std::move(item);
    if (m_currentItem && m_currentItem->isVideo())
        setMarkupMode(false);
    emit currentItemChanged();
}

void QuickLookPreviewController::updateCurrentItem(const CaptureItem &item)
{
    setCurrentItem(item);
}

void QuickLookPreviewController::setPersistent(bool persistent)
{
    if (m_isPersistent == persistent)
        return;
    m_isPersistent = persistent;
    emit isPersistentChanged();
}

void QuickLookPreviewController::setMarkupMode(bool markup)
{
    // A recording's picture cannot be replaced: marks on it would be thrown away.
    if (m_isMarkupMode == markup || (markup && m_currentItem && m_currentItem->isVideo()))
        return;
    m_isMarkupMode = markup;
    if (m_window)
        m_window->setLeastSize(markup ? markupMinimumSize : QSizeF());
    // The editor needs more room than a small capture's preview: without it, Done & Save
    // would be cut off.
    if (markup && m_window) {
        const QRectF visible =
            (m_visibleFrame ? m_visibleFrame() : std::nullopt).value_or(previewFallbackFrame);
        const QRectF frame = m_window->frame();
        const QRectF enlarged = enlargedWithin(frame, markupMinimumSize, visible);
        if (enlarged != frame)
            m_window->setFrame(enlarged, true);
    }
    emit isMarkupModeChanged();
}

std::optional<QUuid> QuickLookPreviewController::currentItemID() const
{
    if (!m_currentItem)
        return std::nullopt;
    return m_currentItem->id();
}

bool QuickLookPreviewController::isVisible() const
{
    return m_window && m_window->isVisible();
}

void QuickLookPreviewController::setNotice(const QString &notice)
{
    if (m_notice == notice)
        return;
    m_notice = notice;
    emit noticeChanged();
}

void QuickLookPreviewController::dismissNotice()
{
    setNotice(QString());
    if (!m_currentItem)
        close();
}

void QuickLookPreviewController::watchQueue(CaptureQueue *queue)
{
    disconnect(m_queueWatch);
    m_queueWatch = {};
    if (queue)
        m_queueWatch = connect(queue, &CaptureQueue::itemsChanged, this,
                               &QuickLookPreviewController::followQueue);
}

void QuickLookPreviewController::followQueue()
{
    if (m_deleting || !m_currentQueue || !m_currentItem)
        return;
    const QList<CaptureItem> items = m_currentQueue->items();
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (items.at(i).id() == m_currentItem->id()) {
            m_currentIndex = i;
            return;
        }
    }
    // Nothing may act on the capture any more: no copy, share or pin of a file that is gone,
    // no edit written back to nothing.
    const bool editLost = m_isMarkupMode && m_hasUnsavedEdit && m_hasUnsavedEdit();
    setMarkupMode(false);
    const QString lost = QStringLiteral("“%1” was deleted, so the markup on it could not be kept.")
                             .arg(m_currentItem->fileName());
    if (items.isEmpty()) {
        if (!editLost) {
            close();
            return;
        }
        // Left open, empty, until the user has read why the markup is gone.
        setCurrentItem(std::nullopt);
        setNotice(lost);
        return;
    }
    const CaptureItem next = items.at(std::min(m_currentIndex, items.size() - 1));
    show(next, *m_currentQueue, m_onSave, m_onCopy, m_onDelete);
    if (editLost)
        setNotice(lost);
}

void QuickLookPreviewController::show(const CaptureItem &item, CaptureQueue &queue,
                                      ItemAction onSave, ItemAction onCopy, ItemAction onDelete)
{
    m_currentQueue = &queue;
    watchQueue(&queue);
    const QList<CaptureItem> items = queue.items();
    const auto shown = std::find_if(items.begin(), items.end(),
                                    [&item](const CaptureItem &c) { return c.id() == item.id(); });
    m_currentIndex = shown == items.end() ? 0 : shown - items.begin();
    setNotice(QString());
    m_onSave = std::move(onSave);
    m_onCopy = std::move(onCopy);
    m_onDelete = std::move(onDelete);
    setCurrentItem(item);

    const QRectF visible =
        (m_visibleFrame ? m_visibleFrame() : std::nullopt).value_or(previewFallbackFrame);
    const QRectF frame = previewWindowRect(item.pixelWidth(), item.pixelHeight(), visible);

    const bool existed = m_window != nullptr;
    if (!existed) {
        m_window = m_makeWindow();
        if (!m_window)
            return;
        if (m_isMarkupMode)
            m_window->setLeastSize(markupMinimumSize);
    }
    m_window->setFrame(frame, existed);
    // A fresh view every time: the player and the copied marks start afresh.
    m_window->setContent(m_makeView ? m_makeView(*this) : nullptr);
    m_window->present();
    installKeyMonitor();
}

void QuickLookPreviewController::toggle(const CaptureItem &item, CaptureQueue &queue,
                                        ItemAction onSave, ItemAction onCopy, ItemAction onDelete)
{
    if (isVisible() && m_currentItem && m_currentItem->id() == item.id()) {
        close();
        return;
    }
    show(item, queue, std::move(onSave), std::move(onCopy), std::move(onDelete));
}

void QuickLookPreviewController::close()
{
    setPersistent(false);
    setMarkupMode(false);
    removeKeyMonitor();
    m_onTogglePlayback = nullptr;
    m_onCopyKey = nullptr;
    m_onSaveKey = nullptr;
    // The window deletes its view; a view that is closing the window from its
    // own button must not be deleted under its feet.
    if (m_window) {
        std::unique_ptr<PreviewWindow> window = std::move(m_window);
        window->setContent(nullptr);
        window.reset();
    }
    if (m_currentItem)
        setCurrentItem(std::nullopt);
    watchQueue(nullptr);
    m_currentQueue = nullptr;
    setNotice(QString());
}

void QuickLookPreviewController::page(int step)
{
    if (!m_currentQueue || !m_currentItem)
        return;
    const QList<CaptureItem> items = m_currentQueue->items();
    const qsizetype count = items.size();
    qsizetype index = -1;
    for (qsizetype i = 0; i < count; ++i) {
        if (items.at(i).id() == m_currentItem->id()) {
            index = i;
            break;
        }
    }
    if (index < 0)
        return;
    const CaptureItem &target = items.at((index + step + count) % count);
    show(target, *m_currentQueue, m_onSave, m_onCopy, m_onDelete);
}

void QuickLookPreviewController::nextItem()
{
    page(1);
}

void QuickLookPreviewController::previousItem()
{
    page(-1);
}

void QuickLookPreviewController::performDelete(const CaptureItem &item)
{
    if (m_onDelete) {
        m_deleting = true;
        m_onDelete(item);
        m_deleting = false;
    }
    if (m_currentQueue && !m_currentQueue->items().isEmpty()) {
        const CaptureItem newest = m_currentQueue->items().first();
        show(newest, *m_currentQueue, m_onSave, m_onCopy, m_onDelete);
        return;
    }
    close();
}

void QuickLookPreviewController::performCopy(const CaptureItem &item)
{
    if (m_onCopy)
        m_onCopy(item);
}

void QuickLookPreviewController::performSave(const CaptureItem &item)
{
    if (m_onSave)
        m_onSave(item);
}

void QuickLookPreviewController::installKeyMonitor()
{
    removeKeyMonitor();
    if (QCoreApplication *app = QCoreApplication::instance()) {
        app->installEventFilter(this);
        m_keyMonitorInstalled = true;
    }
}

void QuickLookPreviewController::removeKeyMonitor()
{
    if (!m_keyMonitorInstalled)
        return;
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeEventFilter(this);
    m_keyMonitorInstalled = false;
}

bool QuickLookPreviewController::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    PreviewKeyContext context;
    context.windowVisible = isVisible();
    context.markupMode = m_isMarkupMode;
    context.targetIsPreview = m_window && m_window->holds(watched);
    context.currentIsVideo = m_currentItem && m_currentItem->isVideo();

    switch (previewKeyAction(*static_cast<QKeyEvent *>(event), context)) {
    case PreviewKeyAction::passOn:
        return false;
    case PreviewKeyAction::close:
        close();
        return true;
    case PreviewKeyAction::togglePlayback:
        if (m_onTogglePlayback)
            m_onTogglePlayback();
        return true;
    case PreviewKeyAction::previous:
        previousItem();
        return true;
    case PreviewKeyAction::next:
        nextItem();
        return true;
    case PreviewKeyAction::copy:
        if (m_currentItem) {
            // A copy: the call may replace the view that set it.
            const ItemAction copy = m_onCopyKey ? m_onCopyKey : m_onCopy;
            if (copy)
                copy(*m_currentItem);
        }
        return true;
    case PreviewKeyAction::save:
        if (m_currentItem) {
            // A copy: the call may replace the view that set it.
            const ItemAction save = m_onSaveKey ? m_onSaveKey : m_onSave;
            if (save)
                save(*m_currentItem);
        }
        return true;
    }
    return false;
}
