#include "app/SignalBridge.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>

namespace {

std::atomic<int> previousHandlerCalls{0};
extern "C" void previousHandler(int)
{
    ++previousHandlerCalls;
}

TEST(SignalBridge, ATerminationSignalQuitsTheEventLoopAndTheOldHandlerComesBack)
{
    // Counted afresh in every repetition of the test.
    previousHandlerCalls = 0;
    struct sigaction custom {};
    custom.sa_handler = previousHandler;
    sigemptyset(&custom.sa_mask);
    struct sigaction original {};
    ASSERT_EQ(::sigaction(SIGHUP, &custom, &original), 0);

    {
        SignalBridge bridge({SIGTERM, SIGHUP});
        ASSERT_TRUE(bridge.isInstalled());
        QSignalSpy spy(&bridge, &SignalBridge::signalReceived);
        QEventLoop loop;
        QObject::connect(&bridge, &SignalBridge::signalReceived, &loop, &QEventLoop::quit);
        QTimer::singleShot(0, [] { std::raise(SIGHUP); });
        QTimer::singleShot(5000, &loop, [&loop] { loop.exit(1); });
        EXPECT_EQ(loop.exec(), 0) << "the signal ended the loop";
        ASSERT_EQ(spy.size(), 1);
        EXPECT_EQ(spy[0][0].toInt(), SIGHUP);
        EXPECT_EQ(previousHandlerCalls.load(), 0);

        SignalBridge second({SIGUSR1});
        EXPECT_FALSE(second.isInstalled()) << "one bridge at a time";
    }

    std::raise(SIGHUP);
    EXPECT_EQ(previousHandlerCalls.load(), 1);
    ::sigaction(SIGHUP, &original, nullptr);
}

} // namespace
