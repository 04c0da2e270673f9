#include "capture/RecordingHUDController.h"
#include "capture/RecordingHUDView.h"
#include "support/AnimationClock.h"
#include "support/FakePanelWindows.h"
#include "support/FakeScreenRecording.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

class RecordingHUDTest : public ::testing::Test {
protected:
    RecordingHUDView *view() const
    {
        return m_hud.panel() ? m_hud.panel()->findChild<RecordingHUDView *>() : nullptr;
    }
    void click(QAbstractButton *button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }

    FakeScreenRecording m_recorder;
    std::shared_ptr<FakePanelWindows> m_panels = std::make_shared<FakePanelWindows>();
    RecordingHUDController m_hud{&m_recorder, m_panels};
};

TEST_F(RecordingHUDTest, RequestsRunTheCallbackInstalledAtTheTimeAndNothingWithoutOne)
{
    m_hud.requestStop();
    m_hud.requestCancel();

    QStringList calls;
    m_hud.onStopRequested = [&] { calls << "first stop"; };
    m_hud.onStopRequested = [&] { calls << "stop"; };
    m_hud.onCancelRequested = [&] {
        calls << "cancel";
        // Replacing itself while it runs is safe.
        m_hud.onCancelRequested = nullptr;
    };
    m_hud.requestStop();
    m_hud.requestCancel();
    m_hud.requestCancel();
    EXPECT_EQ(calls, QStringList({"stop", "cancel"}));
}

TEST_F(RecordingHUDTest, ButtonsRunTheControllersCurrentCallbacks)
{
    m_hud.show("Full Screen");
    ASSERT_TRUE(view());
    click(view()->finishButton());
    click(view()->closeButton());

    QStringList calls;
    m_hud.onStopRequested = [&] { calls << "stop"; };
    m_hud.onCancelRequested = [&] {
        calls << "cancel";
        // The usual answer to a cancel takes the panel down while its button is being clicked.
        m_hud.hide();
    };
    click(view()->finishButton());
    click(view()->closeButton());
    EXPECT_EQ(calls, QStringList({"stop", "cancel"}));
    EXPECT_EQ(m_hud.panel(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(RecordingHUDTest, PanelKeepsItsFirstLabelUntilHiddenAndHideIsHarmlessWithoutOne)
{
    m_hud.hide();
    m_hud.show("Full Screen");
    QWidget *panel = m_hud.panel();
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->isVisible());
    m_hud.show("Window");
    EXPECT_EQ(m_hud.panel(), panel);
    EXPECT_EQ(view()->modeLabel(), "Full Screen");

    m_hud.hide();
    EXPECT_EQ(m_hud.panel(), nullptr);
    m_hud.hide();
    m_hud.show("Window");
    ASSERT_TRUE(view());
    EXPECT_EQ(view()->modeLabel(), "Window");
}

TEST_F(RecordingHUDTest, PanelGoesWhenWhatWasRecordedGoesAway)
{
    m_hud.show("Window");
    ASSERT_TRUE(m_hud.panel());
    emit m_recorder.streamEnded();
    EXPECT_EQ(m_hud.panel(), nullptr);
    emit m_recorder.streamEnded();
    EXPECT_EQ(m_hud.panel(), nullptr);
}

TEST_F(RecordingHUDTest, ElapsedTimeFollowsTheRecorder)
{
    m_recorder.setDuration(65);
    m_hud.show("Area");
    ASSERT_TRUE(view());
    EXPECT_EQ(view()->elapsedText(), "01:05");
    m_recorder.setDuration(100 * 60);
    EXPECT_EQ(view()->elapsedText(), "100:00");
}

TEST_F(RecordingHUDTest, FloatingPanelCentredNearTheBottomOfTheMainScreen)
{
    EXPECT_EQ(RecordingHUDController::panelOrigin({0, 0, 1920, 1080}), QPoint(820, 972));
    EXPECT_EQ(RecordingHUDController::panelOrigin({1920, 200, 2560, 1440}), QPoint(3060, 1532));

    m_hud.show("Full Screen");
    QWidget *panel = m_hud.panel();
    ASSERT_TRUE(panel);
    ASSERT_EQ(m_panels->prepared.size(), 1);
    EXPECT_EQ(m_panels->prepared.front().panel, panel);
    EXPECT_EQ(m_panels->prepared.front().level, platform::PanelLevel::floating);
    EXPECT_EQ(panel->size(), QSize(280, 48));
    EXPECT_EQ(panel->pos(),
              RecordingHUDController::panelOrigin(QGuiApplication::primaryScreen()->geometry()));
    // The capsule, not its transparent surroundings, is the panel's shape.
    EXPECT_TRUE(panel->mask().contains(QPoint(140, 24)));
    EXPECT_FALSE(panel->mask().contains(QPoint(0, 0)));
}

TEST_F(RecordingHUDTest, DotBlinksOnceShownAndBackgroundDragsThePanel)
{
    AnimationClock animations;
    m_hud.show("Full Screen");
    RecordingHUDView *hud = view();
    ASSERT_TRUE(hud);
    EXPECT_TRUE(hud->isBlinking());
    animations.advanceBy(400);
    EXPECT_LT(hud->dotOpacity(), 0.95);
    EXPECT_GE(hud->dotOpacity(), 0.2);

    QWidget *panel = m_hud.panel();
    const QPoint start = panel->pos();
    // Between the mode label and the "Finish" button lies bare background.
    const QPoint grab(hud->finishButton()->geometry().left() - 6, 24);
    QTest::mousePress(hud, Qt::LeftButton, {}, grab);
    QTest::mouseMove(hud, grab + QPoint(30, -10));
    QTest::mouseRelease(hud, Qt::LeftButton, {}, grab + QPoint(30, -10));
    EXPECT_EQ(panel->pos(), start + QPoint(30, -10));
}
