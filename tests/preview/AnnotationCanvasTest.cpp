#include "preview/AnnotationCanvas.h"
#include "platform/Background.h"
#include "preview/AnnotationEditorState.h"
#include "preview/AnnotationRenderer.h"
#include "support/WaitUntil.h"

#include <QPainter>
#include <QRegularExpression>
#include <QSemaphore>
#include <QThreadPool>
#include <gtest/gtest.h>

namespace {

// A 1920 × 1080 capture with detail for a redaction to hide: a gradient and large text.
QImage capture()
{
    QImage image(1920, 1080, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb(x * 255 / 1920, 200, y * 255 / 1080);
    }
    QPainter painter(&image);
    QFont font;
    font.setPixelSize(96);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(300, 500), QStringLiteral("secret 0123"));
    return image;
}

int channelDifference(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

// Of the pixels a mark changes in the expected picture, the share that the shown picture gets
// visibly wrong, with no close colour within a pixel of it either (text drawn at a scale and text
// drawn large and scaled down differ by a pixel here and there); the surface's rim is left out.
double mismatchShare(const QImage &shown, const QImage &expected, const QImage &plain)
{
    int changed = 0, wrong = 0;
    for (int y = 3; y < expected.height() - 3; ++y) {
        for (int x = 3; x < expected.width() - 3; ++x) {
            const QRgb want = expected.pixel(x, y);
            const bool marked = channelDifference(want, plain.pixel(x, y)) > 40;
            bool differs = true;
            for (int dy = -1; dy <= 1 && differs; ++dy) {
                for (int dx = -1; dx <= 1 && differs; ++dx)
                    differs = channelDifference(want, shown.pixel(x + dx, y + dy)) > 48;
            }
            changed += marked ? 1 : 0;
            wrong += differs ? 1 : 0;
        }
    }
    return changed == 0 ? 1.0 : double(wrong) / changed;
}

class CanvasMatchesSave : public ::testing::TestWithParam<AnnotationTool> {};

} // namespace

// The canvas shows the saved picture at its own scale, whichever the tool, the zoom, and
// whether the mark is still being dragged.
TEST_P(CanvasMatchesSave, PixelByPixelAtTwoZooms)
{
    const AnnotationTool tool = GetParam();
    const QImage image = capture();
    // Areas whose surfaces show the capture at exactly a half and a quarter of its size.
    for (const QSize area : {QSize(1008, 588), QSize(528, 318)}) {
        AnnotationEditorState state(QSizeF(image.size()));
        AnnotationCanvas canvas(image, QSizeF(image.size()), state);
        canvas.resize(area);
        const QRectF surface = canvas.surfaceRect();
        ASSERT_EQ(surface.topLeft(), QPointF(24, 24));
        const double zoom = surface.width() / image.width();
        state.setSelectedTool(tool);
        state.setSelectedStrokeWidth(8);
        const QPointF from = QPointF(280, 380) * zoom;
        const QPointF to = QPointF(1100, 560) * zoom;
        state.handleDragChanged(from, (from + to) / 2);
        state.handleDragChanged(from, to);

        const auto compare = [&](const QList<AnnotationItem> &marks, const char *when) {
            const QImage shown = canvas.grab()
                                     .toImage()
                                     .convertToFormat(QImage::Format_RGB32)
                                     .copy(surface.toRect());
            const QSize size = surface.size().toSize();
            const QImage expected =
                AnnotationRenderer::render(image, marks)
                    .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(QImage::Format_RGB32);
            const QImage plain =
                image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            EXPECT_LT(mismatchShare(shown, expected, plain), 0.1)
                << rawValue(tool).toStdString() << " at zoom " << zoom << ", " << when;
        };
        if (tool != AnnotationTool::text)
            compare({*state.dragPreview(surface.size())}, "while dragged");
        state.handleDragEnded(from, to, surface.size());
        if (tool == AnnotationTool::text) {
            state.setTextInputPrompt(QStringLiteral("Callout"));
            state.commitTextAnnotation();
        }
        ASSERT_EQ(state.annotations().size(), 1);
        compare(state.annotations(), "committed");
    }
}

INSTANTIATE_TEST_SUITE_P(EveryTool, CanvasMatchesSave,
                         ::testing::ValuesIn(allCases<AnnotationTool>()), [](const auto &info) {
                             return QString(rawValue(info.param))
                                 .remove(QRegularExpression(QStringLiteral("[^A-Za-z]")))
                                 .toStdString();
                         });

// Of two loads, the picture of the later one stays, even when the earlier one comes in last.
TEST(AnnotationCanvas, AnEarlierLoadFinishingLastLeavesTheLaterPicture)
{
    const QSize size(200, 100);
    const auto filled = [](Qt::GlobalColor colour, QSize extent) {
        QImage image(extent, QImage::Format_RGB32);
        image.fill(colour);
        return image;
    };
    const QImage placeholder = filled(Qt::gray, size / 2);
    AnnotationEditorState state{QSizeF(size)};
    AnnotationCanvas canvas(QImage(), QSizeF(size), state);
    canvas.resize(size + QSize(48, 48));
    QSemaphore slowLoad;
    canvas.loadImage(placeholder, [&] {
        slowLoad.acquire();
        return filled(Qt::red, size);
    });
    canvas.loadImage(placeholder, [&] { return filled(Qt::blue, size); });
    ASSERT_TRUE(waitUntil([&] { return canvas.hasFullImage(); }));
    slowLoad.release();
    platform::backgroundThreads()->waitForDone();
    QCoreApplication::sendPostedEvents();

    const QImage shown = canvas.grab().toImage();
    for (const QPoint at : {QPoint(30, 30), QPoint(124, 74), QPoint(217, 117)})
        EXPECT_EQ(shown.pixel(at), qRgb(0, 0, 255)) << at.x() << "," << at.y();
}
