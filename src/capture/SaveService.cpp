#include "capture/SaveService.h"

#include "model/CaptureErrors.h"
#include "platform/Background.h"
#include "platform/ImageWriter.h"
#include "platform/Log.h"
#include "platform/PrivateFiles.h"
#include "platform/SavePanel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QSaveFile>
#include <QStandardPaths>
#include <qcoro/qcorofuture.h>

namespace {

using platform::ImageWriteResult;

QByteArray idText(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper().toUtf8();
}

// The one type a movie (or a pinned file) is offered as, by its extension: its bytes are copied
// as they are, so a name of another type would lie about them and gets the file's own extension.
QString movieType(const QString &source)
{
    return QMimeDatabase().mimeTypeForFile(source, QMimeDatabase::MatchExtension).name();
}

// Opens the movie to be saved for reading; false, with the reason in its second argument, when
// it cannot or must not be read.
using MovieOpener = std::function<bool(QFile &, QString *)>;

MovieOpener openerOf(const QString &source, const std::optional<CaptureItem> &staged)
{
    if (staged && staged->isVideo())
        return
            [item = *staged](QFile &file, QString *error) { return item.openMovie(file, error); };
    return [source](QFile &file, QString *error) {
        return platform::openRegularFile(file, source, error);
    };
}

// Copies the movie through a temporary file beside the destination, renamed over it once
// complete. Answers why it failed, or nothing.
std::optional<QString> copyMovie(const QString &source, const MovieOpener &open,
                                 const QString &destination)
{
    QFile input;
    QString refused;
    if (!open(input, &refused))
        return refused;
    const QString sourcePath = QFileInfo(source).canonicalFilePath();
    // Saving the movie onto itself: it is already there.
    if (!sourcePath.isEmpty() && sourcePath == QFileInfo(destination).canonicalFilePath())
        return std::nullopt;
    QSaveFile output(destination);
    output.setDirectWriteFallback(false);
    if (!output.open(QIODevice::WriteOnly))
        return output.errorString();
    constexpr qint64 chunkSize = 1 << 20;
    while (!input.atEnd()) {
        const QByteArray chunk = input.read(chunkSize);
        if (chunk.isEmpty() && input.error() != QFileDevice::NoError)
            return input.errorString(); // output goes unwritten with its temporary file
        if (output.write(chunk) != chunk.size())
            return output.errorString();
    }
    if (!output.commit())
        return output.errorString();
    return std::nullopt;
}

ImageWriteResult writeImage(const std::function<QImage()> &source, platform::ImageWriter &writer,
                            const QString &destination, const QString &type)
{
    // The image may have to be decoded from the capture's PNG: done here, off the interface.
    const QImage image = source();
    if (image.isNull()) {
        return {ImageWriteResult::Status::cannotEncode,
                QStringLiteral("the capture's image cannot be read")};
    }
    return writer.write(image, destination, type);
}

// What the user is told about a failed image write; label names the format ("PNG").
QString writeFailureMessage(const ImageWriteResult &result, const QString &label)
{
    if (result.status == ImageWriteResult::Status::cannotCreate)
        return QStringLiteral("Could not create image destination.");
    return QStringLiteral("Failed to encode ") + label + QStringLiteral(" file.");
}

} // namespace

SaveService::SaveService(std::shared_ptr<platform::SavePanel> savePanel,
                         std::shared_ptr<platform::ImageWriter> imageWriter)
    : m_savePanel(std::move(savePanel)), m_imageWriter(std::move(imageWriter))
{
}

QCoro::Task<QUrl> SaveService::save(CaptureItem item, ImageExportFormat format, QWidget *window)
{
    qCInfo(Log::exportLog, "Initiating save flow for capture %s", idText(item.id()).constData());
    // Nothing to write: refused before the user is asked where to write it.
    if (item.isVideo() && !QFileInfo(item.videoURL()->toLocalFile()).isFile()) {
        const QString state = unreadableFileState(item.videoURL()->toLocalFile());
        qCCritical(Log::exportLog, "Could not save the recording: its file %s",
                   qUtf8Printable(state));
        throw CaptureActionError::saveFailed(
            QStringLiteral("Failed to save video file: the recording file ") + state);
    }
    if (item.isVideo()) {
        const QString source = item.videoURL()->toLocalFile();
        QCoro::Task<QUrl> saving =
            saveRecording(source, openerOf(source, item), item.fileName(), window, *m_turn);
        co_return co_await saving;
    }
    // Tasks and futures are made in statements of their own: GCC 12 may destroy temporaries of
    // a co_await expression twice.
    QCoro::Task<QUrl> saving = saveDecoded(item.loadImage(), item.fileName(), format, window);
    co_return co_await saving;
}

QCoro::Task<QUrl> SaveService::saveDecoded(QFuture<QImage> picture, QString proposedName,
                                           QWidget *window)
{
    QCoro::Task<QUrl> saving =
        saveDecoded(std::move(picture), std::move(proposedName), ImageExportFormat::png, window);
    co_return co_await saving;
}

QCoro::Task<QUrl> SaveService::saveDecoded(QFuture<QImage> picture, QString proposedName,
                                           ImageExportFormat format, QWidget *window)
{
    const quint64 askedAt = *m_turn;
    // Decoded before the user is asked where to write it, and that picture is what is written:
    // a file damaged after its header is refused here, not after the dialog.
    const QImage decoded = co_await picture;
    if (decoded.isNull()) {
        qCCritical(Log::exportLog, "Could not save the capture: its picture cannot be read");
        throw CaptureActionError::saveFailed(QStringLiteral("its picture can no longer be read"));
    }
    QCoro::Task<QUrl> saving =
        saveScreenshot([decoded] { return decoded; }, proposedName, format, window, askedAt);
    co_return co_await saving;
}

QCoro::Task<QUrl> SaveService::saveImage(std::function<QImage()> source, QString proposedName,
                                         QWidget *window)
{
    QCoro::Task<QUrl> saving = saveScreenshot(std::move(source), std::move(proposedName),
                                              ImageExportFormat::png, window, *m_turn);
    co_return co_await saving;
}

QCoro::Task<QUrl> SaveService::saveFile(QUrl source, QWidget *window,
                                        std::optional<CaptureItem> staged)
{
    const QString path = source.toLocalFile();
    QCoro::Task<QUrl> saving =
        saveRecording(path, openerOf(path, staged), source.fileName(), window, *m_turn);
    co_return co_await saving;
}

QString SaveService::startFolder(bool isVideo) const
{
    if (!m_lastFolder->isEmpty() && QFileInfo(*m_lastFolder).isDir())
        return *m_lastFolder;
    const QString standard = QStandardPaths::writableLocation(
        isVideo ? QStandardPaths::MoviesLocation : QStandardPaths::PicturesLocation);
    if (!standard.isEmpty() && QFileInfo(standard).isDir())
        return standard;
    return QDir::homePath();
}

QCoro::Task<std::optional<QUrl>> SaveService::choose(QString title, QString proposedName,
                                                     QStringList allowedTypes, bool isVideo,
                                                     QWidget *window, quint64 askedAt)
{
    // A capture started since the save was asked for: the panel would open over its selection.
    if (*m_turn != askedAt) {
        qCInfo(Log::exportLog, "Save cancelled: a capture started");
        throw CaptureActionError::saveCancelled();
    }
    platform::SavePanelOptions options;
    options.title = std::move(title);
    options.nameFieldStringValue = std::move(proposedName);
    options.allowedContentTypes = std::move(allowedTypes);
    options.canCreateDirectories = true;
    options.extensionHidden = false;
    options.directory = startFolder(isVideo);
    const std::shared_ptr<platform::SavePanel> panel = m_savePanel;
    const std::shared_ptr<QString> lastFolder = m_lastFolder;
    QCoro::Task<std::optional<QUrl>> answer = panel->run(std::move(options), window);
    std::optional<QUrl> chosen = co_await answer;
    if (!chosen || chosen->isEmpty()) {
        qCInfo(Log::exportLog, "Save cancelled by user");
        throw CaptureActionError::saveCancelled();
    }
    // Remembered even when the write then fails: the user finds the folder again to retry.
    *lastFolder = QFileInfo(chosen->toLocalFile()).absolutePath();
    co_return chosen;
}

QCoro::Task<QUrl> SaveService::saveRecording(QString source, MovieOpener open, QString fileName,
                                             QWidget *window, quint64 askedAt)
{
    // A movie that no longer reads as the one recorded is refused before the user is asked where
    // to write it, as a picture that no longer decodes is (and again as it is copied).
    QFuture<QString> opening = platform::runInBackground([open] {
        QFile movie;
        QString refused;
        return open(movie, &refused) ? QString() : refused;
    });
    const QString refused = co_await opening;
    if (!refused.isEmpty()) {
        qCCritical(Log::exportLog, "Could not save the recording: %s", qUtf8Printable(refused));
        throw CaptureActionError::saveFailed(QStringLiteral("Failed to save video file: ") +
                                             refused);
    }
    QCoro::Task<std::optional<QUrl>> choice =
        choose(QStringLiteral("Save Screen Recording"), fileName, {movieType(source)}, true, window,
               askedAt);
    const std::optional<QUrl> chosen = co_await choice;
    const QString destination = chosen->toLocalFile();

    // A movie can be large: copied on a worker thread so the interface keeps going.
    QFuture<std::optional<QString>> copying =
        platform::runInBackground([source, open = std::move(open), destination] {
            return copyMovie(source, open, destination);
        });
    const std::optional<QString> failure = co_await copying;
    if (failure) {
        qCCritical(Log::exportLog, "Could not save the recording to %s: %s",
                   qUtf8Printable(destination), qUtf8Printable(*failure));
        throw CaptureActionError::saveFailed(QStringLiteral("Failed to save video file: ") +
                                             *failure);
    }
    qCInfo(Log::exportLog, "Successfully saved video recording to destination");
    co_return *chosen;
}

QCoro::Task<QUrl> SaveService::saveScreenshot(std::function<QImage()> image, QString fileName,
                                              ImageExportFormat format, QWidget *window,
                                              quint64 askedAt)
{
    const QString extension = fileExtension(format);
    const QString label = extension.toUpper();
    const QString type = utType(format);
    const QString proposedName =
        QFileInfo(fileName).completeBaseName() + QLatin1Char('.') + extension;
    const std::shared_ptr<platform::ImageWriter> writer = m_imageWriter;
    const QStringList types(type);
    QCoro::Task<std::optional<QUrl>> choice =
        choose(QStringLiteral("Save Screenshot"), proposedName, types, false, window, askedAt);
    const std::optional<QUrl> chosen = co_await choice;
    const QString destination = chosen->toLocalFile();

    QFuture<ImageWriteResult> writing =
        platform::runInBackground([image, writer, destination, type] {
            return writeImage(image, *writer, destination, type);
        });
    const ImageWriteResult result = co_await writing;
    if (!result.ok()) {
        qCCritical(Log::exportLog, "Could not write the capture to %s: %s",
                   qUtf8Printable(destination), qUtf8Printable(result.reason));
        throw CaptureActionError::saveFailed(writeFailureMessage(result, label));
    }
    qCInfo(Log::exportLog, "Successfully saved capture to destination");
    co_return *chosen;
}
