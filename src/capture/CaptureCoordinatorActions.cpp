// The actions on staged captures: the tray's save, copy and delete, the copy after a capture and
// the removal of a desktop pin.

#include "capture/CaptureCoordinator.h"

#include "capture/ClipboardService.h"
#include "capture/FeedbackService.h"
#include "capture/SaveService.h"
#include "model/CaptureErrors.h"
#include "model/CaptureQueue.h"
#include "model/SettingsStore.h"
#include "model/StartTask.h"
#include "platform/Log.h"

#include <QPointer>
#include <exception>
#include <optional>

namespace {

using WrapError = CaptureActionError (*)(const QString &);

// What a failed action leaves in the capture's state. The services fail with errors of our own,
// passed on unchanged; anything else was not expected here, so it is logged and wrapped.
// Called from a catch handler.
CaptureActionError currentActionError(WrapError wrap)
{
    QString description;
    try {
        throw;
    } catch (const CaptureActionError &error) {
        return error;
    } catch (const std::exception &error) {
        description = QString::fromUtf8(error.what());
    } catch (...) {
        description = QStringLiteral("An unknown error occurred.");
    }
    qCCritical(Log::capture, "Action on a staged capture failed: %s", qUtf8Printable(description));
    return wrap(description);
}

} // namespace

void CaptureCoordinator::installTray(StagingTrayFactory factory)
{
    if (!factory)
        return;
    // The tray may outlive a request it queued; each callback checks that the coordinator
    // still exists, and the save and copy run as tasks of their own, never inside the tray's
    // handler.
    QPointer<CaptureCoordinator> self(this);
    StagingTrayCallbacks callbacks;
    callbacks.onSave = [self](const CaptureItem &item) {
        if (self)
            self->later(
                [coordinator = self.data(), item] { startTask(coordinator->saveCapture(item)); });
    };
    callbacks.onCopy = [self](const CaptureItem &item) {
        if (self)
            self->later([coordinator = self.data(), item] { coordinator->copyCapture(item); });
    };
    callbacks.onDelete = [self](const CaptureItem &item) {
        if (self)
            self->deleteCapture(item);
    };
    callbacks.onStopRecording = [self] {
        if (self)
            startTask(self->stopRecording());
    };
    callbacks.onCancelRecording = [self] {
        if (self)
            startTask(self->cancelRecording());
    };
    m_notchWindowController = factory(m_queue, m_settingsStore, std::move(callbacks));
}

void CaptureCoordinator::later(std::function<void()> work)
{
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void CaptureCoordinator::removeFromQueue(const QUuid &id)
{
    m_queue.remove(id);
    if (m_queue.items().isEmpty() && m_notchWindowController)
        m_notchWindowController->reconcileAfterQueueChange();
}

void CaptureCoordinator::deleteCapture(const CaptureItem &item)
{
    removeFromQueue(item.id());
}

void CaptureCoordinator::handlePinDeleted(const QUuid &id)
{
    // A pin that names no capture leaves the queue alone.
    if (id.isNull())
        return;
    removeFromQueue(id);
}

void CaptureCoordinator::copyCapture(const CaptureItem &item)
{
    // Marked before the copy even starts, so that the tray shows it busy at once.
    m_queue.markCopying(item.id());
    later([this, item] { startTask(performCopy(item)); });
}

QCoro::Task<void> CaptureCoordinator::performCopy(CaptureItem item)
{
    // The coordinator may go while the image is encoded; nothing of it is touched after that.
    const QPointer<CaptureCoordinator> self(this);
    const QUuid id = item.id();
    const quint64 request = ++m_copyRequests;
    m_latestCopyOf.insert(id, request);
    std::optional<CaptureActionError> failure;
    try {
        // Made in a statement of its own: GCC 12 may destroy temporaries of a co_await
        // expression twice.
        QCoro::Task<bool> copying = m_clipboardService.copy(std::move(item));
        const bool copied = co_await copying;
        if (!self)
            co_return;
        if (!endLatestCopy(id, request))
            co_return;
        // A later copy took the clipboard: this one ends without a result.
        if (!copied) {
            m_queue.markCopyOvertaken(id);
            co_return;
        }
        m_feedbackService.playCopied(m_settingsStore.soundEffectsEnabled(),
                                     m_settingsStore.hapticsEnabled());
        if (m_settingsStore.copyRemovesCapture())
            removeFromQueue(id);
        else
            m_queue.markPending(id);
        co_return;
    } catch (...) {
        failure = currentActionError(&CaptureActionError::copyFailed);
    }
    if (self && endLatestCopy(id, request))
        m_queue.markFailed(id, *failure);
}

bool CaptureCoordinator::endLatestCopy(const QUuid &id, quint64 request)
{
    // Another copy of the capture asked for later gives it its state.
    if (m_latestCopyOf.value(id) != request)
        return false;
    m_latestCopyOf.remove(id);
    return true;
}

QCoro::Task<void> CaptureCoordinator::saveCapture(CaptureItem item)
{
    const QPointer<CaptureCoordinator> self(this);
    const QUuid id = item.id();
    std::optional<CaptureActionError> failure;
    try {
        m_queue.markSaving(id);
        const ImageExportFormat format = m_settingsStore.exportFormat();
        // No window: the panel blocks none, so a capture started meanwhile keeps its input.
        QCoro::Task<QUrl> saving = m_saveService.save(std::move(item), format, nullptr);
        const QUrl destination = co_await saving;
        if (!self)
            co_return;
        m_feedbackService.playSaved(m_settingsStore.soundEffectsEnabled(),
                                    m_settingsStore.hapticsEnabled());
        m_queue.markSaved(id, destination.fileName());
        co_return;
    } catch (...) {
        failure = currentActionError(&CaptureActionError::saveFailed);
    }
    if (!self)
        co_return;
    // Dismissing the panel is no error for the user: the capture simply waits again.
    if (failure->kind() == CaptureActionError::Kind::saveCancelled)
        m_queue.markPending(id);
    else
        m_queue.markFailed(id, *failure);
}
