#pragma once

#include "capture/ScreenCapturing.h"
#include "model/CaptureErrors.h"
#include "support/EventLog.h"
#include "support/Gate.h"

#include <QColor>
#include <optional>

// The screenshot service: answers every capture with `image` (or throws
// `failure`) after passing `gate`, and records "capture.display(<id>,
// cursor=<bool>)", "capture.all(cursor=<bool>)", "capture.area(<x>,<y>
// <w>x<h>)" and "capture.window(<id>, cursor=<bool>, ignoreShadows=<bool>)".
class FakeScreenCapturing : public ScreenCapturing {
public:
    explicit FakeScreenCapturing(EventLog &log) : m_log(log)
    {
        image = QImage(64, 48, QImage::Format_RGB32);
        image.fill(QColor(10, 120, 200));
    }

    QCoro::Task<QImage> captureDisplay(platform::DisplayId displayID, bool showsCursor,
                                       QList<platform::WindowId> excludingWindowIDs) override
    {
        m_log.add(
            QStringLiteral("capture.display(%1, cursor=%2)").arg(displayID).arg(flag(showsCursor)));
        excluded = excludingWindowIDs;
        co_return co_await answer();
    }

    QCoro::Task<QHash<platform::DisplayId, QImage>>
    captureAllDisplays(bool showsCursor, QList<platform::WindowId> excludingWindowIDs) override
    {
        m_log.add(QStringLiteral("capture.all(cursor=%1)").arg(flag(showsCursor)));
        excluded = excludingWindowIDs;
        const QImage shot = co_await answer();
        co_return QHash<platform::DisplayId, QImage>{{1, shot}};
    }

    QCoro::Task<QImage> captureArea(QRectF rect,
                                    QList<platform::WindowId> excludingWindowIDs) override
    {
        m_log.add(QStringLiteral("capture.area(%1,%2 %3x%4)")
                      .arg(rect.x())
                      .arg(rect.y())
                      .arg(rect.width())
                      .arg(rect.height()));
        excluded = excludingWindowIDs;
        co_return co_await answer();
    }

    QCoro::Task<QImage> captureWindow(platform::WindowInfo window, bool showsCursor,
                                      bool ignoreShadows) override
    {
        m_log.add(QStringLiteral("capture.window(%1, cursor=%2, ignoreShadows=%3)")
                      .arg(window.id)
                      .arg(flag(showsCursor), flag(ignoreShadows)));
        co_return co_await answer();
    }

    QImage image;
    std::optional<CaptureError> failure;
    Gate gate;
    QList<platform::WindowId> excluded;

private:
    static QString flag(bool value)
    {
        return value ? QStringLiteral("true") : QStringLiteral("false");
    }

    QCoro::Task<QImage> answer()
    {
        co_await gate.pass();
        if (failure)
            throw *failure;
        // A copy: QCoro moves from an lvalue handed to co_return.
        co_return QImage(image);
    }

    EventLog &m_log;
};
