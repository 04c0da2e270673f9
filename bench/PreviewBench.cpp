// The preview and markup at 3840×2160 on a real X server: flattening 20 annotations (3 of them
// redactions) into a screenshot, beside ImageMagick's `convert -draw` drawing the same shapes on
// the same raw pixels in the same run; the drawing area's repaint while a shape is dragged over
// the capture; and the preview of a 4K capture shown after the hover delay, with the memory it
// holds while open and gives back when closed; entering markup on that preview, from the
// Markup click until the editor is painted. Prints figures; run by scripts/bench.
//
// harness-screen: 3840x2160x24
//
// By hand: scripts/harness -- build/bench/PreviewBench

#include "BenchEnvironment.h"
#include "BenchFigures.h"
#include "BenchPreview.h"
#include "model/CaptureItem.h"
#include "model/CaptureQueue.h"
#include "model/FreedMemory.h"
#include "platform/Background.h"
#include "platform/x11/X11Platform.h"
#include "preview/AnnotationCanvas.h"
#include "preview/AnnotationEditorState.h"
#include "preview/AnnotationEditorView.h"
#include "preview/AnnotationRenderer.h"
#include "preview/PreviewMediaView.h"
#include "preview/QtPreviewWindow.h"
#include "preview/QuickLookPreviewController.h"
#include "preview/QuickLookPreviewView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QWindow>

#include <cstdio>

namespace {

const QSize captureSize(3840, 2160);
constexpr int renderRuns = 7;
constexpr int dragFrames = 120;
constexpr int previewRuns = 5;
constexpr int markupRuns = 7;

QImage desktopImage()
{
    QImage image(captureSize, QImage::Format_RGB32);
    QRandomGenerator grain(7);
    for (int y = 0; y < captureSize.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < captureSize.width(); ++x) {
            const int noise = int(grain.bounded(9u)) - 4;
            line[x] = qRgb(qBound(0, x * 255 / captureSize.width() + noise, 255),
                           qBound(0, y * 255 / captureSize.height() + noise, 255), 140);
        }
    }
    QPainter painter(&image);
    painter.setPen(Qt::black);
    QFont font;
    font.setPixelSize(22);
    painter.setFont(font);
    for (int row = 0; row < 60; ++row)
        painter.drawText(2000, 60 + row * 34, QStringLiteral("Line %1 of a page of text").arg(row));
    return image;
}

AnnotationItem item(AnnotationTool tool, QPointF start, QPointF end, double width = 4)
{
    AnnotationItem mark;
    mark.tool = tool;
    mark.startPoint = start;
    mark.endPoint = end;
    mark.strokeWidth = width;
    mark.colorHex = QStringLiteral("#FF3B30");
    return mark;
}

// Twenty marks spread over the screen: 3 redactions, arrows, boxes, steps, text, strokes.
QList<AnnotationItem> twentyMarks()
{
    QList<AnnotationItem> marks;
    for (int i = 0; i < 3; ++i)
        marks << item(AnnotationTool::blur, QPointF(200 + i * 1100, 300),
                      QPointF(800 + i * 1100, 700));
    for (int i = 0; i < 4; ++i)
        marks << item(AnnotationTool::arrow, QPointF(300 + i * 800, 1000),
                      QPointF(700 + i * 800, 1400), 6);
    for (int i = 0; i < 4; ++i)
        marks << item(AnnotationTool::rectangle, QPointF(150 + i * 900, 1500),
                      QPointF(650 + i * 900, 1900));
    for (int i = 0; i < 3; ++i) {
        AnnotationItem step = item(AnnotationTool::stepNumber, {}, QPointF(500 + i * 1200, 900));
        step.stepNumber = i + 1;
        marks << step;
    }
    for (int i = 0; i < 3; ++i) {
        AnnotationItem label = item(AnnotationTool::text, QPointF(300 + i * 1200, 2050),
                                    QPointF(300 + i * 1200, 2050));
        label.text = QStringLiteral("Note %1").arg(i + 1);
        marks << label;
    }
    for (int i = 0; i < 3; ++i) {
        AnnotationItem stroke =
            item(i == 0 ? AnnotationTool::highlighter : AnnotationTool::pencil, {}, {});
        for (int p = 0; p <= 40; ++p)
            stroke.points << QPointF(1000 + i * 900 + p * 15, 150 + (p % 5) * 12);
        marks << stroke;
    }
    return marks;
}

// The same shapes as ImageMagick draw primitives, pixelation of the redactions included.
QStringList magickArguments(const QList<AnnotationItem> &marks, const QString &in,
                            const QString &out)
{
    QStringList args{QStringLiteral("-size"), QStringLiteral("3840x2160"), QStringLiteral("-depth"),
                     QStringLiteral("8"), QStringLiteral("bgra:") + in};
    for (const AnnotationItem &mark : marks) {
        const QRectF box = mark.boundingBox();
        if (mark.tool == AnnotationTool::blur) {
            const QString geometry = QStringLiteral("%1x%2+%3+%4")
                                         .arg(int(box.width()))
                                         .arg(int(box.height()))
                                         .arg(int(box.x()))
                                         .arg(int(box.y()));
            args << QStringLiteral("(") << QStringLiteral("+clone") << QStringLiteral("-crop")
                 << geometry << QStringLiteral("+repage") << QStringLiteral("-scale")
                 << QStringLiteral("2%") << QStringLiteral("-scale") << QStringLiteral("5000%")
                 << QStringLiteral(")") << QStringLiteral("-geometry")
                 << QStringLiteral("+%1+%2").arg(int(box.x())).arg(int(box.y()))
                 << QStringLiteral("-composite");
        }
    }
    args << QStringLiteral("-fill") << QStringLiteral("none") << QStringLiteral("-stroke")
         << QStringLiteral("#FF3B30") << QStringLiteral("-strokewidth") << QStringLiteral("6");
    for (const AnnotationItem &mark : marks) {
        const QPointF s = mark.startPoint, e = mark.endPoint;
        QString draw;
        switch (mark.tool) {
        case AnnotationTool::arrow:
            draw = QStringLiteral("line %1,%2 %3,%4").arg(s.x()).arg(s.y()).arg(e.x()).arg(e.y());
            break;
        case AnnotationTool::rectangle:
            draw = QStringLiteral("roundrectangle %1,%2 %3,%4 8,8")
                       .arg(s.x())
                       .arg(s.y())
                       .arg(e.x())
                       .arg(e.y());
            break;
        case AnnotationTool::stepNumber:
            draw = QStringLiteral("circle %1,%2 %3,%2").arg(e.x()).arg(e.y()).arg(e.x() + 16);
            break;
        case AnnotationTool::text:
            draw = QStringLiteral("text %1,%2 '%3'").arg(s.x()).arg(s.y()).arg(mark.text);
            break;
        case AnnotationTool::highlighter:
        case AnnotationTool::pencil: {
            QStringList points;
            for (QPointF p : mark.points)
                points << QStringLiteral("%1,%2").arg(p.x()).arg(p.y());
            draw = QStringLiteral("polyline ") + points.join(u' ');
            break;
        }
        case AnnotationTool::blur:
            break;
        }
        if (!draw.isEmpty())
            args << QStringLiteral("-draw") << draw;
    }
    args << QStringLiteral("bgra:") + out;
    return args;
}

void benchFlatten(const QImage &image)
{
    const QList<AnnotationItem> marks = twentyMarks();
    QList<double> ours;
    for (int run = 0; run < renderRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        const QImage flat = AnnotationRenderer::render(image, marks);
        ours << timer.nsecsElapsed() / 1e6;
        if (flat.size() != image.size())
            std::printf("flatten: wrong size\n");
    }
    const Spread our = spread(ours);
    std::printf("flatten 20 marks (3 redactions) on 3840x2160: median %.1f ms, max %.1f ms "
                "(target <= 150 ms: %s) [%s]\n",
                our.median, our.max, verdict(our.median <= 150), loadNote().c_str());

    QTemporaryDir folder;
    const QString in = folder.filePath(QStringLiteral("in.bgra"));
    const QString out = folder.filePath(QStringLiteral("out.bgra"));
    QFile raw(in);
    if (!raw.open(QIODevice::WriteOnly))
        return;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    raw.write(reinterpret_cast<const char *>(argb.constBits()), argb.sizeInBytes());
    raw.close();
    QList<double> magick;
    for (int run = 0; run < 3; ++run) {
        QProcess convert;
        QElapsedTimer timer;
        timer.start();
        convert.start(QStringLiteral("convert"), magickArguments(marks, in, out));
        if (!convert.waitForFinished(120000) || convert.exitCode() != 0) {
            std::printf("convert failed: %s\n", convert.readAllStandardError().constData());
            return;
        }
        magick << timer.nsecsElapsed() / 1e6;
    }
    const Spread peer = spread(magick);
    std::printf("  convert -draw, same shapes on raw pixels: median %.1f ms -> ours %.2fx its "
                "time (target <= 0.5x: %s) [%s]\n",
                peer.median, our.median / peer.median, verdict(our.median <= peer.median / 2),
                loadNote().c_str());
}

void benchDrag(const QImage &image)
{
    const CaptureItem capture(QUuid::createUuid(), QDateTime::currentDateTime(), std::nullopt,
                              CaptureMode::fullDisplay, image, std::nullopt, std::nullopt,
                              CaptureItemState::pending());
    AnnotationEditorView editor(capture, {}, {});
    editor.resize(1400, 900);
    editor.show();
    runEventLoop(200);
    AnnotationEditorState &state = editor.state();
    AnnotationCanvas &canvas = editor.canvas();
    // Twenty marks already drawn, made the way the user makes them.
    const QSizeF surface = canvas.surfaceRect().size();
    const double scale = surface.width() / captureSize.width();
    for (const AnnotationItem &mark : twentyMarks()) {
        state.setSelectedTool(mark.tool == AnnotationTool::text ? AnnotationTool::pencil
                                                                : mark.tool);
        const QRectF box = mark.boundingBox();
        state.handleDragChanged(box.topLeft() * scale, box.bottomRight() * scale);
        state.handleDragEnded(box.topLeft() * scale, box.bottomRight() * scale, surface);
    }
    // A box, then a redaction, which is pixelated live while it grows.
    for (const AnnotationTool tool : {AnnotationTool::rectangle, AnnotationTool::blur}) {
        state.setSelectedTool(tool);
        QList<double> frames;
        for (int i = 0; i < dragFrames; ++i) {
            state.handleDragChanged(QPointF(50, 50), QPointF(60 + i * 5, 60 + i * 3));
            QElapsedTimer timer;
            timer.start();
            canvas.repaint();
            frames << timer.nsecsElapsed() / 1e6;
        }
        state.handleDragEnded(QPointF(50, 50), QPointF(660, 420), canvas.surfaceRect().size());
        canvas.repaint();
        frames.removeFirst(); // the first paint scales the capture once
        const Spread drag = spread(frames);
        std::printf("drag a %s over the 3840x2160 capture, canvas repaint: median %.2f ms, max "
                    "%.2f ms (target <= 8 ms a frame: %s) [%s]\n",
                    tool == AnnotationTool::blur ? "redaction" : "box", drag.median, drag.max,
                    verdict(drag.max <= 8), loadNote().c_str());
    }
}

void benchPreview(const QImage &image, platform::Displays &displays)
{
    CaptureQueue queue(10);
    const CaptureItem capture(QUuid::createUuid(), QDateTime::currentDateTime(), std::nullopt,
                              CaptureMode::fullDisplay, image, std::nullopt, std::nullopt,
                              CaptureItemState::pending());
    queue.enqueue(capture);
    platform::backgroundThreads()->waitForDone();
    const std::unique_ptr<QuickLookPreviewController> previewOwner =
        makeBenchPreview(displays, queue);
    QuickLookPreviewController &preview = *previewOwner;
    QList<double> shown;
    double before = 0, open = 0, after = 0;
    for (int run = 0; run < previewRuns; ++run) {
        returnFreedMemory();
        runEventLoop(100);
        before = residentMegabytes();
        QElapsedTimer timer;
        timer.start();
        preview.show(capture, queue, {}, {}, {});
        QWidget *panel = static_cast<QtPreviewWindow *>(preview.window())->widget();
        waitUntilShownAndPainted(panel);
        shown << timer.nsecsElapsed() / 1e6;
        runEventLoop(200);
        open = residentMegabytes();
        preview.close();
        runEventLoop(300);
        returnFreedMemory();
        after = residentMegabytes();
    }
    const Spread show = spread(shown);
    std::printf("preview of a 3840x2160 capture shown (mapped and painted) after the hover "
                "delay: median %.1f ms, max %.1f ms (target <= 100 ms: %s) [%s]\n",
                show.median, show.max, verdict(show.median <= 100), loadNote().c_str());
    std::printf("  resident memory: %.1f MB before, %.1f MB open (+%.1f MB, target <= 60: %s), "
                "%.1f MB after closing (%+.1f MB) [%s]\n",
                before, open, open - before, verdict(open - before <= 60), after, after - before,
                loadNote().c_str());
}

// The preview of a 4K capture whose pixels live in its PNG (as every capture's do once
// written), shown and left until its full image is up, as a user reads it before choosing
// Markup; then the time from the Markup click until the editor's first frame is painted with the
// capture at full detail. Beside it, from the same point, an editor that reads the capture from
// its file itself, as markup did before it took the preview's decoded image.
void benchMarkupEntry(const QImage &image, platform::Displays &displays)
{
    CaptureQueue queue(10);
    queue.enqueue(CaptureItem(QUuid::createUuid(), QDateTime::currentDateTime(), std::nullopt,
                              CaptureMode::fullDisplay, image, std::nullopt, std::nullopt,
                              CaptureItemState::pending()));
    platform::backgroundThreads()->waitForDone();
    const CaptureItem capture = queue.items().first();
    QuickLookPreviewView *view = nullptr;
    const std::unique_ptr<QuickLookPreviewController> previewOwner =
        makeBenchPreview(displays, queue, &view);
    QuickLookPreviewController &preview = *previewOwner;
    QList<double> entered, reading;
    QSize editorSize(1400, 900);
    for (int run = 0; run < markupRuns; ++run) {
        preview.show(capture, queue, {}, {}, {});
        auto *window = static_cast<QtPreviewWindow *>(preview.window());
        QWidget *panel = window->widget();
        waitFor([&] { return panel->windowHandle() && panel->windowHandle()->isExposed(); });
        auto *media = view->findChild<PreviewMediaView *>();
        waitFor([&] { return media && media->hasFullImage(); });
        runEventLoop(300);

        QAbstractButton *markup = nullptr;
        for (QAbstractButton *button : view->findChildren<QAbstractButton *>()) {
            if (button->accessibleName() == QStringLiteral("Markup..."))
                markup = button;
        }
        if (!markup)
            return;
        QElapsedTimer timer;
        timer.start();
        markup->click();
        // Painted: what the window shows now is the editor with the capture in it.
        QCoreApplication::processEvents();
        panel->repaint();
        entered << timer.nsecsElapsed() / 1e6;
        if (!view->editor() || !view->editor()->canvas().hasFullImage())
            std::printf("markup: the editor shows no full image yet\n");
        editorSize = view->editor() ? view->editor()->size() : editorSize;
        preview.close();
        runEventLoop(200);

        timer.restart();
        AnnotationEditorView own(capture, {}, {});
        own.resize(editorSize);
        own.show();
        waitFor([&] { return own.canvas().hasFullImage(); });
        own.repaint();
        reading << timer.nsecsElapsed() / 1e6;
        own.hide();
        runEventLoop(200);
    }
    const Spread entry = spread(entered);
    const Spread own = spread(reading);
    std::printf("markup entered on the preview of a 3840x2160 capture, click to painted editor: "
                "median %.1f ms, max %.1f ms (target <= 100 ms: %s) [%s]\n",
                entry.median, entry.max, verdict(entry.median <= 100), loadNote().c_str());
    std::printf("  an editor reading the capture from its file itself, to its full image painted: "
                "median %.1f ms, max %.1f ms [%s]\n",
                own.median, own.max, loadNote().c_str());
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    BenchEnvironment environment;
    platform::ScreenshotPlatform desktop = platform::makeX11ScreenshotPlatform();
    const QImage image = desktopImage();
    benchFlatten(image);
    benchDrag(image);
    benchPreview(image, *desktop.displays);
    benchMarkupEntry(image, *desktop.displays);
    return 0;
}
