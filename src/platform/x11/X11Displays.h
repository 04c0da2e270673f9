#pragma once

#include "platform/Displays.h"

#include <QMutex>
#include <memory>

class QScreen;

namespace platform {

class X11Connection;

// The display list as last read on the main thread, for readers on any thread.
class DisplaySnapshot {
public:
    QList<Display> get() const;
    // Whether the list differs from the one it replaces.
    bool set(const QList<Display> &displays);

private:
    mutable QMutex m_mutex;
    QList<Display> m_displays;
};

// Displays from Qt's screens (their order, scale and main screen) paired by name with RandR
// outputs, whose identifiers stay the same while an output is connected.
class X11Displays final : public Displays {
    Q_OBJECT

public:
    X11Displays(std::shared_ptr<X11Connection> connection,
                std::shared_ptr<DisplaySnapshot> snapshot, QObject *parent = nullptr);

    QList<Display> displays() const override;
    std::optional<QPointF> pointerLocation() const override;

private:
    void refresh();
    void watch(QScreen *screen);
    QList<Display> readDisplays() const;

    std::shared_ptr<X11Connection> m_connection;
    std::shared_ptr<DisplaySnapshot> m_snapshot;
};

} // namespace platform
