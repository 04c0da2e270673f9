#include "PanelDesktopSupport.h"
#include "app/DesktopPlatform.h"
#include "platform/PanelWindows.h"
#include "platform/PointerMonitor.h"
#include "support/WaitUntil.h"
#include "support/X11DesktopTest.h"

#include <QList>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace platform;
using Kind = PointerEvent::Kind;

namespace {

const QRect otherProgramRect(600, 300, 300, 200);
const QRect ownWindowRect(100, 150, 300, 200);

class PointerMonitorDesktop : public X11DesktopTest {
protected:
    void SetUp() override
    {
        X11DesktopTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_monitor = desktop::makePointerMonitor();
        QObject::connect(m_monitor.get(), &PointerMonitor::pointerEvent,
                         [this](const PointerEvent &event) { m_events.append(event); });
        ASSERT_TRUE(m_monitor->start());
        EXPECT_TRUE(m_monitor->isRunning());
        EXPECT_TRUE(m_monitor->start());
    }

    void TearDown() override
    {
        if (m_otherProgram.state() != QProcess::NotRunning) {
            m_otherProgram.terminate();
            if (!m_otherProgram.waitForFinished(2000))
                m_otherProgram.kill();
            m_otherProgram.waitForFinished(2000);
        }
    }

    // Another program's window, an undecorated one so that its rectangle is known.
    void showOtherProgram()
    {
        m_otherProgram.start(QStringLiteral("xev"), {"-geometry",
                                                     QStringLiteral("%1x%2+%3+%4")
                                                         .arg(otherProgramRect.width())
                                                         .arg(otherProgramRect.height())
                                                         .arg(otherProgramRect.x())
                                                         .arg(otherProgramRect.y()),
                                                     "-name", "corvanta-other-program"});
        ASSERT_TRUE(m_otherProgram.waitForStarted());
        ASSERT_TRUE(waitUntil([&] {
            for (const WindowInfo &info : m_platform.windowList->windows()) {
                if (info.title == QLatin1String("corvanta-other-program"))
                    return true;
            }
            return false;
        }));
    }

    // The first event of the kind reported since `from`.
    std::optional<PointerEvent> waitForEvent(
        Kind kind, qsizetype from,
        const std::function<bool(const PointerEvent &)> &fits = [](const PointerEvent &) {
            return true;
        })
    {
        std::optional<PointerEvent> found;
        waitUntil([&] {
            for (qsizetype i = from; i < m_events.size(); ++i) {
                if (m_events[i].kind == kind && fits(m_events[i])) {
                    found = m_events[i];
                    return true;
                }
            }
            return false;
        });
        return found;
    }

    // Warps and absolute XTest motion make no raw events, so the last pixel is a relative move
    // as a mouse makes it.
    std::optional<PointerEvent> moveTo(QPoint where)
    {
        const qsizetype from = m_events.size();
        xdotool({"mousemove", QString::number(where.x() - 1), QString::number(where.y() - 1),
                 "mousemove_relative", "1", "1"});
        return waitForEvent(Kind::moved, from, [&](const PointerEvent &event) {
            return event.globalPosition == where;
        });
    }

    std::unique_ptr<PointerMonitor> m_monitor;
    QList<PointerEvent> m_events;
    QProcess m_otherProgram;
};

} // namespace

TEST_F(PointerMonitorDesktop, MovesTellOurWindowsFromOtherPrograms)
{
    showOtherProgram();
    const QPoint overOther = otherProgramRect.center();
    const std::optional<PointerEvent> other = moveTo(overOther);
    ASSERT_TRUE(other);
    EXPECT_FALSE(other->overOwnWindow);
    EXPECT_EQ(other->buttons, Qt::NoButton);

    QWidget own;
    own.setWindowTitle(QStringLiteral("Corvanta own window"));
    own.setGeometry(ownWindowRect);
    own.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&own));
    const std::optional<PointerEvent> ours = moveTo(own.geometry().center());
    ASSERT_TRUE(ours);
    EXPECT_TRUE(ours->overOwnWindow);

    // Over the bare desktop.
    const std::optional<PointerEvent> desktop = moveTo(QPoint(1500, 900));
    ASSERT_TRUE(desktop);
    EXPECT_FALSE(desktop->overOwnWindow);

    // A jump moves no device: asked, the monitor reports it, and a pointer at rest then not again.
    const QPoint jumped(1400, 800);
    xdotool({"mousemove", QString::number(jumped.x()), QString::number(jumped.y())});
    const qsizetype beforeCheck = m_events.size();
    m_monitor->checkPosition();
    const std::optional<PointerEvent> found =
        waitForEvent(Kind::moved, beforeCheck,
                     [&](const PointerEvent &event) { return event.globalPosition == jumped; });
    ASSERT_TRUE(found) << "asked after the jump";
    EXPECT_FALSE(found->overOwnWindow);
    const qsizetype afterCheck = m_events.size();
    m_monitor->checkPosition();
    EXPECT_EQ(m_events.size(), afterCheck) << "asked again at rest";
}

TEST_F(PointerMonitorDesktop, APanelIsOursOnlyWhereItTakesInput)
{
    const std::shared_ptr<PanelWindows> panels = desktop::makePanelWindows();
    ProbeWindow panel(Qt::yellow, PanelWindows::windowFlags());
    panels->prepare(&panel, PanelLevel::topmost);
    panels->setInputRegion(&panel, QRegion(0, 0, 150, 200));
    panel.setGeometry(ownWindowRect);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));

    const std::optional<PointerEvent> inside = moveTo(ownWindowRect.topLeft() + QPoint(75, 100));
    ASSERT_TRUE(inside);
    EXPECT_TRUE(inside->overOwnWindow);
    // Qt delivers nothing there: the pointer is over whatever lies below.
    const std::optional<PointerEvent> passedThrough =
        moveTo(ownWindowRect.topLeft() + QPoint(225, 100));
    ASSERT_TRUE(passedThrough);
    EXPECT_FALSE(passedThrough->overOwnWindow);
}

TEST_F(PointerMonitorDesktop, PressesReleasesAndWheelNotchesOverAnotherProgram)
{
    showOtherProgram();
    const QPoint where = otherProgramRect.center();
    ASSERT_TRUE(moveTo(where));

    qsizetype from = m_events.size();
    xdotool({"mousedown", "1"});
    const std::optional<PointerEvent> pressed = waitForEvent(Kind::buttonPressed, from);
    ASSERT_TRUE(pressed);
    EXPECT_EQ(pressed->button, Qt::LeftButton);
    EXPECT_EQ(pressed->buttons, Qt::LeftButton);
    EXPECT_EQ(pressed->globalPosition, where);
    EXPECT_FALSE(pressed->overOwnWindow);
    // A move while the button is held reports it held.
    const std::optional<PointerEvent> dragged = moveTo(where + QPoint(20, 10));
    ASSERT_TRUE(dragged);
    EXPECT_EQ(dragged->buttons, Qt::LeftButton);
    from = m_events.size();
    xdotool({"mouseup", "1"});
    const std::optional<PointerEvent> released = waitForEvent(Kind::buttonReleased, from);
    ASSERT_TRUE(released);
    EXPECT_EQ(released->button, Qt::LeftButton);
    EXPECT_EQ(released->buttons, Qt::NoButton);

    from = m_events.size();
    xdotool({"click", "3"});
    ASSERT_TRUE(waitForEvent(Kind::buttonReleased, from));
    EXPECT_EQ(m_events[from].kind, Kind::buttonPressed);
    EXPECT_EQ(m_events[from].button, Qt::RightButton);

    from = m_events.size();
    xdotool({"click", "4", "click", "5"});
    ASSERT_TRUE(waitForEvent(Kind::scrolled, from,
                             [](const PointerEvent &event) { return event.scrollDelta.y() < 0; }));
    QList<QPointF> scrolls;
    for (qsizetype i = from; i < m_events.size(); ++i) {
        // The wheel is no button to press or release.
        EXPECT_EQ(m_events[i].kind, Kind::scrolled);
        scrolls.append(m_events[i].scrollDelta);
    }
    EXPECT_EQ(scrolls, (QList<QPointF>{{0, 10}, {0, -10}}));
}

TEST_F(PointerMonitorDesktop, AStoppedMonitorReportsNothing)
{
    ASSERT_TRUE(moveTo(QPoint(1400, 800)));
    m_monitor->stop();
    EXPECT_FALSE(m_monitor->isRunning());
    const qsizetype from = m_events.size();
    xdotool({"mousemove", "1300", "700", "mousemove_relative", "1", "1", "click", "1"});
    QTest::qWait(300);
    EXPECT_EQ(m_events.size(), from);

    // Started again, it reports again.
    ASSERT_TRUE(m_monitor->start());
    EXPECT_TRUE(moveTo(QPoint(1350, 750)));
}
