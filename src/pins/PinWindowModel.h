#pragma once

#include "pins/PinItem.h"

#include <QImage>
#include <QObject>

class PinActions;
class SettingsStore;

// What a floating pin's view draws and asks for. The window's controller publishes it; the view
// knows nothing else of the controller, the manager or the window.
class PinWindowModel : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual const PinItemPtr &item() const = 0;
    virtual SettingsStore &settings() const = 0;
    virtual QImage displayImage() const = 0;
    virtual double opacity() const = 0;
    // The opacity the picture is drawn at now: opacity(), or on its way there while ghost mode
    // turns on or off.
    virtual double pictureOpacity() const = 0;
    virtual bool isGhostMode() const = 0;
    virtual PinActions &actions() = 0;

    virtual void toggleGhostMode() = 0;
    // The view's close: the window's owner announces the pin's removal and closes it (a window
    // nobody owns closes itself).
    virtual void requestClose() = 0;

signals:
    // Anything the view shows changed (own state or a setting).
    void changed();
};
