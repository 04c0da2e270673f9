#pragma once

#include "platform/x11/X11Platform.h"

#include <QCursor>
#include <QGuiApplication>
#include <gtest/gtest.h>
#include <optional>

// A test on the harness's X server with the real screenshot platform; skipped outside the
// harness. The pointer is parked in the bottom-right corner, away from test windows.
class X11DesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet("CORVANTA_HARNESS"))
            GTEST_SKIP() << "needs the desktop harness";
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        m_platform = platform::makeX11ScreenshotPlatform();
        ASSERT_FALSE(m_platform.displays->displays().isEmpty());
        QCursor::setPos(1900, 1060);
    }

    // The window as the window list reports it, once it is listed.
    std::optional<platform::WindowInfo> listed(platform::WindowId id) const
    {
        for (const platform::WindowInfo &info : m_platform.windowList->windows()) {
            if (info.id == id)
                return info;
        }
        return std::nullopt;
    }

    platform::ScreenshotPlatform m_platform;
};
