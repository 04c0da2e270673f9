// The preview's and the markup's own windows: their sizes, the editor they hold, and the drag of
// the preview's background.

#include "model/CaptureQueue.h"
#include "model/CaptureTestSupport.h"
#include "preview/AnnotationEditorView.h"
#include "preview/AnnotationWindowController.h"
#include "preview/QtPreviewWindow.h"
#include "preview/QuickLookPreviewController.h"
#include "preview/QuickLookPreviewView.h"
#include "support/BackgroundSettled.h"
#include "support/FakeDisplays.h"
#include "support/TempDirScope.h"
#include "support/WaitUntil.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(AnnotationWindowController, SizeTitleSaveAndCancel)
{
    TempDirScope temp;
    EXPECT_EQ(AnnotationWindowController::windowSize(QRectF(0, 0, 1512, 944)), QSizeF(1000, 750));
    EXPECT_EQ(AnnotationWindowController::windowSize(QRectF(0, 0, 1280, 800)), QSizeF(1000, 680));

    AnnotationWindowController controller;
    controller.close();
    const CaptureItem first = makeScreenshot(filledImage(200, 100, Qt::white));
    const CaptureItem second = makeScreenshot(filledImage(300, 100, Qt::white));
    QList<QImage> saved;
    controller.show(first, [&](const QImage &image) { saved << image; });
    ASSERT_TRUE(controller.window());
    EXPECT_EQ(controller.window()->windowTitle(), QStringLiteral("Markup — ") + first.fileName());
    QWidget *window = controller.window();
    controller.show(second, [&](const QImage &image) { saved << image; });
    EXPECT_EQ(controller.window(), window) << "the same window, a new editor";
    EXPECT_EQ(controller.window()->windowTitle(), QStringLiteral("Markup — ") + first.fileName());

    controller.editor()->saveAndDismiss();
    ASSERT_TRUE(waitUntil([&] { return !controller.window(); }));
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved.first().width(), 300);

    controller.show(first, [&](const QImage &image) { saved << image; });
    controller.editor()->cancel();
    EXPECT_FALSE(controller.window());
    ASSERT_TRUE(backgroundSettled());
    EXPECT_EQ(saved.size(), 1);
}

// Where a window's least size cuts off part of the markup editor: Done & Save and the size label
// beside it must stay inside the window, and the editor whole.
void expectTheEditorWhole(QWidget *window, const char *what)
{
    QAbstractButton *done = nullptr;
    for (QAbstractButton *b : window->findChildren<QAbstractButton *>())
        done = b->accessibleName() == QStringLiteral("Done & Save") && b->isVisible() ? b : done;
    ASSERT_NE(done, nullptr) << what;
    auto *editor = window->findChild<AnnotationEditorView *>();
    ASSERT_NE(editor, nullptr) << what;
    EXPECT_GE(window->width(), AnnotationEditorView::minimumEditorSize.width()) << what;
    EXPECT_GE(window->height(), AnnotationEditorView::minimumEditorSize.height()) << what;
    const QRect inWindow(done->mapTo(window, QPoint()), done->size());
    EXPECT_TRUE(window->rect().contains(inWindow)) << what << ": Done & Save is cut off";
    const QRect editorInWindow(editor->mapTo(window, QPoint()), editor->size());
    EXPECT_TRUE(window->rect().contains(editorInWindow)) << what << ": the editor is cut off";
}

// Shrunk as far as the user can, a window that holds the markup editor still shows all of it: the
// preview in markup mode and the markup window alike. The preview without markup keeps its own
// least size.
TEST(MarkupWindows, CannotBeShrunkBelowTheEditor)
{
    TempDirScope temp;
    FakeDisplays displays({FakeDisplays::make(1, QRect(0, 0, 1920, 1080))});
    CaptureQueue queue(8);
    const CaptureItem item = makeScreenshot(filledImage(300, 200, Qt::white));
    queue.enqueue(item);
    PreviewServices services;
    services.applicationQueue = &queue;
    QuickLookPreviewController preview(
        [&displays] { return std::make_unique<QtPreviewWindow>(displays, nullptr); },
        [&services](QuickLookPreviewController &owner) -> QWidget * {
            return new QuickLookPreviewView(owner, services);
        },
        {});
    preview.show(item, queue, {}, {}, {});
    QWidget *panel = static_cast<QtPreviewWindow *>(preview.window())->widget();
    ASSERT_NE(panel, nullptr);
    panel->resize(780, 540);
    EXPECT_EQ(panel->size(), QSize(780, 540)) << "a preview shrinks to its own least size";
    preview.setMarkupMode(true);
    ASSERT_TRUE(waitUntil([&] { return panel->findChild<AnnotationEditorView *>(); }));
    panel->resize(780, 540);
    QCoreApplication::sendPostedEvents();
    expectTheEditorWhole(panel, "the preview in markup mode");
    preview.setMarkupMode(false);
    panel->resize(780, 540);
    EXPECT_EQ(panel->size(), QSize(780, 540)) << "out of markup, the preview's own least size";
    preview.close();

    AnnotationWindowController markup;
    markup.show(item, {});
    ASSERT_NE(markup.window(), nullptr);
    markup.window()->resize(700, 500);
    QCoreApplication::sendPostedEvents();
    expectTheEditorWhole(markup.window(), "the markup window");
    markup.close();
}

// The background drags the window as a title bar does: it follows the pointer once the pointer
// has gone the drag distance, and all the way, back to within that distance of the press too.
TEST(PreviewWindowDrag, TheWindowFollowsThePointerBackNearWhereItWasPressed)
{
    TempDirScope temp;
    FakeDisplays displays({FakeDisplays::make(1, QRect(0, 0, 1920, 1080))});
    QtPreviewWindow window(displays, nullptr);
    QWidget *panel = window.widget();
    panel->move(200, 150);
    panel->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
    const QPoint start = panel->pos();
    const QPoint press = panel->mapToGlobal(QPoint(40, 30));
    const auto send = [panel](QEvent::Type type, const QPoint &global, Qt::MouseButtons buttons) {
        QMouseEvent event(type, panel->mapFromGlobal(global), global, Qt::LeftButton, buttons, {});
        QApplication::sendEvent(panel, &event);
    };
    send(QEvent::MouseButtonPress, press, Qt::LeftButton);
    const int distance = QApplication::startDragDistance();
    send(QEvent::MouseMove, press + QPoint(distance / 2, 0), Qt::LeftButton);
    EXPECT_EQ(panel->pos(), start) << "not yet";
    const QPoint away(120, 90);
    send(QEvent::MouseMove, press + away, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return panel->pos() == start + away; }));
    const QPoint back(distance / 2, 1);
    send(QEvent::MouseMove, press + back, Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return panel->pos() == start + back; }))
        << "at " << panel->pos().x() << "," << panel->pos().y();
    send(QEvent::MouseButtonRelease, press + back, Qt::NoButton);
}

} // namespace
