#pragma once

#include "pins/PinItem.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

class ClipboardService;
class FeedbackService;
class QMimeData;
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

// The actions of a pin card or floating pin. An action that cannot be done (a pin whose file
// or picture is gone, a destination that cannot be written) ends with its reason told to the
// caller's complaint, in the words the deck shows ("Couldn't copy (…)"), and the services log
// what failed, as they do for the tray. A dismissed save dialog is no failure.
class PinActions {
public:
    using Complaint = std::function<void(const QString &)>;

    explicit PinActions(PinActionServices services) : m_services(std::move(services)) {}

    // Puts the pin on the clipboard as the tray would: a staged capture as the tray copies it,
    // another image as PNG and TIFF encoded only when a paste asks, a file or recording as its
    // file; once it is there, plays the copy sound whatever the settings say. True when the
    // clipboard holds the pin.
    QCoro::Task<bool> copy(PinItemPtr item, Complaint complain = {});
    // Asks where to save the pin (its export name proposed; the dialog belongs to `window`) and
    // writes it there: an image as PNG, a file or recording as a copy. A pin with nothing left
    // to save is refused before the dialog.
    QCoro::Task<void> saveAs(PinItemPtr item, QWidget *window = nullptr, Complaint complain = {});
    // Opens the pin with the desktop's application for it. An image is first decoded and
    // written, off the main thread, as a new PNG, readable by the user only, named by its export
    // name in the program's private captures folder, and deleted when the program ends; one that
    // does not decode is refused. False when nothing opened.
    QCoro::Task<bool> open(PinItemPtr item, Complaint complain = {});
    // Why the action (a verb: "copy", "drag") cannot be done on the pin, in the words the deck
    // shows: an image whose picture can no longer be read, a file that is gone. Nothing when
    // there is something to act on. Cheap enough for any moment: a pinned capture's file is not
    // read here; the actions judge its decoded picture away from the main thread.
    static std::optional<QString> refusal(const PinItem &item, const QString &action);
    // The data a drag of the pin carries, handed to `start` (which owns it) on the main thread
    // while `receiver` is there; a pinned capture's drag file is made away from the main thread
    // meanwhile. When there is nothing to carry, `start` is not called and the reason is told.
    static void dragData(PinItemPtr item, QObject *receiver, const Complaint &complain,
                         std::function<void(QMimeData *)> start);
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
