#pragma once

#include <QList>
#include <QString>

namespace platform {

// Somewhere a file can be handed: an application, or a new e-mail.
struct ShareDestination {
    // Identifies the destination to open(); stable while the installed applications stay.
    QString id;
    QString name;
    // A theme icon name; may be empty.
    QString iconName;

    bool operator==(const ShareDestination &other) const = default;
};

// What the desktop offers for sharing a file.
class ShareDestinations {
public:
    virtual ~ShareDestinations() = default;
    // The destinations that take a file of the MIME type, the desktop's default application
    // first.
    virtual QList<ShareDestination> destinationsFor(const QString &mimeType) = 0;
    // Hands the file to the destination and returns without waiting for it. False when it
    // could not be started.
    virtual bool open(const ShareDestination &destination, const QString &filePath) = 0;
};

} // namespace platform
