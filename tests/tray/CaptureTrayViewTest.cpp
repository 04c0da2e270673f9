#include "tray/CaptureTrayView.h"
#include "capture/ElapsedTime.h"
#include "tray/CaptureTrayItemView.h"
#include "tray/RecordingDot.h"
#include "tray/TrayActionButton.h"
#include "tray/TrayTestSupport.h"
#include "tray/TrayViewTestSupport.h"

#include "model/CaptureTestSupport.h"
#include "support/AnimationClock.h"
#include "support/BackgroundSettled.h"
#include "support/WaitUntil.h"

#include <QDrag>
#include <QEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <QToolTip>
#include <cmath>
#include <limits>

namespace {

using namespace std::chrono_literals;
using State = TrayInteractionState;

class CaptureTrayViewTest : public TrayControllerTest {
protected:
    CaptureTrayView &showTray(State state)
    {
        if (!controller)
            build();
        controller->show(std::nullopt, state);
        return *controller->trayView();
    }

    template <typename T> T *child(const QString &name) const
    {
        return controller->trayView()->findChild<T *>(name);
    }
    CaptureTrayThumbnail *displayed() const
    {
        return child<CaptureTrayThumbnail>("displayedThumbnail");
    }
    CaptureTrayThumbnail *large() const { return child<CaptureTrayThumbnail>("largeThumbnail"); }
    static bool shown(const QWidget *widget) { return widget && widget->isVisible(); }

    // The strip's cells on screen, by capture.
    QHash<QUuid, CaptureTrayItemView *> cells() const
    {
        QHash<QUuid, CaptureTrayItemView *> out;
        for (CaptureTrayItemView *cell :
             controller->trayView()->findChildren<CaptureTrayItemView *>()) {
            if (cell->isVisibleTo(controller->trayView()))
                out.insert(cell->itemID(), cell);
        }
        return out;
    }

    // The action buttons shown, left to right.
    QStringList buttonsShown() const
    {
        QList<TrayActionButton *> buttons =
            controller->trayView()->findChildren<TrayActionButton *>();
        buttons.removeIf([](TrayActionButton *b) { return !b->isVisible(); });
        std::sort(buttons.begin(), buttons.end(), [](auto *a, auto *b) { return a->x() < b->x(); });
        QStringList names;
        for (TrayActionButton *button : buttons)
            names << button->objectName().section('.', 1);
        return names;
    }

    static void startDragOn(QWidget *widget, QPoint at, bool settle = true)
    {
        QTest::mousePress(widget, Qt::LeftButton, {}, at);
        QMouseEvent move(QEvent::MouseMove, at + QPoint(40, 0), widget->mapToGlobal(at),
                         Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(widget, &move);
        // The drag starts once its file is made, away from the main thread.
        if (settle)
            backgroundSettled();
    }

    // The expanded tray over two captures, with the preview and a hover clock moved by hand; the
    // older capture.
    CaptureItem trayWithPreview(ManualHoverClock &clock)
    {
        neighbours.preview = &preview;
        const CaptureItem older = stage();
        stage();
        showTray(State::expanded).setHoverScheduler(clock.scheduler());
        return older;
    }
    // The pointer onto the widget at the point, no button held.
    static void pointAt(QWidget *widget, QPoint at)
    {
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         {});
        QApplication::sendEvent(widget, &move);
    }

    FakeTrayPreview preview;
    FakeTrayPinning pinning;
};

} // namespace

TEST(TrayViewElapsedTime, CountsWholeMinutesAndSeconds)
{
    EXPECT_EQ(formatElapsedTime(0), "00:00");
    EXPECT_EQ(formatElapsedTime(59.9), "00:59");
    EXPECT_EQ(formatElapsedTime(3600), "60:00");
    EXPECT_EQ(formatElapsedTime(6000), "100:00");
    for (double broken :
         {-1.0, -0.5, std::numeric_limits<double>::quiet_NaN(),
          std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()})
        EXPECT_EQ(formatElapsedTime(broken), "00:00") << broken;
    // Absurd durations are capped, never wrapped into negative numbers.
    EXPECT_EQ(formatElapsedTime(1e300), "35791394:07");
}

TEST_F(CaptureTrayViewTest, AFloatingCompactTrayShowsTheDisplayedCaptureAndHangsFromTheTop)
{
    showTray(State::compact);
    CaptureTrayView &view = *controller->trayView();
    EXPECT_FALSE(view.isAttachedToNotch());
    EXPECT_FALSE(shown(displayed())) << "nothing staged";
    EXPECT_EQ(view.outlineRect(), QRectF((view.width() - 196) / 2.0, 0, 196, 34));
    EXPECT_EQ(view.cornerRadius(), 17);

    const CaptureItem item = stage();
    ASSERT_TRUE(shown(displayed()));
    EXPECT_EQ(displayed()->itemID(), item.id());
    // Thumbnail (40) and badge (18) 8 apart, centred in the 196-wide pill.
    const QRectF outline = view.outlineRect();
    EXPECT_NEAR(displayed()->x() + 1, outline.x() + (196 - 66) / 2.0, 1);
    EXPECT_NEAR(displayed()->y() + 1, 4, 1);
    EXPECT_FALSE(shown(view.findChild<QWidget *>("thumbnailStrip")));
    EXPECT_TRUE(buttonsShown().isEmpty());

    controller->show(std::nullopt, State::expanded);
    EXPECT_EQ(view.outlineRect().height(), 82);
    EXPECT_EQ(view.cornerRadius(), 14);
}

TEST_F(CaptureTrayViewTest, ConfirmationLooksExactlyLikeCompact)
{
    stage();
    CaptureTrayView &view = showTray(State::compact);
    const QImage compact = view.grab().toImage();
    controller->show(std::nullopt, State::confirmation);
    EXPECT_EQ(view.grab().toImage(), compact);
}

TEST_F(CaptureTrayViewTest, AttachedToTheNotchTheTopIsSquareAndTheBodyStartsBelowIt)
{
    compositor.compositing = true;
    notchedDisplays << 1;
    stage();
    CaptureTrayView &view = showTray(State::compact);
    EXPECT_TRUE(view.isAttachedToNotch());
    EXPECT_EQ(view.cornerRadius(), 12);
    EXPECT_NEAR(displayed()->x() + 1, view.outlineRect().x() + 10, 1);
    const auto cornerPixel = [&] {
        const QPoint corner = view.outlineRect().topLeft().toPoint() + QPoint(1, 1);
        return view.grab().toImage().pixelColor(corner);
    };
    EXPECT_EQ(cornerPixel(), QColor(Qt::black)) << "square top corners";

    controller->show(std::nullopt, State::expanded);
    EXPECT_EQ(view.outlineRect().height(), 82 + 32);
    EXPECT_EQ(view.cornerRadius(), 14);
    const QWidget *strip = view.findChild<QWidget *>("thumbnailStrip");
    ASSERT_TRUE(shown(strip));
    EXPECT_NEAR(strip->geometry().center().y(), 32 + 82 / 2.0, 1);

    settings->setTrayPosition(TrayPosition::floatingTop);
    EXPECT_FALSE(view.isAttachedToNotch());
    EXPECT_NEAR(strip->geometry().center().y(), 82 / 2.0, 1);
    EXPECT_LT(cornerPixel().alpha(), 128) << "rounded top corners";
}

TEST_F(CaptureTrayViewTest, TheExpandedTrayShowsTheStripAndTheEnabledButtons)
{
    const CaptureItem a = stage(), b = stage(), c = stage();
    showTray(State::expanded);
    ASSERT_TRUE(shown(large()));
    EXPECT_EQ(large()->itemID(), c.id());
    EXPECT_EQ(QSet<QUuid>(cells().keyBegin(), cells().keyEnd()), (QSet<QUuid>{a.id(), b.id()}));
    EXPECT_LT(large()->x(), cells().value(b.id())->x()) << "queue order, newest first";
    EXPECT_EQ(buttonsShown(),
              (QStringList{"copy", "save", "open", "annotate", "ocr", "pin", "delete"}));

    settings->setDisabledTrayButtons({"open", "ocr"});
    EXPECT_EQ(buttonsShown(), (QStringList{"copy", "save", "annotate", "pin", "delete"}));
    settings->setDisabledTrayButtons({"copy", "save", "open", "annotate", "ocr", "pin", "delete"});
    EXPECT_TRUE(buttonsShown().isEmpty());

    // A selection naming no staged capture: every capture is a cell, none is large.
    settings->setDisabledTrayButtons({});
    queue.setSelectedItemID(QUuid::createUuid());
    EXPECT_FALSE(shown(large()));
    EXPECT_EQ(cells().size(), 3);

    queue.clearAll();
    EXPECT_TRUE(cells().isEmpty());
    EXPECT_TRUE(buttonsShown().isEmpty());
    EXPECT_FALSE(shown(large()));
}

TEST_F(CaptureTrayViewTest, EveryPlacementShowsWhatTheTopCentreShows)
{
    stage();
    stage();
    stage();
    CaptureTrayView &view = showTray(State::expanded);
    // Each control's place relative to the tray's outline, and whether it is on screen.
    const auto arrangement = [&] {
        const QPointF origin = view.outlineRect().topLeft();
        QStringList parts;
        QList<QWidget *> controls{large(), view.findChild<QWidget *>("thumbnailStrip")};
        for (TrayActionButton *button : view.findChildren<TrayActionButton *>())
            controls << button;
        for (QWidget *control : controls) {
            const QRect place = control->geometry().translated(-origin.toPoint());
            const bool inside = view.outlineRect().contains(
                QRectF(control->mapTo(&view, QPoint()), QSizeF(control->size())));
            parts << QStringLiteral("%1 %2,%3 %4%5")
                         .arg(control->objectName())
                         .arg(place.x())
                         .arg(place.y())
                         .arg(control->isVisible() ? "shown" : "hidden")
                         .arg(inside ? "" : " cut off");
        }
        parts << view.informationLines();
        return parts;
    };
    settings->setTrayPosition(TrayPosition::floatingTop);
    const QStringList topCentre = arrangement();
    EXPECT_EQ(buttonsShown().size(), 7);
    EXPECT_FALSE(topCentre.join('\n').contains("cut off")) << topCentre.join('\n').toStdString();
    for (TrayPosition corner : {TrayPosition::topLeft, TrayPosition::topRight,
                                TrayPosition::bottomLeft, TrayPosition::bottomRight}) {
        settings->setTrayPosition(corner);
        EXPECT_EQ(arrangement(), topCentre) << rawValue(corner).toStdString();
        EXPECT_EQ(view.outlineRect().size(), QSizeF(761, 82));
    }
    // The tray keeps to its corner's side of the panel.
    settings->setTrayPosition(TrayPosition::topRight);
    EXPECT_EQ(view.outlineRect().right(), view.width() - 20);
    controller->setInteractionState(State::compact);
    EXPECT_EQ(view.outlineRect().right(), view.width() - 20);
    settings->setTrayPosition(TrayPosition::bottomLeft);
    EXPECT_EQ(view.outlineRect().left(), 20);
}

TEST_F(CaptureTrayViewTest, TheInformationColumnTellsWhenTheSelectedCaptureFailed)
{
    const CaptureItem a = stage(), b = stage(), c = stage();
    CaptureTrayView &view = showTray(State::expanded);
    // Pixels in the failure's colour, which nothing else in the tray uses.
    const auto failurePixels = [&view] {
        const QImage image = view.grab().toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                count += pixel.red() > 160 && pixel.green() < 130 && pixel.blue() < 130 ? 1 : 0;
            }
        }
        return count;
    };
    const QStringList pending = view.informationLines();
    ASSERT_EQ(pending.size(), 2);
    EXPECT_EQ(pending[1], "64 × 40");
    EXPECT_EQ(failurePixels(), 0);

    queue.markFailed(b.id(), CaptureActionError::saveFailed("Disk full"));
    queue.markFailed(a.id(), CaptureActionError::copyFailed("No clipboard"));
    EXPECT_EQ(view.informationLines(), pending) << "the selected capture did not fail";
    EXPECT_EQ(failurePixels(), 0);

    queue.setSelectedItemID(b.id());
    const QStringList failed = view.informationLines();
    ASSERT_GT(failed.size(), 2);
    EXPECT_EQ(failed[1], "64 × 40");
    EXPECT_EQ(failed.mid(2).join(' '), "Couldn't save (Failed to save screenshot: Disk full)")
        << "wrapped at the column's width, reason and all";
    EXPECT_GT(failurePixels(), 20);
    queue.setSelectedItemID(a.id());
    EXPECT_EQ(view.informationLines().mid(2).join(' '),
              "Couldn't copy (Failed to copy to clipboard: No clipboard)")
        << "a copy says it was a copy that failed";
    queue.setSelectedItemID(b.id());

    queue.markPending(b.id());
    EXPECT_EQ(view.informationLines().size(), 2) << "a new attempt clears it";
    EXPECT_EQ(failurePixels(), 0);
}

TEST_F(CaptureTrayViewTest, ARecordingsFailedSaveIsNamedAsSuchAndReadInFullOnHover)
{
    const CaptureItem shot = stage();
    const CaptureItem movie(QUuid::createUuid(), QDateTime::currentDateTime(), std::nullopt,
                            CaptureMode::recording, shot.image(), std::nullopt,
                            QUrl::fromLocalFile("/tmp/Recording-x.mp4"),
                            CaptureItemState::pending());
    queue.enqueue(movie);
    CaptureTrayView &view = showTray(State::expanded);
    const QString reason = "Error writing the destination file /home/someone/Videos/Screen "
                           "recordings/2026/December/Recording of the weekly call.mp4: No "
                           "space left on device";
    queue.markFailed(movie.id(),
                     CaptureActionError::saveFailed("Failed to save video file: " + reason));
    const QString whole = "Couldn't save (Failed to save recording: " + reason + ")";
    const QStringList lines = view.informationLines().mid(2);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.join(' ').startsWith("Couldn't save (Failed to save recording:"))
        << lines.join('|').toStdString();
    EXPECT_FALSE(lines.join(' ').contains("screenshot"));
    EXPECT_LT(lines.join(' ').size(), whole.size()) << "more than the column holds";

    // The pointer resting on the column shows every word.
    const auto hoverText = [&view](QPoint at) {
        QHelpEvent help(QEvent::ToolTip, at, view.mapToGlobal(at));
        QApplication::sendEvent(&view, &help);
        // An event the view leaves unaccepted shows nothing.
        return help.isAccepted() && QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    const QPoint onColumn = view.informationRect().center().toPoint();
    EXPECT_EQ(hoverText(onColumn), whole);
    EXPECT_EQ(hoverText(QPoint(2, 2)), QString()) << "only over the column";

    // A screenshot keeps its documented words; a short one needs no hover.
    queue.markFailed(shot.id(), CaptureActionError::saveFailed("Disk full"));
    queue.setSelectedItemID(shot.id());
    EXPECT_EQ(view.informationLines().mid(2).join(' '),
              "Couldn't save (Failed to save screenshot: Disk full)");
    EXPECT_EQ(hoverText(view.informationRect().center().toPoint()), QString());
}

TEST_F(CaptureTrayViewTest, ANoticeShowsInItsToneAndGoesAfterItsTime)
{
    stage();
    const CaptureItem shown = stage();
    CaptureTrayView &view = showTray(State::expanded);
    const auto pixelsLike = [&view](auto test) {
        const QImage image = view.grab().toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += test(image.pixelColor(x, y)) ? 1 : 0;
        return count;
    };
    const auto red = [](QColor c) { return c.red() > 160 && c.green() < 130 && c.blue() < 130; };
    const auto green = [](QColor c) { return c.green() > 150 && c.red() < 120 && c.blue() < 130; };

    controller->state().showNotice(shown.id(), "No readable text was found in the image.");
    EXPECT_EQ(view.informationLines().mid(2).join(' '), "No readable text was found in the image.");
    EXPECT_GT(pixelsLike(red), 20);
    timers->advance(3999ms);
    EXPECT_GT(view.informationLines().size(), 2);
    timers->advance(1ms);
    EXPECT_EQ(view.informationLines().size(), 2) << "gone after four seconds";
    EXPECT_EQ(pixelsLike(red), 0);

    // Work under way stays until its outcome replaces it.
    controller->state().showNotice(shown.id(), "Reading...", TrayNotice::Tone::progress,
                                   std::nullopt);
    timers->advance(60s);
    EXPECT_EQ(view.informationLines().mid(2), QStringList("Reading..."));
    EXPECT_EQ(pixelsLike(red), 0);
    controller->state().showNotice(shown.id(), "Copied!", TrayNotice::Tone::success, 1500ms);
    EXPECT_EQ(view.informationLines().mid(2), QStringList("Copied!"));
    EXPECT_GT(pixelsLike(green), 10);
    timers->advance(1500ms);
    EXPECT_EQ(view.informationLines().size(), 2);
}

TEST_F(CaptureTrayViewTest, ButtonsActOnTheSelectedCaptureThroughTheController)
{
    neighbours.pinning = &pinning;
    const CaptureItem a = stage();
    stage();
    showTray(State::expanded);
    QStringList extra;
    controller->onQuickLook = [&](const CaptureItem &item) { extra << "open " + item.fileName(); };
    controller->onOCR = [&](const CaptureItem &item) { extra << "ocr " + item.fileName(); };
    queue.setSelectedItemID(a.id());

    for (const char *name : {"copy", "open", "annotate", "ocr", "pin", "save"}) {
        auto *button = child<TrayActionButton>(QStringLiteral("trayButton.") + name);
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }
    EXPECT_EQ(calls, (QStringList{"copy " + a.fileName(), "save " + a.fileName()}));
    EXPECT_EQ(extra, (QStringList{"open " + a.fileName(), "ocr " + a.fileName()}));
    EXPECT_EQ(pinning.pinned, QList<QUuid>{a.id()});
}

TEST_F(CaptureTrayViewTest, APinTheDeckRefusesIsToldBesideTheCapture)
{
    neighbours.pinning = &pinning;
    pinning.refuse = true;
    const CaptureItem a = stage();
    CaptureTrayView &view = showTray(State::expanded);
    queue.setSelectedItemID(a.id());
    auto *pin = child<TrayActionButton>(QStringLiteral("trayButton.pin"));
    QTest::mouseClick(pin, Qt::LeftButton, {}, pin->rect().center());
    EXPECT_TRUE(pinning.pinned.isEmpty());
    const QString refused = "Couldn't pin (its picture can no longer be read)";
    EXPECT_EQ(view.informationLines().mid(2).join(' '), refused);

    // The newest is told, while the notice would still last: a failure after it, and a refusal
    // after that failure.
    queue.markCopying(a.id());
    queue.markFailed(a.id(), CaptureActionError::copyFailed("No clipboard"));
    EXPECT_EQ(view.informationLines().mid(2).join(' '),
              "Couldn't copy (Failed to copy to clipboard: No clipboard)");
    QTest::mouseClick(pin, Qt::LeftButton, {}, pin->rect().center());
    EXPECT_EQ(view.informationLines().mid(2).join(' '), refused);
    // Once the refusal's time is up, the older failure is not told again.
    timers->advance(1s);
    EXPECT_EQ(view.informationLines().mid(2).join(' '), refused);
    timers->advance(4s);
    EXPECT_EQ(view.informationLines().size(), 2) << view.informationLines().join('|').toStdString();

    // The same failure again is news, and stays.
    queue.markCopying(a.id());
    queue.markFailed(a.id(), CaptureActionError::copyFailed("No clipboard"));
    timers->advance(5s);
    EXPECT_EQ(view.informationLines().mid(2).join(' '),
              "Couldn't copy (Failed to copy to clipboard: No clipboard)");
}

TEST_F(CaptureTrayViewTest, AClickedButtonLosesItsHoverLookWhenTheTrayFolds)
{
    stage();
    showTray(State::expanded);
    auto *copy = child<TrayActionButton>("trayButton.copy");
    ASSERT_TRUE(shown(copy));
    QCursor::setPos(copy->mapToGlobal(copy->rect().center()));
    QCoreApplication::processEvents();
    QEnterEvent enter(QPointF(19, 19), QPointF(19, 19), copy->mapToGlobal(QPointF(19, 19)));
    QApplication::sendEvent(copy, &enter);
    ASSERT_TRUE(copy->isHovered());
    QTest::mouseClick(copy, Qt::LeftButton, {}, copy->rect().center());

    // The tray folds under the pointer, the pointer goes elsewhere, the tray opens again.
    for (int round = 0; round < 2; ++round) {
        controller->setInteractionState(State::compact);
        QCursor::setPos(QPoint(5, 700));
        QCoreApplication::processEvents();
        controller->setInteractionState(State::expanded);
        QCoreApplication::processEvents();
        ASSERT_TRUE(shown(copy));
        EXPECT_FALSE(copy->isHovered()) << round;
        EXPECT_EQ(copy->hoverProgress(), 0) << round;
    }
}

TEST_F(CaptureTrayViewTest, CellsAreKeptAndUpdatedInPlaceByCapture)
{
    const CaptureItem a = stage(), b = stage();
    showTray(State::expanded);
    ASSERT_EQ(cells().size(), 1);
    const QPointer<CaptureTrayItemView> cellA = cells().value(a.id());

    const CaptureItem c = stage();
    EXPECT_EQ(cells().value(a.id()), cellA);
    ASSERT_TRUE(cells().contains(b.id()));
    const QPointer<CaptureTrayItemView> cellB = cells().value(b.id());
    EXPECT_EQ(large()->itemID(), c.id());

    queue.markSaving(a.id());
    EXPECT_EQ(cells().value(a.id()), cellA);
    EXPECT_TRUE(cellA->showsBusyLayer());
    queue.markPending(a.id());
    EXPECT_FALSE(cellA->showsBusyLayer());

    queue.remove(b.id());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(cellB.isNull());
    EXPECT_EQ(cells().value(a.id()), cellA);
}

TEST_F(CaptureTrayViewTest, ADraggedCellOutlivesItsCaptureUntilTheDragEnds)
{
    const CaptureItem a = stage();
    stage();
    CaptureTrayView &view = showTray(State::expanded);
    const QPointer<CaptureTrayItemView> cell = cells().value(a.id());
    ASSERT_TRUE(cell);

    bool aliveDuringDrag = false;
    QSize picture;
    bool carriesData = false;
    view.setDragRunner([&](QDrag &drag) {
        carriesData = drag.mimeData() != nullptr;
        picture = drag.pixmap().deviceIndependentSize().toSize();
        // The capture leaves the queue while the drag goes on.
        queue.remove(a.id());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        aliveDuringDrag = !cell.isNull() && drag.source() == cell;
        return Qt::CopyAction;
    });
    const int room = CaptureTrayItemView::shadowRoom();
    startDragOn(cell, QPoint(room + 5, room + 5));
    EXPECT_TRUE(carriesData);
    EXPECT_EQ(picture, QSize(80, 54));
    EXPECT_TRUE(aliveDuringDrag);
    EXPECT_FALSE(cells().contains(a.id()));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(cell.isNull());
}

// A capture whose file lost its body after its header is not dragged out: the tray says why.
TEST_F(CaptureTrayViewTest, AThumbnailDragsItsPictureOrSaysWhyItCannot)
{
    const QImage picture = noisyImage(120, 80, 7);
    const CaptureItem good = makeScreenshot(picture);
    const CaptureItem cut = makeScreenshot(noisyImage(120, 80, 8));
    queue.enqueue(good);
    queue.enqueue(cut);
    ASSERT_TRUE(spoilFile(cut.storedImage(QDeadlineTimer(10000)).pngPath, Spoil::cut));
    CaptureTrayView &view = showTray(State::expanded);
    QList<QUrl> dragged;
    view.setDragRunner([&](QDrag &drag) {
        dragged += drag.mimeData()->urls();
        if (dragged.size() == 3) // a press whose file comes while the third drag runs
            startDragOn(large(), large()->rect().center());
        return Qt::CopyAction;
    });
    queue.setSelectedItemID(cut.id());
    startDragOn(large(), large()->rect().center());
    EXPECT_TRUE(dragged.isEmpty());
    EXPECT_EQ(view.informationLines().mid(2).join(' '),
              "Couldn't drag (its picture can no longer be read)");
    queue.setSelectedItemID(good.id());
    startDragOn(large(), large()->rect().center());
    ASSERT_EQ(dragged.size(), 1);
    EXPECT_EQ(QImage(dragged.first().toLocalFile()).convertToFormat(QImage::Format_RGB32), picture);

    // The button let go while the drag's file is still being made: no drag starts after it.
    std::optional<PoolBlocker> pool(std::in_place);
    startDragOn(large(), large()->rect().center(), false);
    QTest::mouseRelease(large(), Qt::LeftButton, {}, large()->rect().center());
    pool.reset();
    ASSERT_TRUE(backgroundSettled());
    EXPECT_EQ(dragged.size(), 1);

    // Pressed again before that file is made: it starts no drag, the new press's file does.
    pool.emplace();
    startDragOn(large(), large()->rect().center(), false);
    QTest::mouseRelease(large(), Qt::LeftButton, {}, large()->rect().center());
    startDragOn(large(), large()->rect().center(), false);
    pool.reset();
    ASSERT_TRUE(backgroundSettled());
    EXPECT_EQ(dragged.size(), 2);
    // A file that comes while a drag runs starts no drag inside it.
    startDragOn(large(), large()->rect().center());
    EXPECT_EQ(dragged.size(), 3);
}

TEST_F(CaptureTrayViewTest, PointerAndClicksOnThumbnailsDriveThePreview)
{
    ManualHoverClock clock;
    const CaptureItem a = trayWithPreview(clock);
    CaptureTrayItemView *cell = cells().value(a.id());
    const QPoint inside = cell->rect().center();
    pointAt(cell, inside);
    clock.advance(600ms);
    EXPECT_EQ(preview.shown, QList<QUuid>{a.id()});
    EXPECT_FALSE(preview.persistent);

    QTest::mouseClick(large(), Qt::LeftButton, {}, large()->rect().center());
    EXPECT_TRUE(preview.persistent);
    EXPECT_EQ(preview.shown.last(), large()->itemID());
    QTest::mouseClick(cell, Qt::LeftButton, {}, inside);
    EXPECT_EQ(queue.selectedItemID(), a.id());
    EXPECT_EQ(large()->itemID(), a.id());
}

// A drag out of the program ends with no leave event: the thumbnail still opens the preview when
// the pointer comes back to rest on it.
TEST_F(CaptureTrayViewTest, AThumbnailDraggedOutOpensThePreviewWhenThePointerRestsOnItAgain)
{
    ManualHoverClock clock;
    trayWithPreview(clock);
    controller->trayView()->setDragRunner([](QDrag &) {
        QCursor::setPos(QPoint(5, 700));
        return Qt::CopyAction;
    });
    const QPoint onLarge = large()->rect().center();
    pointAt(large(), onLarge);
    startDragOn(large(), onLarge);
    clock.advance(600ms);
    ASSERT_TRUE(preview.shown.isEmpty());

    QCursor::setPos(large()->mapToGlobal(onLarge));
    pointAt(large(), onLarge);
    clock.advance(600ms);
    EXPECT_EQ(preview.shown, QList<QUuid>{large()->itemID()});
}

TEST_F(CaptureTrayViewTest, AClickKeepsThePreviewARestOpenedAndAHeldButtonOpensNone)
{
    ManualHoverClock clock;
    const CaptureItem a = trayWithPreview(clock);
    const QPoint onLarge = large()->rect().center();
    pointAt(large(), onLarge);
    clock.advance(600ms);
    QTest::mouseClick(large(), Qt::LeftButton, {}, onLarge);
    EXPECT_EQ(preview.shown, QList<QUuid>{large()->itemID()}) << "shown once, not built again";
    EXPECT_TRUE(preview.persistent);

    preview.close();
    CaptureTrayItemView *cell = cells().value(a.id());
    const QPoint inside = cell->rect().center();
    pointAt(cell, inside);
    clock.advance(300ms);
    QTest::mousePress(cell, Qt::LeftButton, {}, inside);
    clock.advance(600ms);
    EXPECT_EQ(preview.shown.size(), 1) << "no preview while the button is held";
    QTest::mouseRelease(cell, Qt::LeftButton, {}, inside);
    EXPECT_EQ(preview.shown.last(), a.id());
}

TEST_F(CaptureTrayViewTest, RecordingShowsTheRowAndStopOrCancelActsOnce)
{
    int stops = 0, cancels = 0, requests = 0;
    neighbours.stopRecording = [&] { ++stops; };
    neighbours.cancelRecording = [&] { ++cancels; };
    neighbours.requestRecordingStop = [&] { ++requests; };
    stage();
    recorder.setRecording(true);
    recorder.setDuration(65.4);
    CaptureTrayView &view = showTray(State::compact);
    EXPECT_FALSE(shown(displayed())) << "the recording row takes the thumbnail's place";
    const QList<RecordingDot *> dots = view.findChildren<RecordingDot *>();
    EXPECT_EQ(std::count_if(dots.begin(), dots.end(), shown), 1);

    controller->show(std::nullopt, State::expanded);
    auto *stop = child<QAbstractButton>("stopRecording");
    auto *cancel = child<QAbstractButton>("cancelRecording");
    ASSERT_TRUE(shown(stop) && shown(cancel));
    EXPECT_FALSE(shown(view.findChild<QWidget *>("thumbnailStrip")));
    EXPECT_TRUE(buttonsShown().isEmpty());
    EXPECT_LT(stop->x(), cancel->x());
    EXPECT_TRUE(view.ownsClick(stop->geometry().center()));
    EXPECT_TRUE(view.ownsClick(cancel->geometry().center()));
    EXPECT_FALSE(view.ownsClick(QPoint(stop->x() - 30, stop->geometry().center().y())));

    // A click on Stop is not a click on the tray too, and Cancel cannot race it.
    QWindow *window = controller->panel()->windowHandle();
    ASSERT_NE(window, nullptr);
    QTest::mouseClick(window, Qt::LeftButton, {}, stop->geometry().center());
    QTest::mouseClick(window, Qt::LeftButton, {}, cancel->geometry().center());
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(cancels, 0);
    EXPECT_EQ(requests, 0);

    // The next recording's controls work again.
    recorder.setRecording(false);
    recorder.setRecording(true);
    controller->show(std::nullopt, State::expanded);
    QTest::mouseClick(window, Qt::LeftButton, {}, cancel->geometry().center());
    EXPECT_EQ(cancels, 1);
    EXPECT_FALSE(view.ownsClick(QPoint(1, 1)));
}

TEST_F(CaptureTrayViewTest, TheViewReportsItsExpansionAndMorphsOnUserChanges)
{
    AnimationClock animations;
    compositor.compositing = true;
    stage();
    CaptureTrayView &view = showTray(State::compact);
    EXPECT_EQ(controller->state().expansionProgress(), 0);
    const QRectF compact = view.outlineRect();

    controller->trayClicked();
    EXPECT_EQ(controller->state().expansionProgress(), 1);
    EXPECT_TRUE(view.isMorphing());
    // On the tray's morph spring, as far as it is 128 ms and 256 ms in.
    animations.advanceBy(128);
    const double early = view.outlineRect().width();
    animations.advanceBy(128);
    const double late = view.outlineRect().width();
    animations.advanceBy(400);
    EXPECT_FALSE(view.isMorphing());
    const double way = view.outlineRect().width() - compact.width();
    EXPECT_GT(way, 0);
    EXPECT_NEAR((early - compact.width()) / way, TrayState::morphSpring.value(0.128), 0.01);
    EXPECT_NEAR((late - compact.width()) / way, TrayState::morphSpring.value(0.256), 0.01);
    ASSERT_TRUE(shown(large()));
    EXPECT_FALSE(shown(displayed())) << "the pill's thumbnail has become the strip's";

    controller->setInteractionState(State::compact);
    EXPECT_EQ(controller->state().expansionProgress(), 0);
    EXPECT_FALSE(view.isMorphing()) << "changes not made by the user are not animated";
    EXPECT_EQ(view.outlineRect(), compact);
    EXPECT_TRUE(shown(displayed()));
}
