#pragma once

#include "platform/ScreenCapture.h"
#include "support/BuildSlowdown.h"
#include "support/FakeDisplays.h"

#include <QColor>
#include <QDeadlineTimer>
#include <QMutex>
#include <QSet>
#include <QStringList>
#include <QWaitCondition>
#include <functional>

// Screen reads over FakeDisplays, safe from any thread like the real one. A display reads as
// its root size filled with colourFor(id); a rectangle as its pixel size at the scale of the
// display under its centre; a window as windowImage. Calls are recorded as
// "display(<id>, cursor=<bool>)", "rect(<x>,<y> <w>x<h>, cursor=<bool>)" and
// "window(<id>, decorations=<bool>, cursor=<bool>)".
class FakeScreenCapture : public platform::ScreenCapture {
public:
    explicit FakeScreenCapture(const FakeDisplays &displays) : m_displays(displays) {}

    static QColor colourFor(platform::DisplayId id) { return QColor::fromRgb(0x102030 + id * 16); }

    platform::CaptureResult captureRect(const QRectF &rect, bool showsCursor) override
    {
        enter(QStringLiteral("rect(%1,%2 %3x%4, cursor=%5)")
                  .arg(rect.x())
                  .arg(rect.y())
                  .arg(rect.width())
                  .arg(rect.height())
                  .arg(flag(showsCursor)));
        if (!failure.isEmpty())
            return leave(platform::CaptureResult::failed(failure));
        const QList<platform::Display> displays = m_displays.displays();
        double scale = 1.0;
        for (const platform::Display &display : displays) {
            if (platform::containsHalfOpen(display.captureFrame, rect.center()))
                scale = display.scale;
        }
        QImage image(platform::pixelSize(rect.size(), scale), QImage::Format_RGB32);
        image.fill(Qt::gray);
        return leave(platform::CaptureResult::success(image));
    }

    platform::CaptureResult captureDisplay(platform::DisplayId id, bool showsCursor) override
    {
        enter(QStringLiteral("display(%1, cursor=%2)").arg(id).arg(flag(showsCursor)));
        if (!failure.isEmpty())
            return leave(platform::CaptureResult::failed(failure));
        if (failingDisplays.contains(id))
            return leave(platform::CaptureResult::failed(QStringLiteral("display %1").arg(id)));
        const std::optional<platform::Display> display =
            platform::displayForId(m_displays.displays(), id);
        if (!display)
            return leave(platform::CaptureResult::failed(QStringLiteral("no display")));
        QImage image(display->rootRect.size(), QImage::Format_RGB32);
        image.fill(colourFor(display->id));
        return leave(platform::CaptureResult::success(image));
    }

    QHash<platform::DisplayId, QImage> captureAllDisplays(bool showsCursor) override
    {
        QHash<platform::DisplayId, QImage> images;
        for (const platform::Display &display : m_displays.displays()) {
            platform::CaptureResult result = captureDisplay(display.id, showsCursor);
            if (result)
                images.insert(display.id, result.image);
        }
        return images;
    }

    platform::CaptureResult captureWindow(platform::WindowId id, bool withDecorations,
                                          bool showsCursor) override
    {
        enter(QStringLiteral("window(%1, decorations=%2, cursor=%3)")
                  .arg(id)
                  .arg(flag(withDecorations))
                  .arg(flag(showsCursor)));
        if (!failure.isEmpty())
            return leave(platform::CaptureResult::failed(failure));
        return leave(platform::CaptureResult::success(windowImage, windowArea));
    }

    QStringList calls() const
    {
        QMutexLocker lock(&m_mutex);
        return m_calls;
    }
    // The most reads that were under way at one time.
    int mostAtOnce() const
    {
        QMutexLocker lock(&m_mutex);
        return m_mostAtOnce;
    }

    // Set before the reads start; read on worker threads.
    QString failure;                           // every read fails with this reason
    QSet<platform::DisplayId> failingDisplays; // these displays fail
    QImage windowImage = QImage(40, 30, QImage::Format_RGB32);
    QRectF windowArea; // the area a window read is said to show
    // Each read waits until this many reads are under way at once (or a second passes), so
    // that a test sees whether reads overlap.
    int holdUntilAtOnce = 0;
    // Runs on the reading thread as each read starts.
    std::function<void()> onRead;

private:
    static QString flag(bool value)
    {
        return value ? QStringLiteral("true") : QStringLiteral("false");
    }

    void enter(const QString &call)
    {
        if (onRead)
            onRead();
        QMutexLocker lock(&m_mutex);
        m_calls << call;
        m_mostAtOnce = std::max(m_mostAtOnce, ++m_atOnce);
        m_changed.wakeAll();
        QDeadlineTimer deadline(1000 * buildSlowdown);
        while (m_mostAtOnce < holdUntilAtOnce && !deadline.hasExpired())
            m_changed.wait(&m_mutex, deadline);
    }

    platform::CaptureResult leave(platform::CaptureResult result)
    {
        QMutexLocker lock(&m_mutex);
        --m_atOnce;
        return result;
    }

    const FakeDisplays &m_displays;
    mutable QMutex m_mutex;
    QWaitCondition m_changed;
    QStringList m_calls;
    int m_atOnce = 0;
    int m_mostAtOnce = 0;
};
