#include "preview/AnnotationEditorState.h"
#include "preview/AnnotationCanvas.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A 2000 × 1000 capture shown on a 500 × 250 surface: 4 pixels a point.
const QSizeF imageSize(2000, 1000);
const QSizeF surface(500, 250);

void drag(AnnotationEditorState &state, QPointF from, QPointF to, QSizeF size = surface)
{
    state.handleDragChanged(from, (from + to) / 2);
    state.handleDragChanged(from, to);
    state.handleDragEnded(from, to, size);
}

} // namespace

TEST(AnnotationEditorState, DragsBecomeMarksInImagePixels)
{
    AnnotationEditorState state(imageSize);
    EXPECT_EQ(state.selectedTool(), AnnotationTool::arrow);
    EXPECT_EQ(state.selectedColorHex(), QStringLiteral("#FF3B30"));
    EXPECT_EQ(state.selectedStrokeWidth(), 4.0);

    state.handleDragChanged(QPointF(10, 20), QPointF(30, 20));
    EXPECT_EQ(state.currentDragStart(), QPointF(10, 20));
    EXPECT_EQ(state.livePencilPoints(), QList<QPointF>({QPointF(10, 20), QPointF(30, 20)}));
    state.handleDragChanged(QPointF(10, 20), QPointF(50, 40));
    state.handleDragEnded(QPointF(10, 20), QPointF(50, 40), surface);

    ASSERT_EQ(state.annotations().size(), 1);
    const AnnotationItem &arrow = state.annotations().first();
    EXPECT_EQ(arrow.startPoint, QPointF(40, 80));
    EXPECT_EQ(arrow.endPoint, QPointF(200, 160));
    EXPECT_EQ(arrow.points, QList<QPointF>({QPointF(40, 80), QPointF(120, 80), QPointF(200, 160)}));
    EXPECT_FALSE(state.currentDragStart());
    EXPECT_TRUE(state.livePencilPoints().isEmpty());

    // Tool, colour and width at the moment of the commit; later changes leave it alone.
    state.setSelectedTool(AnnotationTool::pencil);
    state.setSelectedColorHex(QStringLiteral("#007AFF"));
    state.setSelectedStrokeWidth(7.3);
    EXPECT_EQ(state.selectedStrokeWidth(), 7.5) << "the slider's half-point steps";
    drag(state, QPointF(0, 0), QPointF(100, 50));
    state.setSelectedColorHex(QStringLiteral("#000000"));
    EXPECT_EQ(state.annotations().at(1).colorHex, QStringLiteral("#007AFF"));
    EXPECT_EQ(state.annotations().at(1).strokeWidth, 7.5);
    EXPECT_EQ(state.annotations().at(0).tool, AnnotationTool::arrow);

    // On a surface of half the size the same points land on twice the pixels;
    // a degenerate surface counts as one point.
    drag(state, QPointF(0, 0), QPointF(100, 50), surface / 2);
    EXPECT_EQ(state.annotations().at(2).endPoint, QPointF(800, 400));
    drag(state, QPointF(0, 0), QPointF(2, 2), QSizeF(0, 0));
    EXPECT_EQ(state.annotations().at(3).endPoint, QPointF(4000, 2000));

    state.setSelectedStrokeWidth(99);
    EXPECT_EQ(state.selectedStrokeWidth(), 16);
    state.setSelectedStrokeWidth(0.1);
    EXPECT_EQ(state.selectedStrokeWidth(), 1);
}

TEST(AnnotationEditorState, StepNumbersUndoRedoAndClear)
{
    AnnotationEditorState state(imageSize);
    state.setSelectedTool(AnnotationTool::stepNumber);
    for (int i = 0; i < 3; ++i)
        drag(state, QPointF(10 * i, 0), QPointF(10 * i + 5, 5));
    QList<qint64> numbers;
    for (const AnnotationItem &item : state.annotations())
        numbers.append(item.stepNumber);
    EXPECT_EQ(numbers, QList<qint64>({1, 2, 3}));
    EXPECT_EQ(state.annotations().at(1).endPoint, QPointF(60, 20)) << "the badge lands at the end";

    const QUuid third = state.annotations().last().id;
    state.undo();
    EXPECT_EQ(state.annotations().size(), 2);
    state.redo();
    EXPECT_EQ(state.annotations().last().id, third) << "back on top";
    state.undo();
    drag(state, QPointF(0, 0), QPointF(5, 5));
    EXPECT_EQ(state.annotations().last().stepNumber, 4) << "undo gives no number back";
    EXPECT_TRUE(state.undoneAnnotations().isEmpty()) << "a new mark empties the redo stack";

    const QList<AnnotationItem> before = state.annotations();
    state.clearAll();
    EXPECT_TRUE(state.annotations().isEmpty());
    EXPECT_EQ(state.nextStepNumber(), 1);
    state.redo();
    state.redo();
    ASSERT_EQ(state.annotations().size(), 2);
    EXPECT_EQ(state.annotations().at(0).id, before.last().id) << "last drawn comes back first";
    EXPECT_EQ(state.annotations().at(1).id, before.at(before.size() - 2).id);

    // Storms on empty stacks change nothing.
    AnnotationEditorState empty(imageSize);
    for (int i = 0; i < 100; ++i) {
        empty.undo();
        empty.redo();
    }
    EXPECT_TRUE(empty.annotations().isEmpty());
    EXPECT_TRUE(empty.undoneAnnotations().isEmpty());
}

TEST(AnnotationEditorState, TextCalloutsGoThroughTheSheet)
{
    AnnotationEditorState state(imageSize);
    state.setSelectedTool(AnnotationTool::text);
    drag(state, QPointF(10, 10), QPointF(20, 30));
    EXPECT_TRUE(state.annotations().isEmpty());
    EXPECT_TRUE(state.showTextInputSheet());
    EXPECT_EQ(state.pendingTextLocation(), QPointF(80, 120));

    // Cancel adds nothing.
    state.setShowTextInputSheet(false);
    EXPECT_TRUE(state.annotations().isEmpty());

    drag(state, QPointF(10, 10), QPointF(20, 30));
    state.commitTextAnnotation();
    ASSERT_EQ(state.annotations().size(), 1);
    EXPECT_EQ(state.annotations().first().text, QStringLiteral("Annotation"));
    EXPECT_EQ(state.annotations().first().startPoint, QPointF(80, 120));
    EXPECT_TRUE(state.annotations().first().points.isEmpty());
    EXPECT_FALSE(state.showTextInputSheet());

    state.setTextInputPrompt(QStringLiteral("  "));
    state.setShowTextInputSheet(true);
    state.commitTextAnnotation();
    EXPECT_EQ(state.annotations().last().text, QStringLiteral("  ")) << "blanks are kept";
}

TEST(AnnotationCanvas, FitsTheImageAndMapsDragsAtAnyZoom)
{
    EXPECT_EQ(fittedImageRect(QSizeF(548, 448), QSizeF(2000, 1000)), QRectF(24, 99, 500, 250));
    EXPECT_EQ(fittedImageRect(QSizeF(548, 448), QSizeF(1000, 2000)), QRectF(174, 24, 200, 400));

    const QImage image(2000, 1000, QImage::Format_RGB32);
    for (QSize size : {QSize(548, 448), QSize(1048, 548)}) {
        AnnotationEditorState state(imageSize);
        AnnotationCanvas canvas(image, imageSize, state);
        canvas.resize(size);
        const QRectF surfaceRect = canvas.surfaceRect();
        // From the image pixel (400, 200) to (1000, 600), in widget positions.
        const double scale = surfaceRect.width() / 2000;
        const QPoint from = (surfaceRect.topLeft() + QPointF(400, 200) * scale).toPoint();
        const QPoint to = (surfaceRect.topLeft() + QPointF(1000, 600) * scale).toPoint();
        QTest::mousePress(&canvas, Qt::LeftButton, {}, from);
        QTest::mouseMove(&canvas, from + QPoint(3, 3));
        QTest::mouseMove(&canvas, to);
        QTest::mouseRelease(&canvas, Qt::LeftButton, {}, to);
        ASSERT_EQ(state.annotations().size(), 1) << size.width();
        EXPECT_NEAR(state.annotations().first().startPoint.x(), 400, 2 / scale);
        EXPECT_NEAR(state.annotations().first().endPoint.y(), 600, 2 / scale);

        // A click without movement adds nothing, whatever the tool.
        state.setSelectedTool(AnnotationTool::stepNumber);
        QTest::mouseClick(&canvas, Qt::LeftButton, {}, from);
        EXPECT_EQ(state.annotations().size(), 1);
    }
}
