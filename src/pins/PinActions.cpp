#include "pins/PinActions.h"

#include "capture/ClipboardService.h"
#include "capture/FeedbackService.h"
#include "capture/SaveService.h"
#include "model/CaptureErrors.h"
#include "model/TemporaryFiles.h"
#include "platform/PngEncoder.h"
#include "platform/PrivateFiles.h"
#include "platform/UrlOpener.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
        return complaint(action, QStringLiteral("the file is missing"));
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
    try {
        if (item->capture()) {
            QCoro::Task<void> copying = services.clipboard->copy(*item->capture());
            co_await copying;
        } else if (item->isImage()) {
            QCoro::Task<void> copying = services.clipboard->copyImage(item->bitmap());
            co_await copying;
        } else if (const std::optional<QUrl> url = item->fileURL()) {
            QCoro::Task<void> copying = services.clipboard->copyFile(*url);
            co_await copying;
        }
    } catch (const CaptureActionError &error) {
        // Logged by the clipboard service.
        tell(complain, QStringLiteral("copy"), error.errorDescription());
        co_return false;
    }
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
            QFuture<QImage> loading = item->capture() ? item->capture()->loadImage()
                                                      : QtFuture::makeReadyFuture(item->bitmap());
            const QImage picture = co_await loading;
            if (picture.isNull()) {
                tell(complain, QStringLiteral("save"), pictureGone);
                co_return;
            }
            QCoro::Task<QUrl> saving = services.saving->saveImage([picture] { return picture; },
                                                                  item->exportFileName(), window);
            co_await saving;
        } else if (const std::optional<QUrl> url = item->fileURL(); url && url->isLocalFile()) {
            QCoro::Task<QUrl> saving = services.saving->saveFile(*url, window);
            co_await saving;
        }
    } catch (const CaptureActionError &error) {
        // Logged by the save service.
        if (error.kind() != CaptureActionError::Kind::saveCancelled)
            tell(complain, QStringLiteral("save"), error.errorDescription());
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

bool PinActions::open(const PinItem &item, Complaint complain)
{
    if (!m_services.urlOpener)
        return false;
    const QString action = QStringLiteral("open");
    if (const std::optional<QString> refused = refusal(item, action)) {
        if (complain)
            complain(*refused);
        return false;
    }
    std::optional<QUrl> url = item.fileURL();
    if (item.isImage()) {
        const QImage image = item.bitmap();
        if (image.isNull()) {
            tell(complain, action, pictureGone);
            return false;
        }
        const std::optional<QString> folder = TemporaryFiles::capturesFolder();
        const std::optional<QString> path =
            folder ? writeNewPng(image, *folder, item.exportFileName()) : std::nullopt;
        if (!path) {
            tell(complain, action, QStringLiteral("its picture could not be written"));
            return false;
        }
        TemporaryFiles::deleteAtQuit({*path});
        url = QUrl::fromLocalFile(*path);
    }
    if (url && m_services.urlOpener->openUrl(*url))
        return true;
    tell(complain, action, QStringLiteral("no application opened it"));
    return false;
}

bool PinActions::reveal(const PinItem &item)
{
    const std::optional<QUrl> url = item.fileURL();
    if (!url || !url->isLocalFile() || !m_services.urlOpener)
        return false;
    return m_services.urlOpener->revealFile(*url);
}
