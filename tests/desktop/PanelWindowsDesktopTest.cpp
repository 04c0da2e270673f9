#include "PanelDesktopSupport.h"
#include "app/DesktopPlatform.h"
#include "platform/PanelWindows.h"
#include "support/WaitUntil.h"
#include "support/X11DesktopTest.h"

#include <QGuiApplication>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>
#include <memory>
#include <xcb/xcb.h>

using namespace platform;

namespace {

const QRect panelGeometry(300, 250, 400, 100);
const QPoint insideRegion = panelGeometry.topLeft() + QPoint(100, 50);
const QPoint outsideRegion = panelGeometry.topLeft() + QPoint(300, 50);

class PanelWindowsDesktop : public X11DesktopTest {
protected:
    void SetUp() override
    {
        X11DesktopTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_panels = desktop::makePanelWindows();
        // A normal window under the whole panel, active as a user's window would be.
        m_normal.setWindowTitle(QStringLiteral("Corvanta normal window"));
        m_normal.setGeometry(panelGeometry.adjusted(-100, -100, 100, 100));
        m_normal.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_normal));
        activate(m_normal);
    }

    void showPanel(PanelLevel level, std::optional<QRegion> inputRegion = std::nullopt)
    {
        m_panels->prepare(&m_panel, level);
        // Given before the native window exists; it has to survive the mapping.
        if (inputRegion)
            m_panels->setInputRegion(&m_panel, *inputRegion);
        m_panel.setGeometry(panelGeometry);
        m_panel.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_panel));
        ASSERT_TRUE(waitUntil([&] { return m_stacking.isAbove(m_panel, m_normal); }));
    }

    void activate(QWidget &window)
    {
        window.raise();
        window.activateWindow();
        ASSERT_TRUE(waitUntil([&] {
            return QGuiApplication::focusWindow() == window.windowHandle() &&
                   m_stacking.activeWindow() == quint32(window.winId());
        }));
    }

    // Whether the press reached exactly the expected window.
    void expectPressReaches(QPoint where, ProbeWindow &receiver, ProbeWindow &other)
    {
        const int before = receiver.presses;
        const int otherBefore = other.presses;
        clickAt(where);
        EXPECT_TRUE(waitUntil([&] { return receiver.presses > before; }));
        QTest::qWait(100);
        EXPECT_EQ(other.presses, otherBefore);
    }

    std::shared_ptr<PanelWindows> m_panels;
    ProbeWindow m_normal{Qt::darkBlue};
    ProbeWindow m_panel{Qt::yellow, PanelWindows::windowFlags()};
    StackingReader m_stacking;
};

} // namespace

TEST_F(PanelWindowsDesktop, TopmostPanelsStayAboveActiveAndFullScreenWindows)
{
    showPanel(PanelLevel::topmost);
    activate(m_normal);
    QTest::qWait(200);
    EXPECT_TRUE(m_stacking.isAbove(m_panel, m_normal));

    m_normal.showFullScreen();
    ASSERT_TRUE(waitUntil([&] { return m_normal.geometry().size() == m_normal.screen()->size(); }));
    activate(m_normal);
    QTest::qWait(200);
    EXPECT_TRUE(m_stacking.isAbove(m_panel, m_normal));
}

TEST_F(PanelWindowsDesktop, FloatingPanelsStayAboveActiveWindows)
{
    showPanel(PanelLevel::floating);
    activate(m_normal);
    clickAt(panelGeometry.topLeft() + QPoint(-50, -50));
    QTest::qWait(200);
    EXPECT_TRUE(m_stacking.isAbove(m_panel, m_normal));

    // A floating panel shown later stays below a topmost one.
    ProbeWindow topmost(Qt::red, PanelWindows::windowFlags());
    m_panels->prepare(&topmost, PanelLevel::topmost);
    topmost.setGeometry(panelGeometry.translated(50, 20));
    topmost.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&topmost));
    m_panel.hide();
    m_panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_panel));
    EXPECT_TRUE(waitUntil([&] { return m_stacking.isAbove(m_panel, m_normal); }));
    EXPECT_TRUE(m_stacking.isAbove(topmost, m_panel));
}

TEST_F(PanelWindowsDesktop, AClickOnThePanelLeavesTheFocusWhereItWas)
{
    showPanel(PanelLevel::topmost);
    expectPressReaches(insideRegion, m_panel, m_normal);
    QTest::qWait(200);
    EXPECT_EQ(QGuiApplication::focusWindow(), m_normal.windowHandle());
    EXPECT_EQ(m_stacking.activeWindow(), quint32(m_normal.winId()));
}

TEST_F(PanelWindowsDesktop, ClicksOutsideTheInputRegionReachTheWindowBelow)
{
    showPanel(PanelLevel::topmost, QRegion(0, 0, 200, 100));
    expectPressReaches(outsideRegion, m_normal, m_panel);
    expectPressReaches(insideRegion, m_panel, m_normal);

    // Shown again, the panel keeps its region.
    m_panel.hide();
    m_panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_panel));
    expectPressReaches(outsideRegion, m_normal, m_panel);

    m_panels->setInputRegion(&m_panel, QRegion());
    expectPressReaches(insideRegion, m_normal, m_panel);
    m_panels->setInputRegion(&m_panel, QRegion(m_panel.rect()));
    expectPressReaches(outsideRegion, m_panel, m_normal);
}

TEST_F(PanelWindowsDesktop, TheVisibleFrameIsTheDisplayLessTheReservedEdges)
{
    const platform::Display display = *m_platform.displays->mainDisplay();
    // The harness's tray host reserves no edge.
    EXPECT_EQ(m_panels->visibleFrame(display), display.screenFrame);

    // A dock along the bottom edge reserving 50 pixels.
    QWidget dock(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    dock.setGeometry(0, display.rootRect.height() - 50, display.rootRect.width(), 50);
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *c = x11->connection();
    const auto atomNamed = [&](const QByteArray &name) {
        XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.constData()), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    };
    const quint32 strut[12] = {0, 0, 0, 50, 0, 0,
                               0, 0, 0, 0,  0, quint32(display.rootRect.width() - 1)};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, xcb_window_t(dock.winId()),
                        atomNamed("_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL, 32, 12, strut);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, xcb_window_t(dock.winId()),
                        atomNamed("_NET_WM_STRUT"), XCB_ATOM_CARDINAL, 32, 4, strut);
    dock.show();
    const QRectF expected(display.screenFrame.x(), display.screenFrame.y() + 50,
                          display.screenFrame.width(), display.screenFrame.height() - 50);
    EXPECT_TRUE(waitUntil([&] { return m_panels->visibleFrame(display) == expected; }))
        << "visible frame stayed " << m_panels->visibleFrame(display).value_or(QRectF()).height();

    dock.hide();
    EXPECT_TRUE(waitUntil([&] { return m_panels->visibleFrame(display) == display.screenFrame; }));
}
