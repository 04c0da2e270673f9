#include "pins/PinActions.h"

#include "capture/ClipboardService.h"
#include "capture/FeedbackService.h"
#include "capture/SaveService.h"
#include "model/CaptureErrors.h"
#include "model/TemporaryFiles.h"
#include "platform/Background.h"
#include "platform/PngEncoder.h"
#include "platform/PrivateFiles.h"
#include "platform/UrlOpener.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <cerrno>
#include <qcoro/qcorofuture.h>
#include <unistd.h>

namespace {

// The most names tried for one opened image before giving up.
constexpr int nameAttempts = 100;

const QString pictureGone = QStringLiteral("its picture can no longer be read");

QString complaint(const QString &action, const QString &reason)
{
    return QStringLiteral("Couldn't %1 (%2)").arg(action, reason);
}

void tell(const PinActions::Complaint &complain, const QString &action, const QString &reason)
{
    if (complain)
        complain(complaint(action, reason));
}

} // namespace

std::optional<QString> PinActions::refusal(const PinItem &item, const QString &action)
{
    if (item.isImage())
        return item.hasPicture() ? std::nullopt : std::optional(complaint(action, pictureGone));
    const std::optional<QUrl> url = item.fileURL();
    if (url && url->isLocalFile() && !QFileInfo(url->toLocalFile()).isFile())
        return complaint(action,
                         QStringLiteral("the file ") + unreadableFileState(url->toLocalFile()));
    return std::nullopt;
}

QCoro::Task<bool> PinActions::copy(PinItemPtr item, Complaint complain)
{
    if (!item)
        co_return false;
    // Held here: the caller may drop this task while the clipboard reads a file.
    const PinActionServices services = m_services;
    if (!services.clipboard)
        co_return false;
    if (const std::optional<QString> refused = refusal(*item, QStringLiteral("copy"))) {
        if (complain)
            complain(*refused);
        co_return false;
    }
    // False when a later copy overtook this one: the clipboard is that one's, and nothing is said.
    bool copied = true;
    try {
        if (item->capture()) {
            QCoro::Task<bool> copying = services.clipboard->copy(*item->capture());
            copied = co_await copying;
        } else if (item->isImage()) {
            QCoro::Task<bool> copying = services.clipboard->copyImage(item->bitmap());
            copied = co_await copying;
        } else if (const std::optional<QUrl> url = item->fileURL()) {
            QCoro::Task<bool> copying = services.clipboard->copyFile(*url);
            copied = co_await copying;
        }
    } catch (const CaptureActionError &error) {
        // Logged by the clipboard service. A picture that does not decode is said in the words
        // of the deck's other actions.
        tell(complain, QStringLiteral("copy"),
             error.reason() == pictureGone ? pictureGone : error.errorDescription());
        co_return false;
    }
    if (!copied)
        co_return false;
    if (services.feedback)
        services.feedback->playCopied(true, true);
    co_return true;
}

QCoro::Task<void> PinActions::saveAs(PinItemPtr item, QWidget *window, Complaint complain)
{
    if (!item)
        co_return;
    const PinActionServices services = m_services;
    if (!services.saving)
        co_return;
    if (const std::optional<QString> refused = refusal(*item, QStringLiteral("save"))) {
        if (complain)
            complain(*refused);
        co_return;
    }
    try {
        if (item->isImage()) {
            // Decoded before the dialog opens: a picture that does not decode is refused at once.
            QCoro::Task<QUrl> saving =
                services.saving->saveDecoded(item->loadBitmap(), item->exportFileName(), window);
            co_await saving;
        } else if (const std::optional<QUrl> url = item->fileURL(); url && url->isLocalFile()) {
            QCoro::Task<QUrl> saving = services.saving->saveFile(*url, window, item->capture());
            co_await saving;
        }
    } catch (const CaptureActionError &error) {
        // Logged by the save service. A picture that does not decode is said in the words of
        // the deck's other actions.
        if (error.kind() != CaptureActionError::Kind::saveCancelled)
            tell(complain, QStringLiteral("save"),
                 error.reason() == pictureGone ? pictureGone : error.errorDescription());
    }
}

std::optional<QString> PinActions::writeNewPng(const QImage &image, const QString &folder,
                                               const QString &name)
{
    const QByteArray png = platform::PngEncoder::encode(image);
    if (png.isEmpty())
        return std::nullopt;
    const QFileInfo named(name);
    for (int attempt = 1; attempt <= nameAttempts; ++attempt) {
        const QString candidate = attempt == 1 ? name
                                               : QStringLiteral("%1 (%2).%3")
                                                     .arg(named.completeBaseName())
                                                     .arg(attempt)
                                                     .arg(named.suffix());
        const QString path = QDir(folder).filePath(candidate);
        const int fd = platform::createPrivateFile(path);
        if (fd < 0) {
            // Taken (by an earlier open in the same second, or by anything planted there): the
            // next name. Any other failure ends the attempt.
            if (errno == EEXIST)
                continue;
            return std::nullopt;
        }
        QFile file;
        if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            QFile::remove(path);
            return std::nullopt;
        }
        const bool written = file.write(png) == png.size() && file.flush();
        file.close();
        if (!written) {
            QFile::remove(path);
            return std::nullopt;
        }
        return path;
    }
    return std::nullopt;
}

QCoro::Task<bool> PinActions::open(PinItemPtr item, Complaint complain)
{
    // Held here: the deck may go while the picture is decoded and written.
    const PinActionServices services = m_services;
    if (!item || !services.urlOpener)
        co_return false;
    const QString action = QStringLiteral("open");
    if (const std::optional<QString> refused = refusal(*item, action)) {
        if (complain)
            complain(*refused);
        co_return false;
    }
    std::optional<QUrl> url = item->fileURL();
    if (item->isImage()) {
        // Named by the moment of the click, not of the end of the decoding.
        const QString name = item->exportFileName();
        // Handed to the viewer only once it decoded: a file damaged after its header would open
        // as a broken picture. Futures are made in statements of their own: GCC 12 may destroy
        // temporaries of a co_await expression twice.
        QFuture<QImage> loading = item->loadBitmap();
        const QImage image = co_await loading;
        if (image.isNull()) {
            tell(complain, action, pictureGone);
            co_return false;
        }
        const std::optional<QString> folder = TemporaryFiles::capturesFolder();
        // Encoding a large picture is slow too.
        QFuture<std::optional<QString>> writing = platform::runInBackground([image, folder, name] {
            return folder ? writeNewPng(image, *folder, name) : std::nullopt;
        });
        const std::optional<QString> path = co_await writing;
        if (!path) {
            tell(complain, action, QStringLiteral("its picture could not be written"));
            co_return false;
        }
        TemporaryFiles::deleteAtQuit({*path});
        url = QUrl::fromLocalFile(*path);
    }
    if (url && services.urlOpener->openUrl(*url))
        co_return true;
    tell(complain, action, QStringLiteral("no application opened it"));
    co_return false;
}

void PinActions::dragData(PinItemPtr item, QObject *receiver, const Complaint &complain,
                          std::function<void(QMimeData *)> start)
{
    const QString action = QStringLiteral("drag");
    if (const std::optional<QString> refused = refusal(*item, action)) {
        if (complain)
            complain(*refused);
        return;
    }
    if (!item->capture()) {
        start(item->itemProvider());
        return;
    }
    platform::deliverTo(
        receiver, item->capture()->prepareDragFile(),
        [item, complain, start = std::move(start)](const std::optional<QUrl> &dragFile) {
            std::unique_ptr<QMimeData> data(item->dragProvider(dragFile, {}));
            if (data->hasUrls() || data->hasFormat(QStringLiteral("image/png"))) {
                start(data.release());
                return;
            }
            tell(complain, QStringLiteral("drag"),
                 item->isImage()
                     ? pictureGone
                     : QStringLiteral("the file ") +
                           unreadableFileState(item->fileURL().value_or(QUrl()).toLocalFile()));
        });
}

bool PinActions::reveal(const PinItem &item)
{
    const std::optional<QUrl> url = item.fileURL();
    if (!url || !url->isLocalFile() || !m_services.urlOpener)
        return false;
    return m_services.urlOpener->revealFile(*url);
}
