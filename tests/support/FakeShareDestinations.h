#pragma once

#include "platform/ShareDestinations.h"

#include <QList>
#include <QPair>

// Offers `destinations` for every type and keeps what it was asked to open; answers `opens`.
class FakeShareDestinations : public platform::ShareDestinations {
public:
    QList<platform::ShareDestination> destinationsFor(const QString &mimeType) override
    {
        askedTypes << mimeType;
        return destinations;
    }
    bool open(const platform::ShareDestination &destination, const QString &filePath) override
    {
        opened << qMakePair(destination, filePath);
        return opens;
    }

    QList<platform::ShareDestination> destinations;
    QStringList askedTypes;
    QList<QPair<platform::ShareDestination, QString>> opened;
    bool opens = true;
};
