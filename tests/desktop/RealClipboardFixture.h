#pragma once

#include "capture/ClipboardService.h"
#include "platform/qt/QtPasteboard.h"
#include "support/CaptureCoordinatorFixture.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

// A coordinator whose copies go through the real clipboard of the harness's X server. Derived
// fixtures call SetUp first and return when it skipped.
class RealClipboardFixture : public CaptureCoordinatorFixture {
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet("CORVANTA_HARNESS"))
            GTEST_SKIP() << "needs the desktop harness";
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        m_clipboardService = &m_realClipboard;
    }

    ClipboardService m_realClipboard{std::make_shared<platform::QtPasteboard>()};
};
