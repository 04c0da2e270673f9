#pragma once

#include "platform/Displays.h"

#include <QMutex>

// Displays that the test sets. `change` replaces them and announces it, as a reconfigured
// desktop does.
class FakeDisplays : public platform::Displays {
public:
    FakeDisplays() = default;
    explicit FakeDisplays(QList<platform::Display> displays) { set(std::move(displays)); }

    // A display for arrangeDisplays: its root rectangle in pixels and its scale.
    static platform::Display make(platform::DisplayId id, QRect rootRect, double scale = 1.0,
                                  bool isMain = false)
    {
        platform::Display display;
        display.id = id;
        display.name = QStringLiteral("screen-%1").arg(id);
        display.rootRect = rootRect;
        display.scale = scale;
        display.isMain = isMain;
        return display;
    }

    void set(QList<platform::Display> displays)
    {
        QMutexLocker lock(&m_mutex);
        m_displays = platform::arrangeDisplays(std::move(displays));
    }
    void change(QList<platform::Display> displays)
    {
        set(std::move(displays));
        emit displaysChanged();
    }
    void setPointer(std::optional<QPointF> screenPoint)
    {
        QMutexLocker lock(&m_mutex);
        m_pointer = screenPoint;
    }

    QList<platform::Display> displays() const override
    {
        QMutexLocker lock(&m_mutex);
        return m_displays;
    }
    std::optional<QPointF> pointerLocation() const override
    {
        QMutexLocker lock(&m_mutex);
        return m_pointer;
    }

private:
    mutable QMutex m_mutex;
    QList<platform::Display> m_displays;
    std::optional<QPointF> m_pointer;
};
