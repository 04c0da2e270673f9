// The tray's copy button on the harness's X server: a click on it in the expanded tray puts the
// staged capture on the real clipboard, as another program pastes it.

#include "DesktopTrayFixture.h"
#include "platform/PointerMonitor.h"
#include "platform/x11/X11Platform.h"
#include "support/CaptureCoordinatorFixture.h"
#include "support/WaitUntil.h"
#include "support/XclipPaste.h"
#include "tray/CaptureTrayView.h"
#include "tray/NotchTrackingContainerView.h"
#include "tray/NotchWindowController.h"
#include "tray/TrayActionButton.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

class TrayCopyButtonDesktopTest : public DesktopTrayFixture {
protected:
    static QImage picture()
    {
        QImage image(320, 200, QImage::Format_RGB32);
        image.fill(Qt::darkBlue);
        QPainter painter(&image);
        painter.fillRect(40, 30, 120, 80, Qt::yellow);
        return image;
    }
};

TEST_F(TrayCopyButtonDesktopTest, TheCopyButtonPutsTheSelectedCaptureOnTheClipboard)
{
    const CaptureItem item(QUuid::createUuid(), QDateTime::currentDateTime(), std::nullopt,
                           CaptureMode::area, picture(), std::nullopt, std::nullopt,
                           CaptureItemState::pending());
    coordinator();
    m_queue.enqueue(item);
    NotchWindowController &controller = makeTray(copyThroughCoordinator());
    controller.show(std::nullopt, TrayInteractionState::expanded);
    ASSERT_TRUE(controller.isVisible());
    QWindow *window = controller.panel()->windowHandle();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));

    auto *copy = controller.trayView()->findChild<TrayActionButton *>("trayButton.copy");
    ASSERT_NE(copy, nullptr);
    ASSERT_TRUE(copy->isVisible());
    const QPoint centre = copy->mapTo(controller.panel(), copy->rect().center());
    // The tray tells clicks on it from clicks elsewhere by where the pointer is.
    QCursor::setPos(window->mapToGlobal(centre));
    ASSERT_TRUE(waitUntil([&] { return QCursor::pos() == window->mapToGlobal(centre); }));
    // Every state the capture passes through: the click's own event processing may already run
    // the whole copy, so a look at the queue after it could miss the busy state.
    QList<CaptureItemState::Kind> states;
    QObject watcher;
    QObject::connect(&m_queue, &CaptureQueue::itemsChanged, &watcher, [&] {
        const CaptureItemState::Kind kind = m_queue.items().first().state().kind();
        if (states.isEmpty() || states.last() != kind)
            states.append(kind);
    });
    QTest::mouseClick(window, Qt::LeftButton, {}, centre);

    // The copy shows the capture busy and ends with it back to pending.
    ASSERT_TRUE(waitUntil(
        [&] { return m_queue.items().first().state() == CaptureItemState::pending(); }, 10000));
    EXPECT_EQ(states, QList({CaptureItemState::Kind::copying, CaptureItemState::Kind::pending}));
    const QImage pasted = QImage::fromData(pasteWithXclip(QStringLiteral("image/png")), "PNG");
    EXPECT_TRUE(pasted.convertToFormat(QImage::Format_RGB32) == picture());
}

} // namespace
