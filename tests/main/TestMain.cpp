#include "platform/Logging.h"

#include <QApplication>
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
#ifndef CORVANTA_DESKTOP_TESTS
    qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    QApplication app(argc, argv);
    platform::installMessageHandler();
    return RUN_ALL_TESTS();
}
