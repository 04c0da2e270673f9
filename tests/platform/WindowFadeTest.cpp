#include "platform/WindowFade.h"
#include "support/AnimationClock.h"
#include "support/FakeCompositor.h"

#include <QWidget>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

using platform::WindowFade;

namespace {

constexpr auto curve = WindowFade::Curve::easeInOut;

class WindowFadeTest : public ::testing::Test {
protected:
    AnimationClock m_clock;
    std::unique_ptr<QWidget> m_window = std::make_unique<QWidget>();
    FakeCompositor m_compositor{true};
    WindowFade m_fade{m_window.get(), &m_compositor};
    int m_outCompletions = 0;
    int m_inCompletions = 0;
};

} // namespace

TEST_F(WindowFadeTest, AFadeRunsItsCompletionOnceAtTheTarget)
{
    m_fade.fadeTo(0.0, 60, curve, [&] {
        EXPECT_DOUBLE_EQ(m_window->windowOpacity(), 0.0);
        ++m_outCompletions;
    });
    EXPECT_TRUE(m_fade.isFading());
    EXPECT_DOUBLE_EQ(m_fade.targetOpacity(), 0.0);
    EXPECT_EQ(m_outCompletions, 0);
    m_clock.advanceBy(60);
    EXPECT_EQ(m_outCompletions, 1);
    m_clock.advanceBy(100);
    EXPECT_EQ(m_outCompletions, 1);
    EXPECT_FALSE(m_fade.isFading());
}

TEST_F(WindowFadeTest, AShowDuringAFadeOutWins)
{
    m_fade.fadeTo(0.0, 200, curve, [&] { ++m_outCompletions; });
    m_clock.advanceBy(40);
    const double midway = m_window->windowOpacity();
    EXPECT_LT(midway, 1.0);
    m_fade.fadeTo(1.0, 60, WindowFade::Curve::easeOutFast, [&] { ++m_inCompletions; });
    EXPECT_DOUBLE_EQ(m_fade.targetOpacity(), 1.0);
    m_clock.advanceBy(60);
    EXPECT_EQ(m_inCompletions, 1);
    // Long enough for the replaced fade-out to have ended had it kept running.
    m_clock.advanceBy(250);
    EXPECT_EQ(m_outCompletions, 0);
    EXPECT_EQ(m_inCompletions, 1);
    EXPECT_DOUBLE_EQ(m_window->windowOpacity(), 1.0);
}

TEST_F(WindowFadeTest, AFastFadeOutLingersAndThenGoes)
{
    m_fade.fadeTo(0.0, 240, WindowFade::Curve::easeOutFast, [&] { ++m_outCompletions; });
    m_clock.advanceBy(120);
    const double halfway = m_window->windowOpacity();
    EXPECT_GT(halfway, 0.5);
    EXPECT_LT(halfway, 1.0);
    m_clock.advanceBy(120);
    EXPECT_EQ(m_outCompletions, 1);
    EXPECT_DOUBLE_EQ(m_window->windowOpacity(), 0.0);
}

TEST_F(WindowFadeTest, SetOpacityEndsAFadeWithoutItsCompletion)
{
    m_fade.fadeTo(0.0, 60, curve, [&] { ++m_outCompletions; });
    m_fade.setOpacity(0.5);
    EXPECT_FALSE(m_fade.isFading());
    m_clock.advanceBy(150);
    EXPECT_EQ(m_outCompletions, 0);
    // Qt keeps opacities in 255 steps.
    EXPECT_NEAR(m_window->windowOpacity(), 0.5, 1.0 / 255);
}

TEST_F(WindowFadeTest, ACompletionMayStartTheNextFade)
{
    m_fade.fadeTo(0.0, 30, curve, [&] {
        ++m_outCompletions;
        m_fade.fadeTo(1.0, 30, curve, [&] { ++m_inCompletions; });
    });
    m_clock.advanceBy(100);
    EXPECT_EQ(m_inCompletions, 1);
    EXPECT_EQ(m_outCompletions, 1);
    EXPECT_DOUBLE_EQ(m_window->windowOpacity(), 1.0);
}

TEST_F(WindowFadeTest, AWindowClosedDuringAFadeGetsNoCompletion)
{
    m_fade.fadeTo(0.0, 60, curve, [&] { ++m_outCompletions; });
    m_window.reset();
    m_clock.advanceBy(150);
    EXPECT_EQ(m_outCompletions, 0);
    m_fade.fadeTo(1.0, 60, curve, [&] { ++m_inCompletions; });
    EXPECT_FALSE(m_fade.isFading());
}

TEST_F(WindowFadeTest, WithoutACompositorEveryFadeEndsAtOnce)
{
    FakeCompositor none(false);
    for (const platform::Compositor *compositor : {static_cast<platform::Compositor *>(&none),
                                                   static_cast<platform::Compositor *>(nullptr)}) {
        QWidget window;
        WindowFade fade(&window, compositor);
        int completions = 0;
        fade.fadeTo(0.0, 240, curve, [&] { ++completions; });
        EXPECT_EQ(completions, 1);
        EXPECT_FALSE(fade.isFading());
        EXPECT_DOUBLE_EQ(window.windowOpacity(), 0.0);
    }
}

TEST_F(WindowFadeTest, OpacitiesOutsideTheRangeAreMended)
{
    m_fade.setOpacity(-2.0);
    EXPECT_DOUBLE_EQ(m_fade.targetOpacity(), 0.0);
    m_fade.fadeTo(NAN, 0, curve);
    EXPECT_DOUBLE_EQ(m_fade.targetOpacity(), 1.0);
    EXPECT_DOUBLE_EQ(m_window->windowOpacity(), 1.0);
}
