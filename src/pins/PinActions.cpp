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
#include <unistd.h>

namespace {

// The most names tried for one opened image before giving up.
constexpr int nameAttempts = 100;

} // namespace

QCoro::Task<void> PinActions::copy(PinItemPtr item)
{
    if (!item)
        co_return;
    // Held here: the caller may drop this task while the clipboard reads a file.
    const PinActionServices services = m_services;
    if (services.feedback)
        services.feedback->playCopied(true, true);
    if (!services.clipboard)
        co_return;
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
    } catch (const CaptureActionError &) {
        // Logged by the clipboard service; a pin's copy says nothing to the user.
    }
}

QCoro::Task<void> PinActions::saveAs(PinItemPtr item, QWidget *window)
{
    if (!item)
        co_return;
    const PinActionServices services = m_services;
    if (!services.saving)
        co_return;
    try {
        if (item->isImage()) {
            QCoro::Task<QUrl> saving = services.saving->saveImage([item] { return item->bitmap(); },
                                                                  item->exportFileName(), window);
            co_await saving;
        } else if (const std::optional<QUrl> url = item->fileURL(); url && url->isLocalFile()) {
            QCoro::Task<QUrl> saving = services.saving->saveFile(*url, window);
            co_await saving;
        }
    } catch (const CaptureActionError &) {
        // Cancelled, or logged by the save service; a pin's save says nothing to the user.
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

bool PinActions::open(const PinItem &item)
{
    if (!m_services.urlOpener)
        return false;
    if (!item.isImage()) {
        const std::optional<QUrl> url = item.fileURL();
        return url && m_services.urlOpener->openUrl(*url);
    }
    const QImage image = item.bitmap();
    const std::optional<QString> folder = TemporaryFiles::capturesFolder();
    if (image.isNull() || !folder)
        return false;
    const std::optional<QString> path = writeNewPng(image, *folder, item.exportFileName());
    if (!path)
        return false;
    TemporaryFiles::deleteAtQuit({*path});
    return m_services.urlOpener->openUrl(QUrl::fromLocalFile(*path));
}

bool PinActions::reveal(const PinItem &item)
{
    const std::optional<QUrl> url = item.fileURL();
    if (!url || !url->isLocalFile() || !m_services.urlOpener)
        return false;
    return m_services.urlOpener->revealFile(*url);
}
