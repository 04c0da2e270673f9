#include "platform/WindowMove.h"
#include "platform/Spring.h"
#include "support/AnimationClock.h"

#include <QCoreApplication>
#include <QWidget>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <numbers>

using platform::WindowMove;

namespace {

class WindowMoveTest : public ::testing::Test {
protected:
    WindowMoveTest()
    {
        m_window->setGeometry(start);
        m_window->show();
    }

    static constexpr QRect start{100, 100, 200, 100};
    AnimationClock m_clock;
    std::unique_ptr<QWidget> m_window = std::make_unique<QWidget>();
    WindowMove m_move{m_window.get(), 200};
};

bool strictlyBetween(int value, int a, int b)
{
    return std::min(a, b) < value && value < std::max(a, b);
}

} // namespace

TEST_F(WindowMoveTest, AMoveGlidesAndAMoveUnderWaySetsOutFromWhereTheWindowIs)
{
    const QRect right(500, 100, 300, 100);
    m_move.moveTo(right, true);
    m_clock.advanceBy(64);
    const QRect first = m_window->geometry();
    EXPECT_TRUE(strictlyBetween(first.x(), start.x(), right.x())) << first.x();
    EXPECT_TRUE(strictlyBetween(first.width(), start.width(), right.width())) << first.width();

    const QRect down(first.x(), 400, 300, 100);
    m_move.moveTo(down, true);
    m_clock.advanceBy(16);
    const QRect second = m_window->geometry();
    EXPECT_EQ(second.x(), first.x()) << "no jump back to where the first move began";
    EXPECT_TRUE(strictlyBetween(second.y(), first.y(), down.y())) << second.y();
    m_clock.advanceBy(200);
    EXPECT_EQ(m_window->geometry(), down);
    EXPECT_FALSE(m_move.isMoving());
}

TEST_F(WindowMoveTest, AHiddenWindowMovesAtOnceAndAGoneOneEndsItsMove)
{
    m_window->hide();
    const QRect elsewhere(700, 500, 200, 100);
    m_move.moveTo(elsewhere, true);
    EXPECT_EQ(m_window->geometry(), elsewhere);
    EXPECT_FALSE(m_move.isMoving());

    m_window->show();
    m_move.moveTo(start, true);
    m_clock.advanceBy(32);
    EXPECT_TRUE(m_move.isMoving());
    m_window.reset();
    EXPECT_FALSE(m_move.isMoving());
    m_clock.advanceBy(200);
    m_move.moveTo(elsewhere, true);
}

// A spring let go at 0 moves as the damped spring does, past 1 when damped less than critically,
// and its animation ends exactly on 1 once the swing stays within 0.1 % of it.
TEST(Spring, SwingsAsADampedSpringAndEndsOnOne)
{
    struct Case {
        platform::Spring spring;
        double seconds;
        double value;
        int durationMs;
    };
    const QList<Case> cases{
        {{0.38, 0.84}, 0.05, 0.2148, 542},
        {{0.38, 0.84}, 0.35, 1.0077, 542}, // the top of its overshoot
        {{0.3, 0.8}, 0.1, 0.7048, 443},
        {{0.2, 0.7}, 0.14, 1.046, 330},
        {{0.5, 0.3}, 0.25, 1.3679, 1845},
        {{0.5, 0.3}, 0.5, 0.8681, 1845}, // back below
    };
    for (const Case &c : cases) {
        const platform::Spring &spring = c.spring;
        EXPECT_NEAR(spring.value(c.seconds), c.value, 1e-4) << c.seconds;
        EXPECT_EQ(spring.durationMs(), c.durationMs) << spring.response;
        EXPECT_NEAR(spring.valueForProgress(c.seconds * 1000 / c.durationMs), c.value, 1e-4);
        EXPECT_LE(std::abs(spring.value(c.durationMs / 1000.0) - 1), 0.001) << spring.response;
        EXPECT_EQ(spring.valueForProgress(1.0), 1.0);
    }
    const QEasingCurve curve = platform::springCurve<platform::Spring{0.2, 0.7}>();
    EXPECT_EQ(curve.valueForProgress(0.0), 0.0);
    EXPECT_NEAR(curve.valueForProgress(140.0 / 330), 1.046, 1e-4);
    EXPECT_EQ(curve.valueForProgress(1.0), 1.0);
}

// Damped critically or more, a spring creeps up to 1 without passing it, and its animation ends
// as soon as it is within 0.1 % of 1. One without a positive, finite response and damping jumps:
// at 1 at once, its animation taking no time.
TEST(Spring, CreepsUpWhenDampedCriticallyOrMoreAndJumpsWithoutAResponseOrDamping)
{
    const double omega = 2 * std::numbers::pi / 0.4;
    for (const double t : {0.02, 0.1, 0.3, 0.6})
        EXPECT_NEAR(platform::Spring({0.4, 1.0}).value(t),
                    1 - std::exp(-omega * t) * (1 + omega * t), 1e-12);
    const QList<std::pair<platform::Spring, int>> cases{
        {{0.4, 1.0}, 588}, {{0.4, 2.0}, 1659}, {{0.3, 3.0}, 1931}};
    for (const auto &[spring, durationMs] : cases) {
        SCOPED_TRACE(spring.dampingFraction);
        EXPECT_EQ(spring.durationMs(), durationMs);
        double previous = 0;
        for (int ms = 10; ms < durationMs; ms += 10) {
            const double value = spring.value(ms / 1000.0);
            ASSERT_TRUE(value > previous && value < 0.999) << ms << " ms: " << value;
            previous = value;
        }
        EXPECT_GE(spring.value(durationMs / 1000.0), 0.999);
        EXPECT_LT(spring.value(durationMs / 1000.0), 1.0);
    }

    const QList<platform::Spring> jumps{{0.4, 0.0},    {0.0, 0.8},     {-0.3, 0.8},
                                        {0.4, -1},     {qQNaN(), 0.8}, {0.4, qQNaN()},
                                        {0.4, qInf()}, {qInf(), 0.8}};
    for (const platform::Spring &spring : jumps) {
        SCOPED_TRACE(testing::Message() << spring.response << ", " << spring.dampingFraction);
        EXPECT_EQ(spring.durationMs(), 0);
        EXPECT_EQ(spring.value(0.1), 1.0);
        EXPECT_EQ(spring.valueForProgress(0.5), 1.0);
    }
}
