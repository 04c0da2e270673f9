#pragma once

#include "platform/Displays.h"

#include <QAbstractNativeEventFilter>
#include <QMutex>
#include <QSize>
#include <memory>

class QScreen;

namespace platform {

class X11Connection;

// The display list as last read on the main thread, for readers on any thread, with the size
// of the desktop (the root window) it was read with.
class DisplaySnapshot {
public:
    QList<Display> get() const;
    // Whether the list or the desktop's size differs from what it replaces: a desktop resized
    // around unchanged displays (RandR's screen size alone) is a change too.
    bool set(const QList<Display> &displays, QSize desktopSize);

private:
    mutable QMutex m_mutex;
    QList<Display> m_displays;
    QSize m_desktopSize;
};

// Displays from Qt's screens (their order, scale and main screen) paired by name with RandR
// outputs, whose identifiers stay the same while an output is connected.
// Qt reports changes of its screens; a change of the desktop's size alone comes only as a
// RandR screen change on Qt's connection, which this class watches for.
class X11Displays final : public Displays, private QAbstractNativeEventFilter {
    Q_OBJECT

public:
    X11Displays(std::shared_ptr<X11Connection> connection,
                std::shared_ptr<DisplaySnapshot> snapshot, QObject *parent = nullptr);
    ~X11Displays() override;

    QList<Display> displays() const override;
    std::optional<QPointF> pointerLocation() const override;

private:
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override;
    void refresh();
    void watch(QScreen *screen);
    // Reads the displays and the desktop's size into the snapshot; whether either changed.
    bool read();
    QList<Display> readDisplays(QSize *desktopSize) const;

    std::shared_ptr<X11Connection> m_connection;
    std::shared_ptr<DisplaySnapshot> m_snapshot;
    // The event code of RandR's screen change on Qt's connection; 0 when it cannot come.
    quint8 m_screenChangeEvent = 0;
};

} // namespace platform
