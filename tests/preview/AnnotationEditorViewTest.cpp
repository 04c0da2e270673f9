#include "preview/AnnotationEditorView.h"
#include "model/CaptureTestSupport.h"
#include "preview/AnnotationCanvas.h"
#include "preview/AnnotationEditorState.h"
#include "preview/PreviewControls.h"
#include "preview/PreviewNotice.h"
#include "support/BackgroundSettled.h"
#include "support/TempDirScope.h"
#include "support/WaitUntil.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFile>
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
    ASSERT_TRUE(backgroundSettled());
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(dismissed, 1);
    // The arrow is in the saved image at full resolution, in the palette's first colour.
    EXPECT_EQ(saved.first().size(), QSize(400, 200));
    EXPECT_EQ(QColor(saved.first().pixel(200, 100)), QColor(0xFF, 0x3B, 0x30));
    EXPECT_EQ(QColor(saved.first().pixel(200, 20)), QColor(Qt::white));
}

// A capture whose image cannot be read any more keeps its marks in the editor, which says why
// nothing was saved, instead of handing back nothing and closing.
TEST_F(EditorViewTest, AnUnreadableCaptureKeepsTheMarksAndSaysWhy)
{
    drag(QPointF(20, 100), QPointF(380, 100));
    waitForWrites();
    ASSERT_TRUE(QFile::remove(temp.captureFile(capture.fileName())));
    editor.saveAndDismiss();
    ASSERT_TRUE(waitUntil([&] { return !editor.isSaving(); }));
    ASSERT_TRUE(backgroundSettled());
    EXPECT_TRUE(saved.isEmpty());
    EXPECT_EQ(dismissed, 0);
    EXPECT_EQ(editor.state().annotations().size(), 1);
    ASSERT_TRUE(editor.notice());
    EXPECT_TRUE(editor.notice()->isVisible());
    EXPECT_TRUE(editor.notice()->text().contains(QStringLiteral("could not be saved")));
}

// At the editor's smallest width every control of the toolbar keeps its full size, inside the
// editor and clear of the others; with room enough they stand in one row.
TEST_F(EditorViewTest, ToolbarFitsTheEditorsWidth)
{
    const auto controls = [this] {
        QList<QWidget *> found;
        for (QWidget *widget : editor.findChildren<QWidget *>()) {
            const bool control = qobject_cast<QAbstractButton *>(widget) ||
                                 qobject_cast<QSlider *>(widget) ||
                                 (qobject_cast<QLabel *>(widget) &&
                                  static_cast<QLabel *>(widget)->text().endsWith(" pt"));
            if (control && widget->isVisibleTo(&editor) && !editor.canvas().isAncestorOf(widget))
                found.append(widget);
        }
        return found;
    };
    const auto placed = [this](QWidget *widget) {
        return QRect(widget->mapTo(&editor, QPoint(0, 0)), widget->size());
    };
    for (int width : {880, 1200}) {
        editor.resize(width, 600);
        QCoreApplication::sendPostedEvents();
        const QList<QWidget *> found = controls();
        ASSERT_GE(found.size(), 7 + 8 + 1 + 1 + 3 + 2) << width;
        int lowest = 0;
        for (QWidget *control : found) {
            const QRect at = placed(control);
            EXPECT_GE(at.left(), 0) << width;
            EXPECT_LE(at.right(), width - 1) << width;
            EXPECT_GE(at.width(), control->sizeHint().width()) << width;
            lowest = std::max(lowest, at.center().y());
            if (qobject_cast<SwatchButton *>(control)) {
                EXPECT_EQ(at.width(), at.height()) << "a round swatch at " << width;
            }
            for (QWidget *other : found) {
                if (other != control) {
                    EXPECT_FALSE(at.intersects(placed(other))) << width;
                }
            }
        }
        if (width == 1200) {
            EXPECT_LT(lowest, 52) << "one row";
        }
    }
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
