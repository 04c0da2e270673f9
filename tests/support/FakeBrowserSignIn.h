#pragma once

#include "app/OpenUrlHandler.h"

#include <QList>
#include <QUrl>

// Keeps the sign-in callbacks it is handed.
class FakeBrowserSignIn : public BrowserSignIn {
public:
    void handleBrowserCallback(const QUrl &url) override { received << url; }
    QList<QUrl> received;
};
