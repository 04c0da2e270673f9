#include "capture/ShareService.h"

#include "model/StartTask.h"
#include "model/TemporaryFiles.h"
#include "platform/Background.h"
#include "platform/Log.h"
#include "platform/PngWriter.h"

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QUuid>
#include <QWidget>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>

namespace {

const QString imageType = QStringLiteral("image/png");

// The image as a new PNG in the captures folder; answers its path, or why there is none.
struct SharedFile {
    QString path;
    QString error;
};

SharedFile writeSharedFile(const QImage &image)
{
    QString error;
    const std::optional<QString> folder = TemporaryFiles::capturesFolder(&error);
    if (!folder)
        return {{}, error};
    const QString path = *folder + QStringLiteral("/Shared ") +
                         QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                         QStringLiteral(".png");
    if (!platform::PngWriter::write(image, path, &error))
        return {{}, error};
    // The application it goes to may read it at any time while we run.
    TemporaryFiles::deleteAtQuit({path});
    return {path, {}};
}

// The file is written only once a destination is chosen, off the interface, and then handed
// over.
QCoro::Task<void> shareAsFile(std::shared_ptr<platform::ShareDestinations> destinations,
                              platform::ShareDestination destination, QImage image)
{
    // Started in a statement of its own: GCC 12 may destroy temporaries of a co_await
    // expression twice.
    QFuture<SharedFile> writing =
        platform::runInBackground([image] { return writeSharedFile(image); });
    const SharedFile file = co_await writing;
    if (file.path.isEmpty()) {
        qCWarning(Log::exportLog, "Could not write the image to share: %s",
                  qUtf8Printable(file.error));
        co_return;
    }
    if (!destinations->open(destination, file.path)) {
        qCWarning(Log::exportLog, "Could not share the image with %s",
                  qUtf8Printable(destination.name));
    }
}

} // namespace

ShareService::ShareService(std::shared_ptr<platform::ShareDestinations> destinations)
    : m_destinations(std::move(destinations))
{
}

void ShareService::share(const QImage &image, QWidget *relativeTo)
{
    if (image.isNull()) {
        qCWarning(Log::exportLog, "Nothing to share: the image is empty");
        return;
    }
    popUp(imageType, relativeTo,
          [owner = m_destinations, image](platform::ShareDestination chosen) {
              startTask(shareAsFile(owner, std::move(chosen), image));
          });
}

void ShareService::shareFile(const QString &path, const QString &mimeType, QWidget *relativeTo)
{
    popUp(mimeType, relativeTo, [owner = m_destinations, path](platform::ShareDestination chosen) {
        if (!owner->open(chosen, path)) {
            qCWarning(Log::exportLog, "Could not share the file with %s",
                      qUtf8Printable(chosen.name));
        }
    });
}

void ShareService::popUp(const QString &mimeType, QWidget *relativeTo,
                         std::function<void(platform::ShareDestination)> onChosen) const
{
    QWidget *view = relativeTo != nullptr ? relativeTo : QApplication::activeWindow();
    if (view == nullptr)
        return;
    QMenu *menu = makeMenu(mimeType, view, std::move(onChosen));
    const QRect anchor(view->mapToGlobal(QPoint(0, 0)), view->size());
    menu->popup(pickerPosition(anchor, menu->sizeHint()));
}

QPoint ShareService::pickerPosition(const QRect &anchor, const QSize &menuSize)
{
    return {anchor.x() + (anchor.width() - menuSize.width()) / 2, anchor.y() + anchor.height()};
}

QMenu *ShareService::makeMenu(const QString &mimeType, QWidget *parent,
                              std::function<void(platform::ShareDestination)> onChosen) const
{
    auto *menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QList<platform::ShareDestination> destinations =
        m_destinations->destinationsFor(mimeType);
    for (const platform::ShareDestination &destination : destinations) {
        QAction *action = menu->addAction(QIcon::fromTheme(destination.iconName), destination.name);
        // The menu may outlive the service: the action keeps what it needs.
        QObject::connect(action, &QAction::triggered, menu,
                         [onChosen, destination] { onChosen(destination); });
    }
    if (destinations.isEmpty()) {
        qCWarning(Log::exportLog, "No application to share the image with");
        menu->addAction(QStringLiteral("No applications available"))->setEnabled(false);
    }
    return menu;
}
