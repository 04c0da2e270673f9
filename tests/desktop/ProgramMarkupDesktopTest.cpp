// The program as its composition root builds it, on the harness's desktop: the markup editor,
// opened from the tray over a hot-key capture of a window of text, used with the pointer and the
// keyboard: every tool but the arrow in a colour of its palette, its history undone and redone,
// and Done & Save checked by the staged capture's pixels, changed where the marks went and
// nowhere else.

#include "ProgramDesktopTest.h"
#include "preview/AnnotationCanvas.h"
#include "preview/AnnotationEditorState.h"
#include "preview/AnnotationEditorView.h"

#include <optional>

namespace {

constexpr int waitLimitMs = programWaitLimitMs;

// Whether a pixel within `reach` of the point shows the colour, give or take the blending of
// edges: a mark lands within a pixel or two of where the pointer put it.
bool showsNear(const QImage &image, QPoint at, QColor colour, int reach = 3)
{
    for (int y = at.y() - reach; y <= at.y() + reach; ++y) {
        for (int x = at.x() - reach; x <= at.x() + reach; ++x) {
            if (image.rect().contains(x, y) && shows(image, QPoint(x, y), colour, 32))
                return true;
        }
    }
    return false;
}

bool unchangedAt(const QImage &before, const QImage &after, QPoint at)
{
    return shows(after, at, before.pixelColor(at), 8);
}

// The first pixel outside `allowed` that changed by more than rounding.
std::optional<QPoint> changeOutside(const QImage &before, const QImage &after,
                                    const QRegion &allowed)
{
    for (int y = 0; y < before.height(); ++y) {
        for (int x = 0; x < before.width(); ++x) {
            if (!allowed.contains(QPoint(x, y)) &&
                !shows(after, QPoint(x, y), before.pixelColor(x, y), 24))
                return QPoint(x, y);
        }
    }
    return std::nullopt;
}

// Pixels of the rectangle dark enough to be the text's strokes.
int darkPixels(const QImage &image, const QRect &rect)
{
    int dark = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x)
            dark += image.pixelColor(x, y).lightness() < 90;
    }
    return dark;
}

class ProgramMarkupDesktop : public ProgramDesktopTest {
protected:
    AnnotationEditorState &state() const { return m_editor->state(); }

    // Where a pixel of the capture lies on the screen, as the editor shows it.
    QPoint onScreen(QPoint pixel) const
    {
        const AnnotationCanvas &canvas = m_editor->canvas();
        const QRectF surface = canvas.surfaceRect();
        const double scale = surface.width() / m_screen.width();
        return canvas.mapToGlobal(surface.topLeft() + QPointF(pixel) * scale).toPoint();
    }
    // Whether the editor took the drag in progress to be at that point of the screen.
    bool dragSeenAt(QPoint global) const
    {
        const QPointF expected = QPointF(m_editor->canvas().mapFromGlobal(global)) -
                                 m_editor->canvas().surfaceRect().topLeft();
        const std::optional<QPointF> current = state().currentDragCurrent();
        return current && QLineF(*current, expected).length() < 1.5;
    }

    void clickEditorButton(const QString &help)
    {
        PlateButton *button = nullptr;
        for (PlateButton *candidate : m_editor->findChildren<PlateButton *>())
            button = candidate->toolTip().startsWith(help) ? candidate : button;
        ASSERT_NE(button, nullptr) << qPrintable(help);
        ASSERT_TRUE(waitUntil([&] { return button->isVisible() && button->isEnabled(); }))
            << qPrintable(help);
        clickAt(button->mapToGlobal(button->rect().center()));
    }
    // The tool's button, then the colour's swatch.
    void choose(AnnotationTool tool, const QString &hex)
    {
        clickEditorButton(rawValue(tool));
        ASSERT_TRUE(waitUntil([&] { return state().selectedTool() == tool; }, waitLimitMs))
            << qPrintable(rawValue(tool));
        SwatchButton *swatch = nullptr;
        for (SwatchButton *candidate : m_editor->findChildren<SwatchButton *>())
            swatch = candidate->hex() == hex ? candidate : swatch;
        ASSERT_NE(swatch, nullptr) << qPrintable(hex);
        clickAt(swatch->mapToGlobal(swatch->rect().center()));
        ASSERT_TRUE(waitUntil([&] { return state().selectedColorHex() == hex; }, waitLimitMs))
            << qPrintable(hex);
    }
    // A press at the first point of the capture, moves through the others, each once the editor
    // saw the one before, and the release; then the editor holds `marks` (the text tool shows
    // its sheet instead).
    void draw(const QList<QPoint> &through, qsizetype marks)
    {
        const QPoint from = onScreen(through.first());
        xdotool(
            {"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown", "1"});
        for (qsizetype i = 1; i < through.size(); ++i) {
            const QPoint to = onScreen(through[i]);
            xdotool({"mousemove", QString::number(to.x()), QString::number(to.y())});
            const bool seen = waitUntil([&] { return dragSeenAt(to); }, waitLimitMs);
            if (!seen)
                xdotool({"mouseup", "1"});
            ASSERT_TRUE(seen) << "the drag not seen at " << shown(to) << " (capture pixel "
                              << shown(through[i]) << "), the pointer at " << shown(QCursor::pos());
        }
        xdotool({"mouseup", "1"});
        ASSERT_TRUE(waitUntil(
            [&] {
                return state().annotations().size() == marks ||
                       (state().selectedTool() == AnnotationTool::text &&
                        m_editor->isTextSheetShown());
            },
            waitLimitMs))
            << "the mark drawn through " << shown(through.first()) << " to "
            << shown(through.last());
    }

    AnnotationEditorView *m_editor = nullptr;
};

TEST_F(ProgramMarkupDesktop, EveryToolDrawsWhereThePointerWentAndDoneAndSaveKeepsOnlyThat)
{
    captureWithTheHotKey(1);
    const CaptureItem item = selected();
    const QImage before = item.image().convertToFormat(QImage::Format_RGB32);
    hoverTheTray();
    clickTrayButton(TrayButtonID::annotate);
    expectPreviewOf(item, true);
    ASSERT_TRUE(waitUntil(
        [&] { return (m_editor = previewPanel()->findChild<AnnotationEditorView *>()); }));
    ASSERT_TRUE(waitUntil([&] { return m_editor->canvas().isVisible(); }));
    QWidget *panel = previewPanel();
    panel->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel->windowHandle()));

    // The marks, in pixels of the capture: over the window of text, its lines under the redaction
    // and the rest on its plain white below them.
    const QPoint o = m_text.geometry().topLeft() - m_screen.topLeft();
    const QRect redacted = QRect(100, 230, 600, 220).translated(o);
    const QRect box = QRect(120, 520, 280, 270).translated(o);
    const QPoint step = o + QPoint(520, 600);
    const QPoint callout = o + QPoint(660, 740);
    const QPoint highlight[] = {o + QPoint(800, 600), o + QPoint(1100, 600)};
    const QList<QPoint> pencil = {o + QPoint(1200, 540), o + QPoint(1300, 640),
                                  o + QPoint(1400, 540)};
    const QList<QPoint> undone = {o + QPoint(1500, 540), o + QPoint(1700, 780)};
    ASSERT_GT(darkPixels(before, redacted), 1000) << "the text lies under the redaction";

    choose(AnnotationTool::blur, QStringLiteral("#FF3B30"));
    draw({redacted.topLeft(), redacted.center(), redacted.bottomRight()}, 1);
    choose(AnnotationTool::rectangle, QStringLiteral("#34C759"));
    draw({box.topLeft(), box.center(), box.bottomRight()}, 2);
    choose(AnnotationTool::stepNumber, QStringLiteral("#FF9500"));
    draw({step - QPoint(40, 40), step}, 3);
    // The text tool's drag places the callout; its sheet takes the typed text and Return.
    choose(AnnotationTool::text, QStringLiteral("#AF52DE"));
    draw({callout - QPoint(40, 40), callout}, 3);
    ASSERT_TRUE(waitUntil([&] { return m_editor->textField()->hasFocus(); }, waitLimitMs));
    xdotool({"type", "Hi"});
    ASSERT_TRUE(waitUntil([&] { return state().textInputPrompt() == "Hi"; }, waitLimitMs));
    xdotool({"key", "--clearmodifiers", "Return"});
    ASSERT_TRUE(waitUntil([&] { return state().annotations().size() == 4; }, waitLimitMs));
    EXPECT_FALSE(m_editor->isTextSheetShown());
    choose(AnnotationTool::highlighter, QStringLiteral("#FFCC00"));
    draw({highlight[0], (highlight[0] + highlight[1]) / 2, highlight[1]}, 5);
    choose(AnnotationTool::pencil, QStringLiteral("#007AFF"));
    draw(pencil, 6);

    // Undo takes the pencil's stroke away and Redo brings it back; a stroke undone last is not
    // saved.
    clickEditorButton(QStringLiteral("Undo"));
    ASSERT_TRUE(waitUntil([&] { return state().annotations().size() == 5; }, waitLimitMs));
    clickEditorButton(QStringLiteral("Redo"));
    ASSERT_TRUE(waitUntil([&] { return state().annotations().size() == 6; }, waitLimitMs));
    draw(undone, 7);
    clickEditorButton(QStringLiteral("Undo"));
    ASSERT_TRUE(waitUntil([&] { return state().annotations().size() == 6; }, waitLimitMs));

    clickPreviewButton(QStringLiteral("Done & Save"));
    ASSERT_TRUE(waitUntil([&] { return !preview().isMarkupMode(); }, waitLimitMs));
    QImage after;
    ASSERT_TRUE(waitUntil(
        [&] {
            after = queuedItem(queue(), item.id())->image().convertToFormat(QImage::Format_RGB32);
            return after.size() == before.size() && after != before;
        },
        waitLimitMs))
        << "the marks are in the staged capture";

    // The redaction: no stroke of the text is left under it.
    EXPECT_EQ(darkPixels(after, redacted.adjusted(4, 4, -4, -4)), 0);
    // The box: its outline in green, its inside as it was.
    EXPECT_TRUE(showsNear(after, QPoint(box.left(), box.center().y()), QColor(52, 199, 89)));
    EXPECT_TRUE(showsNear(after, QPoint(box.right(), box.top() + 40), QColor(52, 199, 89)));
    EXPECT_TRUE(unchangedAt(before, after, box.center()));
    // The step's orange disc, where the drag ended.
    EXPECT_TRUE(showsNear(after, step - QPoint(10, 0), QColor(255, 149, 0), 2));
    // The callout grows up and to the right of where its drag ended, purple, as wide as "Hi".
    EXPECT_TRUE(showsNear(after, callout + QPoint(6, -5), QColor(183, 99, 225), 2));
    EXPECT_TRUE(unchangedAt(before, after, callout + QPoint(70, -5)));
    // The highlight tints the white yellow along its stroke only.
    EXPECT_TRUE(showsNear(after, (highlight[0] + highlight[1]) / 2, QColor(255, 237, 166)));
    EXPECT_TRUE(unchangedAt(before, after, (highlight[0] + highlight[1]) / 2 + QPoint(0, 30)));
    // The pencil follows the pointer through the bend, not straight across.
    EXPECT_TRUE(showsNear(after, pencil[1], QColor(0, 122, 255)));
    EXPECT_TRUE(unchangedAt(before, after, (pencil[0] + pencil[2]) / 2));
    EXPECT_TRUE(unchangedAt(before, after, (undone[0] + undone[1]) / 2));

    QRegion marked;
    marked += redacted.adjusted(-6, -6, 6, 6);
    marked += box.adjusted(-14, -14, 14, 14);
    marked += QRect(step - QPoint(28, 28), QSize(56, 56));
    marked += QRect(callout - QPoint(10, 50), QSize(100, 60));
    marked += QRect(highlight[0], highlight[1]).adjusted(-20, -20, 20, 20);
    marked += QRect(pencil[0], pencil[2] + QPoint(0, 100)).adjusted(-12, -12, 12, 12);
    const std::optional<QPoint> changed = changeOutside(before, after, marked);
    EXPECT_FALSE(changed) << "changed away from every mark at "
                          << shown(changed.value_or(QPoint()));
}

} // namespace
