#pragma once

#include <QObject>
#include <QUuid>

// The in-process notification "Corvanta.PinItemDeleted": posted whenever a pin
// is removed (closed, unpinned or taken off the deck). A pin made from a staged
// capture carries the capture's identifier, so observers can drop the capture.
class PinNotifications : public QObject {
    Q_OBJECT

public:
    static constexpr const char *pinItemDeletedName = "Corvanta.PinItemDeleted";

    using QObject::QObject;

    void postPinItemDeleted(const QUuid &id) { emit pinItemDeleted(id); }

signals:
    void pinItemDeleted(const QUuid &id);
};
