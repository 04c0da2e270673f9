#pragma once

#include "pins/PinItem.h"

#include <QString>
#include <memory>
#include <qcoro/qcorotask.h>

class FeedbackService;
class QWidget;

namespace platform {
class ImageWriter;
class Pasteboard;
class SavePanel;
class UrlOpener;
} // namespace platform

// What the desktop needs to copy, save and open pins. Any member may be empty: that action
// then does nothing.
struct PinActionServices {
    std::shared_ptr<platform::Pasteboard> pasteboard;
    std::shared_ptr<platform::SavePanel> savePanel;
    std::shared_ptr<platform::UrlOpener> urlOpener;
    std::shared_ptr<platform::ImageWriter> imageWriter;
    FeedbackService *feedback = nullptr;
    // Where an opened image pin is written; empty: the system temporary directory.
    QString openFolder;
};

// The actions of a pin card or floating pin. They fail silently: a pin whose file or picture
// is gone, or a destination that cannot be written, ends the action without a word.
class PinActions {
public:
    explicit PinActions(PinActionServices services) : m_services(std::move(services)) {}

    // Clears the clipboard and offers the pin: an image as PNG and TIFF, a file or recording as
    // its file. Plays the copy sound whatever the settings say. False when nothing was offered.
    bool copy(const PinItem &item);
    // Asks where to save the pin (its export name proposed) and writes it there: an image as
    // PNG, a file or recording as a copy. A destination the user agreed to replace is replaced
    // (the copy is written beside it and renamed over it).
    QCoro::Task<void> saveAs(PinItemPtr item, QWidget *window = nullptr);
    // Opens the pin with the desktop's application for it; an image is first written as a PNG
    // named by its export name into the temporary directory. False when nothing opened.
    bool open(const PinItem &item);
    // Shows the folder of a file or recording pin.
    bool reveal(const PinItem &item);

private:
    PinActionServices m_services;
};
