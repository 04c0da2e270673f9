#include "platform/Background.h"
#include "platform/Logging.h"
#include "support/AwaitError.h"
#ifdef CORVANTA_TESTS_OF_THE_DESKTOP
#include "app/DesktopPlatform.h"
#endif

#include <QApplication>
#include <QThreadPool>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

// Unit and widget tests always run offscreen, whatever display the shell has;
// only the desktop binary talks to the X server the harness started.
int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (ctest's discovery) must work without any display.
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
#ifdef CORVANTA_DESKTOP_TESTS
    // Outside the harness the desktop tests skip themselves; they still need
    // an application object to get that far.
    if (qEnvironmentVariableIsEmpty("CORVANTA_HARNESS"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#else
    qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
#ifdef CORVANTA_TESTS_OF_THE_DESKTOP
    desktop::selectMovieBackend();
#endif
    QApplication app(argc, argv);
    platform::installMessageHandler();
    const int result = RUN_ALL_TESTS();
    // A capture dropped while its file is still written is deleted by the event loop once the
    // write ends; the program's loop always turns again, a test's need not.
    if (!platform::backgroundThreads()->waitForDone(awaitLimitMs)) {
        // The application object's end would wait for it again, without a bound.
        std::fprintf(stderr, "Background work still ran %d ms after the tests\n", awaitLimitMs);
        std::_Exit(EXIT_FAILURE);
    }
    QCoreApplication::sendPostedEvents();
    return result;
}
