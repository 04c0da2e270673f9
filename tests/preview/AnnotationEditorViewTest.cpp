#include "preview/AnnotationEditorView.h"
#include "model/CaptureTestSupport.h"
#include "preview/AnnotationCanvas.h"
#include "preview/AnnotationEditorState.h"
#include "support/TempDirScope.h"
#include "support/WaitUntil.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class EditorViewTest : public ::testing::Test {
protected:
    EditorViewTest()
        : capture(makeScreenshot(filledImage(400, 200, Qt::white))),
          editor(
              capture, [this](const QImage &image) { saved.append(image); },
              [this] { ++dismissed; })
    {
        editor.resize(1000, 640);
        editor.show();
    }

    QAbstractButton *buttonWithTip(const QString &tip)
    {
        for (QAbstractButton *button : editor.findChildren<QAbstractButton *>()) {
            if (button->toolTip() == tip)
                return button;
        }
        return nullptr;
    }

    QAbstractButton *buttonWithText(const QString &text)
    {
        for (QAbstractButton *button : editor.findChildren<QAbstractButton *>()) {
            if (button->accessibleName() == text && button->isVisible())
                return button;
        }
        return nullptr;
    }

    // Drags across the capture between two image pixels.
    void drag(QPointF fromPixel, QPointF toPixel)
    {
        AnnotationCanvas &canvas = editor.canvas();
        const QRectF surface = canvas.surfaceRect();
        const double scale = surface.width() / 400;
        const QPoint from = (surface.topLeft() + fromPixel * scale).toPoint();
        const QPoint to = (surface.topLeft() + toPixel * scale).toPoint();
        QTest::mousePress(&canvas, Qt::LeftButton, {}, from);
        QTest::mouseMove(&canvas, (from + to) / 2);
        QTest::mouseMove(&canvas, to);
        QTest::mouseRelease(&canvas, Qt::LeftButton, {}, to);
    }

    TempDirScope temp;
    CaptureItem capture;
    QList<QImage> saved;
    int dismissed = 0;
    AnnotationEditorView editor;
};

} // namespace

TEST_F(EditorViewTest, StartsFreshWithHistoryDisabled)
{
    EXPECT_EQ(editor.state().selectedTool(), AnnotationTool::arrow);
    QStringList labels;
    for (QLabel *label : editor.findChildren<QLabel *>())
        labels.append(label->text());
    EXPECT_TRUE(labels.contains(QStringLiteral("4.0 pt")));
    for (const char *tip : {"Undo (Ctrl+Z)", "Redo (Ctrl+Shift+Z)", "Clear All Annotations"}) {
        QAbstractButton *button = buttonWithTip(QString::fromUtf8(tip));
        ASSERT_TRUE(button) << tip;
        EXPECT_FALSE(button->isEnabled()) << tip;
    }

    // Picking a tool and a colour from the toolbar.
    QTest::mouseClick(buttonWithTip(QStringLiteral("Box")), Qt::LeftButton);
    EXPECT_EQ(editor.state().selectedTool(), AnnotationTool::rectangle);
    editor.findChild<QSlider *>()->setValue(21);
    EXPECT_EQ(editor.state().selectedStrokeWidth(), 10.5);

    drag(QPointF(50, 50), QPointF(150, 120));
    EXPECT_TRUE(buttonWithTip(QStringLiteral("Undo (Ctrl+Z)"))->isEnabled());
    QTest::mouseClick(buttonWithTip(QStringLiteral("Undo (Ctrl+Z)")), Qt::LeftButton);
    EXPECT_TRUE(editor.state().annotations().isEmpty());
    EXPECT_TRUE(buttonWithTip(QStringLiteral("Redo (Ctrl+Shift+Z)"))->isEnabled());
}

TEST_F(EditorViewTest, DoneAndSaveWritesOnceEvenWhenClickedTwice)
{
    drag(QPointF(20, 100), QPointF(380, 100));
    QAbstractButton *done = buttonWithText(QStringLiteral("Done & Save"));
    ASSERT_TRUE(done);
    QTest::mouseClick(done, Qt::LeftButton);
    QTest::mouseClick(done, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return dismissed > 0; }));
    QTest::qWait(50);
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(dismissed, 1);
    // The arrow is in the saved image at full resolution, in the palette's first colour.
    EXPECT_EQ(saved.first().size(), QSize(400, 200));
    EXPECT_EQ(QColor(saved.first().pixel(200, 100)), QColor(0xFF, 0x3B, 0x30));
    EXPECT_EQ(QColor(saved.first().pixel(200, 20)), QColor(Qt::white));
}

TEST_F(EditorViewTest, SavingWithoutMarksHandsBackTheCapture)
{
    QTest::keyClick(&editor, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(waitUntil([&] { return dismissed > 0; }));
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved.first(), capture.image());
}

TEST_F(EditorViewTest, TextCalloutSheetAndEscape)
{
    editor.state().setSelectedTool(AnnotationTool::text);
    drag(QPointF(10, 10), QPointF(100, 150));
    ASSERT_TRUE(editor.isTextSheetShown());

    // Escape in the sheet closes the sheet only.
    QTest::keyClick(editor.textField(), Qt::Key_Escape);
    EXPECT_FALSE(editor.isTextSheetShown());
    EXPECT_EQ(dismissed, 0);
    EXPECT_TRUE(editor.state().annotations().isEmpty());

    drag(QPointF(10, 10), QPointF(100, 150));
    ASSERT_TRUE(editor.isTextSheetShown());
    EXPECT_TRUE(editor.textField()->text().isEmpty()) << "each callout starts empty";
    QTest::keyClicks(editor.textField(), QStringLiteral("Look here"));
    QTest::keyClick(editor.textField(), Qt::Key_Return);
    EXPECT_FALSE(editor.isTextSheetShown());
    ASSERT_EQ(editor.state().annotations().size(), 1);
    EXPECT_EQ(editor.state().annotations().first().text, QStringLiteral("Look here"));
    EXPECT_NEAR(editor.state().annotations().first().startPoint.y(), 150, 2);

    // Escape in the editor itself dismisses it without a save.
    QTest::keyClick(&editor, Qt::Key_Escape);
    EXPECT_EQ(dismissed, 1);
    EXPECT_TRUE(saved.isEmpty());
}
