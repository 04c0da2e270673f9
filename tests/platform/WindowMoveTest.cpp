#include "platform/WindowMove.h"
#include "support/AnimationClock.h"

#include <QCoreApplication>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

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
