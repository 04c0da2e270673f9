#pragma once

#include "platform/ShareDestinations.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <functional>
#include <memory>

class QMenu;
class QWidget;

// Hands a captured image to another application. Linux has no system share sheet, so this
// shows a menu of the desktop's destinations for PNG images (its applications, e-mail) below the
// view, centred on it; the one chosen gets the image as a PNG file in the captures folder.
// Main thread.
class ShareService final {
public:
    explicit ShareService(std::shared_ptr<platform::ShareDestinations> destinations);

    // Shows the menu for the view, or without one for the active window, and returns at once;
    // nothing is shown when there is neither. Never fails: what goes wrong later is logged.
    void share(const QImage &image, QWidget *relativeTo = nullptr);
    // The same for a file that exists already (a recording): it is handed over as it is.
    void shareFile(const QString &path, const QString &mimeType, QWidget *relativeTo = nullptr);

    // Where a menu of menuSize opens for a view at anchor (global coordinates): below the view's
    // lower edge, centred on it.
    static QPoint pickerPosition(const QRect &anchor, const QSize &menuSize);

private:
    void popUp(const QString &mimeType, QWidget *relativeTo,
               std::function<void(platform::ShareDestination)> onChosen) const;
    QMenu *makeMenu(const QString &mimeType, QWidget *parent,
                    std::function<void(platform::ShareDestination)> onChosen) const;

    std::shared_ptr<platform::ShareDestinations> m_destinations;
};
