// The program as its composition root builds it, on the harness's desktop: every button and key
// of the preview, opened from the tray's thumbnail over hot-key captures of a window of text, each
// checked by what a user meets: the clipboard another program pastes, the file written or shared,
// the markup kept, the capture gone, the window closed.

#include "ProgramDesktopTest.h"
#include "model/SettingsStore.h"
#include "preview/AnnotationCanvas.h"
#include "preview/AnnotationEditorState.h"
#include "preview/AnnotationEditorView.h"

#include <QAbstractButton>
#include <QMenu>

namespace {

using ProgramPreviewDesktop = ProgramDesktopTest;

constexpr int waitLimitMs = programWaitLimitMs;

TEST_F(ProgramPreviewDesktop, EveryButtonAndKeyOfThePreviewActsOnTheCaptureItShows)
{
    captureWithTheHotKey(5);
    hoverTheTray();
    // A click on the tray's thumbnail opens the preview.
    CaptureItem item = selected();
    auto *thumbnail = tray()->trayView()->findChild<QAbstractButton *>("largeThumbnail");
    ASSERT_NE(thumbnail, nullptr);
    ASSERT_TRUE(waitUntil([&] { return thumbnail->isVisible(); }));
    clickAt(thumbnail->mapToGlobal(thumbnail->rect().center()));
    expectPreviewOf(item);
    EXPECT_TRUE(preview().isPersistent());
    movePointerTo(m_screen.center());

    // Copy Text: the text onto the clipboard.
    clearClipboard();
    clickPreviewButton(QStringLiteral("Copy Text (OCR)"));
    expectPastedText();
    EXPECT_TRUE(waitUntil([&] { return previewButton(QStringLiteral("Copied! ")) != nullptr; }));
    // The confirmation goes again (the toolbar is rebuilt then: a click must not straddle it).
    EXPECT_TRUE(waitUntil(
        [&] { return previewButton(QStringLiteral("Copy Text (OCR)")) != nullptr; }, waitLimitMs));

    // Paging by the arrows and by the keys.
    clickPreviewButton(QStringLiteral("Previous capture"));
    EXPECT_TRUE(waitUntil([&] { return preview().currentItemID() != item.id(); }));
    clickPreviewButton(QStringLiteral("Next capture"));
    EXPECT_TRUE(waitUntil([&] { return preview().currentItemID() == item.id(); }));
    typePreviewKey("Left");
    EXPECT_TRUE(waitUntil([&] { return preview().currentItemID() != item.id(); }));
    typePreviewKey("Right");
    EXPECT_TRUE(waitUntil([&] { return preview().currentItemID() == item.id(); }));

    // Save to Disk and Ctrl+S: the dialog, answered, writes the capture.
    for (const QString &name : {QStringLiteral("button.png"), QStringLiteral("key.png")}) {
        if (name == QStringLiteral("button.png"))
            clickPreviewButton(QStringLiteral("Save to Disk"));
        else
            typePreviewKey("ctrl+s");
        answerSaveDialog(savedFile(name));
        expectSavedPicture(savedFile(name), item);
        // Shown as saved (the toolbar is rebuilt then).
        EXPECT_TRUE(waitUntil([&] {
            return queuedItem(queue(), item.id())->state() == CaptureItemState::saved(name);
        }));
    }

    // Share: the desktop's application for pictures gets the capture as a file.
    clickPreviewButton(QStringLiteral("Share..."));
    QMenu *menu = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (menu = visibleTopLevel<QMenu>()); }, waitLimitMs));
    QAction *probe = nullptr;
    for (QAction *action : menu->actions())
        probe = action->text() == QStringLiteral("Share Probe") ? action : probe;
    ASSERT_NE(probe, nullptr);
    clickAt(menu->mapToGlobal(menu->actionGeometry(probe).center()));
    expectSavedPicture(sharedCopy(), item);

    // Pin to Screen: the capture on the deck.
    clickPreviewButton(QStringLiteral("Pin to Screen"));
    expectPinned(item);

    // Markup: the editor takes the preview's place; an arrow drawn across the capture and Done &
    // Save write it into the staged capture. Escape leaves the editor.
    clickPreviewButton(QStringLiteral("Markup..."));
    ASSERT_TRUE(waitUntil([&] { return preview().isMarkupMode(); }));
    AnnotationEditorView *editor = nullptr;
    ASSERT_TRUE(
        waitUntil([&] { return (editor = previewPanel()->findChild<AnnotationEditorView *>()); }));
    ASSERT_TRUE(waitUntil([&] { return editor->canvas().isVisible(); }));
    const QRectF surface = editor->canvas().surfaceRect();
    const double scale = surface.width() / m_screen.width();
    const auto onCapture = [&](QPointF point) {
        return editor->canvas().mapToGlobal((surface.topLeft() + point * scale).toPoint());
    };
    const int row = m_screen.height() - 200;
    const QPoint from = onCapture(QPointF(100, row));
    const QPoint to = onCapture(QPointF(m_screen.width() - 100, row));
    xdotool({"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown", "1",
             "mousemove", QString::number((from.x() + to.x()) / 2), QString::number(from.y()),
             "mousemove", QString::number(to.x()), QString::number(to.y()), "mouseup", "1"});
    ASSERT_TRUE(waitUntil([&] { return editor->state().annotations().size() == 1; }));
    clickPreviewButton(QStringLiteral("Done & Save"));
    EXPECT_TRUE(waitUntil([&] { return !preview().isMarkupMode(); }));
    EXPECT_TRUE(waitUntil([&] {
        const QColor marked =
            queuedItem(queue(), item.id())->image().pixelColor(m_screen.width() / 2, row);
        return marked.red() > 200 && marked.green() < 120 && marked.blue() < 120;
    })) << "the arrow is in the staged capture";
    item = *queuedItem(queue(), item.id());
    clickPreviewButton(QStringLiteral("Markup..."));
    EXPECT_TRUE(waitUntil([&] { return preview().isMarkupMode(); }));
    typePreviewKey("Escape");
    EXPECT_TRUE(waitUntil([&] { return !preview().isMarkupMode(); }));
    EXPECT_TRUE(preview().isVisible());

    // Copy, with the capture kept in the tray: "Copied!" once the clipboard holds it.
    m_environment->settingsStore().setCopyRemovesCapture(false);
    clearClipboard();
    clickPreviewButton(QStringLiteral("Copy"));
    expectPastedPicture(item);
    EXPECT_TRUE(waitUntil([&] { return previewButton(QStringLiteral("Copied!")) != nullptr; }));
    m_environment->settingsStore().setCopyRemovesCapture(true);

    // Copy and Ctrl+C: the picture onto the clipboard; the capture leaves the tray.
    clearClipboard();
    clickPreviewButton(QStringLiteral("Copy"));
    expectPastedPicture(item);
    EXPECT_TRUE(waitUntil([&] { return !queueHolds(item.id()); }));
    ASSERT_TRUE(waitUntil([&] { return preview().currentItem().has_value(); }));
    item = *preview().currentItem();
    clearClipboard();
    typePreviewKey("ctrl+c");
    expectPastedPicture(item);
    EXPECT_TRUE(waitUntil([&] { return !queueHolds(item.id()); }));

    // Delete: the capture leaves the tray.
    ASSERT_TRUE(waitUntil([&] { return preview().currentItem().has_value(); }));
    item = *preview().currentItem();
    clickPreviewButton(QStringLiteral("Delete"));
    EXPECT_TRUE(waitUntil([&] { return !queueHolds(item.id()); }));

    // Close, Escape and Space close the preview.
    ASSERT_TRUE(waitUntil([&] { return preview().isVisible(); }));
    clickPreviewButton(QStringLiteral("Close"));
    EXPECT_TRUE(waitUntil([&] { return !preview().isVisible(); }));
    for (const QString &key : {QStringLiteral("Escape"), QStringLiteral("space")}) {
        hoverTheTray();
        item = selected();
        clickTrayButton(TrayButtonID::open);
        expectPreviewOf(item);
        movePointerTo(m_screen.center());
        typePreviewKey(key);
        EXPECT_TRUE(waitUntil([&] { return !preview().isVisible(); })) << qPrintable(key);
    }
}

} // namespace
