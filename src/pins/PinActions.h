#pragma once

#include "pins/PinItem.h"

#include <QString>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

class ClipboardService;
class FeedbackService;
class QWidget;
class SaveService;

namespace platform {
class UrlOpener;
} // namespace platform

// What the desktop needs to copy, save and open pins: the program's own clipboard and save
// services, which the tray and the preview use too. Any member may be empty: that action then
// does nothing.
struct PinActionServices {
    ClipboardService *clipboard = nullptr;
    SaveService *saving = nullptr;
    std::shared_ptr<platform::UrlOpener> urlOpener;
    FeedbackService *feedback = nullptr;
};

// The actions of a pin card or floating pin. They fail silently: a pin whose file or picture
// is gone, or a destination that cannot be written, ends the action without a word to the user
// (the services log what failed, as they do for the tray).
class PinActions {
public:
    explicit PinActions(PinActionServices services) : m_services(std::move(services)) {}

    // Plays the copy sound whatever the settings say and puts the pin on the clipboard as the
    // tray would: a staged capture as the tray copies it, another image as PNG and TIFF encoded
    // only when a paste asks, a file or recording as its file.
    QCoro::Task<void> copy(PinItemPtr item);
    // Asks where to save the pin (its export name proposed; the dialog belongs to `window`) and
    // writes it there: an image as PNG, a file or recording as a copy.
    QCoro::Task<void> saveAs(PinItemPtr item, QWidget *window = nullptr);
    // Opens the pin with the desktop's application for it. An image is first written as a new
    // PNG, readable by the user only, named by its export name in the program's private captures
    // folder, and deleted when the program ends. False when nothing opened.
    bool open(const PinItem &item);
    // Shows a file or recording pin's file selected in the file manager (its folder where
    // that cannot be done).
    bool reveal(const PinItem &item);

    // Writes the image as a new private PNG named `name` (or "<name> (2).png" and on, when the
    // name is taken by anything, a link included) into `folder`; the file's path, or nothing.
    static std::optional<QString> writeNewPng(const QImage &image, const QString &folder,
                                              const QString &name);

private:
    PinActionServices m_services;
};
