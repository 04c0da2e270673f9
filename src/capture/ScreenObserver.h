#pragma once

#include "platform/Displays.h"

#include <QObject>
#include <functional>

// Tells its owner when displays are attached, detached or reconfigured. Every change the
// platform announces runs onChange once, on the main thread; nothing runs after destruction.
class ScreenObserver final : public QObject {
    Q_OBJECT

public:
    // Without displays nothing is observed.
    ScreenObserver(platform::Displays *displays, std::function<void()> onChange,
                   QObject *parent = nullptr);

private:
    void handleDisplaysChanged();

    std::function<void()> m_onChange;
};
