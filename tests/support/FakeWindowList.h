#pragma once

#include "platform/WindowList.h"

// Windows that the test sets, topmost first.
class FakeWindowList : public platform::WindowList {
public:
    QList<platform::WindowInfo> windows() const override { return list; }

    // An ordinary window of another program, on screen, with its frame in capture coordinates.
    static platform::WindowInfo make(platform::WindowId id, QRectF captureFrame,
                                     QString applicationName = QStringLiteral("Editor"),
                                     QString title = QStringLiteral("Notes"))
    {
        platform::WindowInfo window;
        window.id = id;
        window.pid = 4242;
        window.applicationName = std::move(applicationName);
        window.title = std::move(title);
        window.captureFrame = captureFrame;
        window.isOnScreen = true;
        return window;
    }

    QList<platform::WindowInfo> list;
};
