#include "model/CaptureItem.h"

#include "model/CapturedImageStorage.h"
#include "model/TemporaryFiles.h"
#include "model/Thumbnail.h"
#include "platform/Background.h"
#include "platform/Log.h"
#include "platform/PrivateFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>

namespace {

// Names are handed out once per process, so two captures of the same second
// never share (or overwrite) one file. A file left on disk by an earlier run
// does not count: it is overwritten.
QString reserveFileName(const QString &stem, const QString &extension)
{
    static QMutex mutex;
    static QSet<QString> reserved;
    QMutexLocker lock(&mutex);
    QString name = stem + QLatin1Char('.') + extension;
    for (int copy = 2; reserved.contains(name); ++copy)
        name = QStringLiteral("%1 (%2).%3").arg(stem).arg(copy).arg(extension);
    reserved.insert(name);
    return name;
}

// A recording's poster frame waits on disk beside the drag copy, under a name of its own that
// no screenshot or drag file takes.
QString posterFileName(const QString &fileName)
{
    return QStringLiteral("Poster_") + fileName + QStringLiteral(".poster");
}

QString makeFileName(const QDateTime &createdAt, const std::optional<QUrl> &videoURL)
{
    QString extension = QStringLiteral("png");
    if (videoURL) {
        extension = QFileInfo(videoURL->path()).suffix();
        if (extension.isEmpty())
            extension = QStringLiteral("mp4");
    }
    return reserveFileName(QStringLiteral("Corvanta ") +
                               createdAt.toString(QStringLiteral("yyyy-MM-dd 'at' HH.mm.ss")),
                           extension);
}

} // namespace

CaptureItem::CaptureItem(const QUuid &id, const QDateTime &createdAt,
                         std::optional<quint32> sourceDisplayID, CaptureMode mode,
                         const QImage &image, const std::optional<QImage> &thumbnail,
                         const std::optional<QUrl> &videoURL, const CaptureItemState &state)
    : m_id(id), m_createdAt(createdAt), m_sourceDisplayID(sourceDisplayID), m_mode(mode),
      m_pixelWidth(image.width()), m_pixelHeight(image.height()),
      m_fileName(makeFileName(createdAt, videoURL)),
      // The image (a recording's poster frame) is written in the background while the
      // thumbnail is made here; from then on only the thumbnail stays in memory.
      m_storage(videoURL ? CapturedImageStorage::create(image, posterFileName(m_fileName),
                                                        CapturedImageStorage::FileFormat::poster)
                         : CapturedImageStorage::create(image, m_fileName)),
      m_thumbnail(thumbnail ? *thumbnail : makeThumbnail(image, captureThumbnailSide)),
      m_videoURL(videoURL),
      // Taken as the recorder hands the movie over, before anyone else could have touched it.
      m_movieStamp(videoURL ? platform::FileVersion::of(videoURL->toLocalFile()) : std::nullopt),
      m_state(state)
{
}

CaptureItem::CaptureItem(KeepFileName, const CaptureItem &original, const QImage &image)
    : m_id(original.m_id), m_createdAt(original.m_createdAt),
      m_sourceDisplayID(original.m_sourceDisplayID), m_mode(original.m_mode),
      m_pixelWidth(image.width()), m_pixelHeight(image.height()), m_fileName(original.m_fileName),
      m_storage(CapturedImageStorage::create(image, original.m_fileName)),
      m_thumbnail(makeThumbnail(image, captureThumbnailSide)), m_state(original.m_state)
{
}

bool CaptureItem::openMovie(QFile &file, QString *error) const
{
    if (!m_videoURL)
        return false;
    const QString path = m_videoURL->toLocalFile();
    if (!platform::openRegularFile(file, path, error))
        return false;
    // Judged on what was opened: the path may name another file by the time it is read.
    const std::optional<platform::FileVersion> opened =
        platform::FileVersion::ofOpen(file.handle());
    if (m_movieStamp && opened && opened->sameContents(*m_movieStamp))
        return true;
    file.close();
    qCWarning(Log::capture, "The movie of %s is no longer the one recorded",
              qUtf8Printable(m_fileName));
    if (error)
        *error = QStringLiteral("Cannot read %1: it changed since it was recorded").arg(path);
    return false;
}

QImage CaptureItem::image() const
{
    if (!m_storage)
        return {};
    // Another picture written over the file is not this capture's.
    return m_storage->image(pixelSize());
}

QFuture<QImage> CaptureItem::loadImage() const
{
    if (!m_storage)
        return QtFuture::makeReadyFuture(QImage());
    return m_storage->decodedImage(QSize(int(m_pixelWidth), int(m_pixelHeight)));
}

QFuture<QByteArray> CaptureItem::loadPng() const
{
    if (!m_storage || m_videoURL)
        return QtFuture::makeReadyFuture(QByteArray());
    return platform::runInBackground(
        [storage = m_storage, size = pixelSize()] { return storage->wholePng(size); });
}

QFuture<bool> CaptureItem::checkPicture() const
{
    if (m_videoURL || (m_storage && !m_storage->heldImage().isNull()))
        return QtFuture::makeReadyFuture(true);
    if (!m_storage)
        return QtFuture::makeReadyFuture(false);
    return platform::runInBackground([storage = m_storage, size = pixelSize()] {
        switch (storage->verdict()) {
        case CapturedImageStorage::Verdict::whole:
        case CapturedImageStorage::Verdict::decodesNotWhole:
            return true;
        case CapturedImageStorage::Verdict::broken:
            return false;
        case CapturedImageStorage::Verdict::unknown:
            break;
        }
        return !storage->decodedImage(size).result().isNull();
    });
}

CaptureItem::StoredImage CaptureItem::storedImage(QDeadlineTimer writeDeadline) const
{
    if (!m_storage)
        return {};
    m_storage->waitForWrite(writeDeadline);
    // Asked first: once the copy is dropped, the file is complete.
    if (QImage held = m_storage->heldImage(); !held.isNull())
        return {held, {}};
    return {{}, m_storage->url() ? m_storage->url()->toLocalFile() : QString()};
}

QImage CaptureItem::recentPixels() const
{
    return m_storage ? m_storage->recentPixels() : QImage();
}

QString CaptureItem::pngPath() const
{
    if (m_storage && m_storage->url())
        return m_storage->url()->toLocalFile();
    const std::optional<QString> folder = TemporaryFiles::capturesFolder();
    const QString name = m_videoURL ? posterFileName(m_fileName) : m_fileName;
    return folder ? *folder + QLatin1Char('/') + name : QString();
}

void CaptureItem::scheduleTemporaryFileCleanup() const
{
    QStringList paths;
    if (m_videoURL)
        paths << m_videoURL->toLocalFile();
    if (const QString png = pngPath(); !png.isEmpty()) {
        paths << png;
        const QString dragFolder =
            TemporaryFiles::dragFolder(QFileInfo(png).absolutePath(), m_fileName);
        paths << dragFolder + QLatin1Char('/') + m_fileName << dragFolder;
    }
    TemporaryFiles::scheduleDeletion(paths);
}
