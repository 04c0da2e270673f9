#pragma once

#include "model/CaptureItem.h"
#include "model/SettingsEnums.h"

#include <QFuture>
#include <QImage>
#include <QUrl>
#include <functional>
#include <memory>
#include <qcoro/qcorotask.h>

class QFile;
class QWidget;
namespace platform {
class ImageWriter;
class SavePanel;
} // namespace platform

// Saves a staged capture to a file the user chooses.
class CaptureSaving {
public:
    virtual ~CaptureSaving() = default;
    // Asks where to save (modal to window when given, else blocking nothing) and writes the
    // capture there: a screenshot in the format, a recording as a copy of its movie whatever the
    // format. Completes with the file written; throws CaptureActionError: saveCancelled when the
    // user dismissed the panel, saveFailed otherwise. Main thread.
    virtual QCoro::Task<QUrl> save(CaptureItem item, ImageExportFormat format,
                                   QWidget *window = nullptr) = 0;
    // The same as PNG.
    QCoro::Task<QUrl> save(CaptureItem item, QWidget *window = nullptr)
    {
        return save(std::move(item), ImageExportFormat::png, window);
    }
    // A capture is starting: a save asked for before now opens no panel any more (it ends as
    // cancelled), since the panel would open over the capture's selection. Panels already open
    // are the caller's to dismiss.
    virtual void dismissPanels() {}
};

// The panel opens in the folder of the last file saved while the program runs, else in the
// user's pictures folder (videos folder for a recording), else in the home folder.
// Saving never destroys what it replaces: the new file is completed under a temporary name
// beside the destination and only then renamed over it, so a failed write or copy leaves an
// existing file as it was. The encoding, the writing and the copy of a movie run on a worker
// thread. Touches neither the queue nor the capture's state.
class SaveService final : public CaptureSaving {
public:
    SaveService(std::shared_ptr<platform::SavePanel> savePanel,
                std::shared_ptr<platform::ImageWriter> imageWriter);

    using CaptureSaving::save;
    QCoro::Task<QUrl> save(CaptureItem item, ImageExportFormat format,
                           QWidget *window = nullptr) override;
    // The same for a picture under a name of the caller's (saved as PNG; the source is read on
    // a worker thread), and for a file, saved as a copy under its own name (refused, when it is
    // the movie of the staged recording, once that is no longer the file staged).
    QCoro::Task<QUrl> saveImage(std::function<QImage()> source, QString proposedName,
                                QWidget *window = nullptr);
    QCoro::Task<QUrl> saveFile(QUrl source, QWidget *window = nullptr,
                               std::optional<CaptureItem> staged = std::nullopt);
    // The same for a picture still being decoded: refused with saveFailed before any panel when
    // it turns out null.
    QCoro::Task<QUrl> saveDecoded(QFuture<QImage> picture, QString proposedName,
                                  QWidget *window = nullptr);

    void dismissPanels() override { ++*m_turn; }

private:
    QCoro::Task<std::optional<QUrl>> choose(QString title, QString proposedName,
                                            QStringList allowedTypes, bool isVideo, QWidget *window,
                                            quint64 askedAt);
    QString startFolder(bool isVideo) const;
    QCoro::Task<QUrl> saveDecoded(QFuture<QImage> picture, QString proposedName,
                                  ImageExportFormat format, QWidget *window);
    QCoro::Task<QUrl> saveRecording(QString source, std::function<bool(QFile &, QString *)> open,
                                    QString fileName, QWidget *window, quint64 askedAt);
    QCoro::Task<QUrl> saveScreenshot(std::function<QImage()> image, QString fileName,
                                     ImageExportFormat format, QWidget *window, quint64 askedAt);

    std::shared_ptr<platform::SavePanel> m_savePanel;
    std::shared_ptr<platform::ImageWriter> m_imageWriter;
    // Where the last chosen file went; empty before the first. Shared with a panel still open
    // when the service goes.
    std::shared_ptr<QString> m_lastFolder = std::make_shared<QString>();
    // Counts the captures started (dismissPanels); shared with the saves still waiting.
    std::shared_ptr<quint64> m_turn = std::make_shared<quint64>(0);
};
