#pragma once

#include "DesktopPreview.h"
#include "support/X11DesktopTest.h"

#include <QTest>

// A test with the preview on the harness's desktop, closed again after each case.
class DesktopPreviewTest : public X11DesktopTest {
protected:
    void SetUp() override
    {
        X11DesktopTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_preview = makeDesktopPreview(*m_platform.displays, m_queue);
    }
    void TearDown() override
    {
        if (m_preview)
            m_preview->close();
        m_preview.reset();
        QTest::qWait(50);
    }

    CaptureQueue m_queue{8};
    std::unique_ptr<QuickLookPreviewController> m_preview;
};
