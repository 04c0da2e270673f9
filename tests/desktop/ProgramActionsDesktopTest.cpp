// The program as its composition root builds it, on the harness's desktop: every button and key
// of the expanded tray, and every action of the pin deck's cards, used on hot-key captures of a
// window of text, each checked by what a user meets: the clipboard another program pastes, the
// file written, the window shown, the capture gone.

#include "PinDeckDesktopSupport.h"
#include "ProgramDesktopTest.h"
#include "model/CaptureTestSupport.h"
#include "tray/CaptureTrayItemView.h"
#include "tray/NotchTrackingContainerView.h"

#include <QCursor>
#include <QDesktopServices>
#include <QDrag>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QScopeGuard>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using State = TrayInteractionState;
using ProgramActionsDesktop = ProgramDesktopTest;

constexpr int waitLimitMs = programWaitLimitMs;

// What the desktop was asked to open, in the order asked (Qt hands every file URL here).
class OpenedFiles final : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls << url; }
};

// A window that takes dropped files, as a file manager or a mail program does.
class DropTarget final : public QWidget {
public:
    QList<QUrl> dropped;
    // Where a drag of files came in.
    std::optional<QPoint> enteredAt;

    DropTarget() { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override
    {
        if (!event->mimeData()->hasUrls())
            return;
        enteredAt = event->position().toPoint();
        event->acceptProposedAction();
    }
    void dropEvent(QDropEvent *event) override
    {
        dropped = event->mimeData()->urls();
        event->acceptProposedAction();
    }
};

// A window of another program that drags a file out, as a file manager does: where the drag
// went on its way, and how it ended.
class FileDragSource final : public QWidget {
public:
    QString file;
    bool pressed = false;
    bool dragging = false;
    // The last window or widget of ours the drag was over.
    QPointer<QObject> target;
    std::optional<Qt::DropAction> result;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).fillRect(rect(), QColor(70, 110, 160));
    }
    void mousePressEvent(QMouseEvent *event) override
    {
        pressed = true;
        m_pressAt = event->position().toPoint();
    }
    void mouseReleaseEvent(QMouseEvent *) override { pressed = false; }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (!pressed || dragging ||
            (event->position().toPoint() - m_pressAt).manhattanLength() <
                QApplication::startDragDistance())
            return;
        dragging = true;
        auto *drag = new QDrag(this);
        auto *data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(file)});
        drag->setMimeData(data);
        connect(drag, &QDrag::targetChanged, this, [this](QObject *now) { target = now; });
        result = drag->exec(Qt::CopyAction);
        dragging = false;
        pressed = false;
    }

private:
    QPoint m_pressAt;
};

// Pointer input in steps, each taken once the program showed it saw the step before. A timer
// takes them: once a drag starts, its own event loop holds the test until the drop.
struct PointerStep {
    // What the program is to show once the input reached it.
    std::string awaited;
    QStringList input;
    std::function<bool()> seen;
};

// Nothing when every step was seen in time; else the step not seen and `where` things were then,
// and the button is let go, which ends a drag.
std::string takePointerSteps(const std::vector<PointerStep> &steps, int limitMs,
                             const std::function<std::string()> &where)
{
    QElapsedTimer clock;
    clock.start();
    size_t next = 0;
    bool given = false;
    bool over = false;
    std::string failure;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (over)
            return;
        if (given && !steps[next].seen()) {
            if (clock.elapsed() > limitMs) {
                failure = "no sign of " + steps[next].awaited + "; " + where();
                over = true;
                QProcess::execute(QStringLiteral("xdotool"), {"mouseup", "1"});
            }
            return;
        }
        if (given)
            ++next;
        if (next == steps.size()) {
            over = true;
            return;
        }
        given = true;
        QProcess::execute(QStringLiteral("xdotool"), steps[next].input);
    });
    timer.start();
    if (!waitUntil([&] { return over; }, limitMs + programWaitLimitMs))
        failure = "no sign of " + steps[next].awaited + "; " + where();
    return failure;
}

// The pointer moved there, its last move by the device as a user's is.
QStringList pointerTo(QPoint at)
{
    return {"mousemove",
            QString::number(at.x() - 1),
            QString::number(at.y() - 1),
            "mousemove_relative",
            "1",
            "1"};
}

// A drag of the thing at `from` (its `name` in messages) onto the window, in steps: the pointer
// onto it (`over`), the press (`pressed`), the drag started (`dragRuns`), over the window, and
// the drop. Nothing when every step was seen; else the step not seen and where things were.
std::string dragOntoWindow(DropTarget &target, const std::string &name, QPoint from,
                           const std::function<bool()> &over, const std::function<bool()> &pressed,
                           const std::function<bool()> &dragRuns,
                           const std::function<QPoint()> &placed)
{
    const QPoint to = target.geometry().center();
    const auto where = [&] {
        return "the pointer at " + shown(QCursor::pos()) + ", the " + name + " at " +
               shown(placed()) + " (pressed at " + shown(from) + "), the drag " +
               (dragRuns() ? "running" : "not running") + ", the window entered at " +
               (target.enteredAt ? shown(target.mapToGlobal(*target.enteredAt)) : "no point");
    };
    return takePointerSteps(
        {{"the pointer on the " + name, pointerTo(from), over},
         {"the " + name + " pressed", {"mousedown", "1"}, pressed},
         {"the drag started", pointerTo(from + (to - from) / 4), dragRuns},
         {"the drag over the window", pointerTo(to), [&] { return target.enteredAt.has_value(); }},
         {"the drop", {"mouseup", "1"}, [&] { return !target.dropped.isEmpty(); }}},
        waitLimitMs, where);
}

TEST_F(ProgramActionsDesktop, EveryButtonAndKeyOfTheExpandedTrayActsOnTheSelectedCapture)
{
    captureWithTheHotKey(7);
    hoverTheTray();

    // Text recognition: the text onto the clipboard, and the tray says so.
    clearClipboard();
    CaptureItem item = selected();
    clickTrayButton(TrayButtonID::ocr);
    expectPastedText();
    EXPECT_TRUE(waitUntil([&] { return tray()->state().noticeFor(item.id()) == "Copied!"; }));
    clearClipboard();
    typeTrayKey("t");
    expectPastedText();

    // Copy: the picture onto the clipboard, and the capture leaves the tray.
    clearClipboard();
    clickTrayButton(TrayButtonID::copy);
    expectPastedPicture(item);
    EXPECT_TRUE(waitUntil([&] { return !queueHolds(item.id()); }));
    clearClipboard();
    item = selected();
    typeTrayKey("c");
    expectPastedPicture(item);
    EXPECT_TRUE(waitUntil([&] { return !queueHolds(item.id()); }));

    // Save: the dialog, answered, writes the capture; the capture stays, saved.
    item = selected();
    clickTrayButton(TrayButtonID::save);
    answerSaveDialog(savedFile("button.png"));
    expectSavedPicture(savedFile("button.png"), item);
    EXPECT_TRUE(waitUntil([&] {
        return queuedItem(queue(), item.id())->state() == CaptureItemState::saved("button.png");
    }));
    for (const QString &key : {QStringLiteral("s"), QStringLiteral("Return")}) {
        typeTrayKey(key);
        answerSaveDialog(savedFile(key + ".png"));
        expectSavedPicture(savedFile(key + ".png"), item);
    }

    // Open and markup: the preview of the capture, and its markup.
    clickTrayButton(TrayButtonID::open);
    expectPreviewOf(item);
    preview().close();
    typeTrayKey("space");
    expectPreviewOf(item);
    preview().close();
    clickTrayButton(TrayButtonID::annotate);
    expectPreviewOf(item, true);
    preview().close();
    for (const QString &key : {QStringLiteral("a"), QStringLiteral("m")}) {
        typeTrayKey(key);
        expectPreviewOf(item, true);
        preview().close();
    }
    // A recording is not: the tray says why, and no editor opens.
    const CaptureItem recording = makeRecording(savedFile(QStringLiteral("Recording.mp4")));
    queue().enqueue(recording);
    clickTrayButton(TrayButtonID::annotate);
    EXPECT_TRUE(waitUntil([&] {
        return tray()->state().noticeFor(recording.id()) ==
               "Couldn't annotate (only screenshots can be marked up)";
    }));
    EXPECT_FALSE(preview().isVisible());
    queue().remove(recording.id());

    // Pin: the capture on the deck; the arrows select the older capture and back, and P pins.
    clickTrayButton(TrayButtonID::pin);
    expectPinned(item);
    typeTrayKey("Right");
    EXPECT_TRUE(waitUntil([&] { return selected().id() != item.id(); })) << "an older capture";
    const CaptureItem older = selected();
    typeTrayKey("Left");
    EXPECT_TRUE(waitUntil([&] { return selected().id() == item.id(); })) << "back again";
    typeTrayKey("Right");
    ASSERT_TRUE(waitUntil([&] { return selected().id() == older.id(); }));
    typeTrayKey("p");
    expectPinned(older);

    // Drag: the thumbnail dropped on another window hands it the capture's file. Each step of
    // the pointer waits for the program to see the one before, from a tray that holds still.
    DropTarget target;
    target.setGeometry(QRect(m_screen.center() - QPoint(150, 0), QSize(300, 200)));
    target.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&target));
    item = selected();
    auto *thumbnail = tray()->trayView()->findChild<TrayThumbnailButton *>("largeThumbnail");
    ASSERT_NE(thumbnail, nullptr);
    const auto placed = [&] { return QRect(thumbnail->mapToGlobal(QPoint()), thumbnail->size()); };
    QRect lastPlace;
    ASSERT_TRUE(waitUntil(
        [&] {
            const QRect place = std::exchange(lastPlace, placed());
            return tray()->interactionState() == State::expanded &&
                   !tray()->trayView()->isMorphing() && thumbnail->isVisible() &&
                   thumbnail->itemID() == item.id() && place == lastPlace;
        },
        waitLimitMs));
    const std::string failure = dragOntoWindow(
        target, "thumbnail", lastPlace.center(), [&] { return thumbnail->isPointerOver(); },
        [&] { return thumbnail->isDown(); },
        [&] { return thumbnail->findChild<QDrag *>() != nullptr; },
        [&] { return placed().center(); });
    ASSERT_EQ(failure, "");
    ASSERT_TRUE(target.dropped.first().isLocalFile());
    expectSavedPicture(target.dropped.first().toLocalFile(), item);
    target.hide();
    hoverTheTray();

    // Delete: the capture leaves the tray, by the button and by either key.
    for (const QString &key : {QString(), QStringLiteral("BackSpace"), QStringLiteral("Delete")}) {
        item = selected();
        if (key.isEmpty())
            clickTrayButton(TrayButtonID::delete_);
        else
            typeTrayKey(key);
        EXPECT_TRUE(waitUntil([&] { return !queueHolds(item.id()); })) << qPrintable(key);
    }

    // Escape folds the tray, held open away from the pointer; the program still takes captures.
    tray()->pin();
    movePointerTo(m_screen.center());
    typeTrayKey("Escape");
    EXPECT_TRUE(waitUntil([&] { return tray()->interactionState() != State::expanded; }));
    const qsizetype left = queue().items().size();
    captureWithTheHotKey(1);
    EXPECT_EQ(queue().items().size(), left + 1);
}

TEST_F(ProgramActionsDesktop, EveryActionOfThePinDecksCardsActsOnItsCapture)
{
    OpenedFiles opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
    const auto forget =
        qScopeGuard([] { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); });
    // Two captures of different pictures: the later one shows a magenta window over the text.
    captureWithTheHotKey(1);
    const QColor magenta(200, 40, 160);
    ProbeWindow over(magenta, Qt::FramelessWindowHint);
    over.setGeometry(QRect(m_screen.center() - QPoint(200, 150), QSize(400, 300)));
    over.show();
    const QPoint middle = over.geometry().center();
    ASSERT_TRUE(waitUntil([&] {
        const QPixmap pixel =
            QGuiApplication::primaryScreen()->grabWindow(0, middle.x(), middle.y(), 1, 1);
        return shows(pixel.toImage(), QPoint(), magenta, 0);
    }));
    captureWithTheHotKey(1);
    over.hide();
    ASSERT_FALSE(samePicture(queue().items().at(0).image(), queue().items().at(1).image()));
    hoverTheTray();
    const CaptureItem first = selected();
    typeTrayKey("p");
    expectPinned(first);
    typeTrayKey("Right");
    ASSERT_TRUE(waitUntil([&] { return selected().id() != first.id(); }));
    const CaptureItem second = selected();
    typeTrayKey("p");
    expectPinned(second);
    tray()->hide(true);
    movePointerTo(m_screen.center());

    StackedMediaStack &stack = deck()->view()->stack();
    const auto hoverCard = [&](const CaptureItem &item) {
        if (!stack.isExpanded()) {
            clickAt(onDeckCard(stack, 0));
            ASSERT_TRUE(waitUntil([&] { return stack.isExpanded(); }));
        }
        movePointerTo(onDeckCard(stack, 0));
        ASSERT_TRUE(waitUntil([&] { return stack.activeHoverID() == item.id(); }));
    };

    // Copy: the picture onto the clipboard; the card stays.
    hoverCard(second);
    clearClipboard();
    clickAt(onDeckCapsule(stack, 0, DeckCapsuleButton::copy));
    expectPastedPicture(second);
    EXPECT_EQ(deck()->items().size(), 2);

    // Save: the dialog, answered, writes the picture.
    hoverCard(second);
    clickAt(onDeckCapsule(stack, 0, DeckCapsuleButton::save));
    answerSaveDialog(savedFile("pin.png"));
    expectSavedPicture(savedFile("pin.png"), second);

    // Open: the picture handed to the desktop as a file of its own.
    hoverCard(second);
    clickAt(onDeckCard(stack, 0, QPointF(20, 20)));
    ASSERT_TRUE(waitUntil([&] { return !opened.urls.isEmpty(); }, waitLimitMs));
    ASSERT_TRUE(opened.urls.first().isLocalFile());
    expectSavedPicture(opened.urls.first().toLocalFile(), second);

    // Drag: the card dropped on another window hands it the picture as a file. Each step of the
    // pointer waits for the deck to see the one before.
    DropTarget target;
    target.setGeometry(QRect(m_screen.center() - QPoint(150, 100), QSize(300, 200)));
    target.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&target));
    hoverCard(second);
    const EventWatch card(&stack, QEvent::MouseButtonPress);
    const std::string failure = dragOntoWindow(
        target, "card", onDeckCard(stack, 0), [&] { return stack.activeHoverID() == second.id(); },
        [&] { return card.seen; }, [&] { return stack.findChild<QDrag *>() != nullptr; },
        [&] { return onDeckCard(stack, 0); });
    ASSERT_EQ(failure, "");
    ASSERT_TRUE(target.dropped.first().isLocalFile());
    EXPECT_TRUE(target.dropped.first().fileName().contains(second.fileName()));
    expectSavedPicture(target.dropped.first().toLocalFile(), second);
    EXPECT_EQ(deck()->items().size(), 2) << "the card stays";
    target.hide();

    // Remove: the card and its capture go; the other stays.
    hoverCard(second);
    clickAt(onDeckCapsule(stack, 0, DeckCapsuleButton::remove));
    EXPECT_TRUE(waitUntil([&] { return deck()->items().size() == 1; }));
    EXPECT_FALSE(queueHolds(second.id()));
    EXPECT_TRUE(queueHolds(first.id()));
    EXPECT_EQ(deck()->items().first()->id(), first.id());

    // A card whose file became a named pipe: its copy and save say why on the card, leave the
    // clipboard alone and wait for nobody to write the pipe.
    ASSERT_TRUE(spoilFile(first.storedImage().pngPath, Spoil::pipe));
    hoverCard(first);
    clearClipboard();
    for (const auto &[button, text] :
         {std::pair(DeckCapsuleButton::copy, "Couldn't copy (its picture can no longer be read)"),
          std::pair(DeckCapsuleButton::save,
                    "Couldn't save (its picture can no longer be read)")}) {
        clickAt(onDeckCapsule(stack, 0, button));
        EXPECT_TRUE(waitUntil([&] { return deck()->view()->noticeAbout(first.id()) == text; }));
    }
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
}

TEST_F(ProgramActionsDesktop, AFileDroppedOnTheTrayDeletesTheCaptureItNamesAndNothingElse)
{
    captureWithTheHotKey(2);
    const CaptureItem newer = queue().items().at(0);
    const CaptureItem older = queue().items().at(1);
    // A picture of the user's own, and a copy of the newer capture renamed on its way.
    QTemporaryDir files;
    const QString picture = files.filePath(QStringLiteral("holiday.png"));
    QImage holiday(320, 200, QImage::Format_RGB32);
    holiday.fill(QColor(30, 140, 90));
    ASSERT_TRUE(holiday.save(picture));
    const QString copy = files.filePath(QStringLiteral("Copy of ") + newer.fileName());
    ASSERT_TRUE(newer.image().save(copy, "PNG"));

    FileDragSource source;
    source.setGeometry(QRect(m_screen.center() - QPoint(150, 100), QSize(300, 200)));
    source.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&source));
    const QPoint from = source.geometry().center();
    movePointerTo(from);
    // The compact tray at rest: where a drop lands on it.
    NotchTrackingContainerView *panel = tray()->panel();
    const auto trayPlace = [&] {
        const QList<QRectF> rects = panel->interactiveRects();
        return rects.isEmpty()
                   ? QRect()
                   : rects.first().toAlignedRect().translated(panel->mapToGlobal(QPoint()));
    };
    QRect lastPlace;
    ASSERT_TRUE(waitUntil(
        [&] {
            const QRect place = std::exchange(lastPlace, trayPlace());
            return tray()->interactionState() == State::compact &&
                   !tray()->trayView()->isMorphing() && !place.isEmpty() && place == lastPlace;
        },
        waitLimitMs));
    const QPoint to = lastPlace.center();
    const auto overTray = [&] {
        if (auto *widget = qobject_cast<QWidget *>(source.target))
            return widget->window() == panel->window();
        return source.target && source.target == panel->window()->windowHandle();
    };
    const auto dropOnTray = [&](const QString &file) {
        source.file = file;
        source.target = nullptr;
        source.result.reset();
        const auto where = [&] {
            return "the pointer at " + shown(QCursor::pos()) + ", the tray at " +
                   shown(trayPlace().center()) + " (dropped at " + shown(to) + "), the drag " +
                   (source.dragging ? "running" : "not running") + ", " +
                   (overTray() ? "over the tray" : "not over the tray");
        };
        return takePointerSteps(
            {{"the pointer on the window", pointerTo(from), [&] { return source.underMouse(); }},
             {"the window pressed", {"mousedown", "1"}, [&] { return source.pressed; }},
             {"the drag started", pointerTo(from + QPoint(30, 0)), [&] { return source.dragging; }},
             {"the drag over the tray", pointerTo(to), overTray},
             {"the drop", {"mouseup", "1"}, [&] { return source.result.has_value(); }}},
            waitLimitMs, where);
    };

    // The user's own picture names no capture: refused, and nothing is staged or deleted.
    ASSERT_EQ(dropOnTray(picture), "");
    EXPECT_EQ(source.result, Qt::IgnoreAction);
    QCoreApplication::processEvents();
    EXPECT_EQ(queue().items().size(), 2);

    // The renamed copy: its capture leaves the tray, the other stays.
    ASSERT_EQ(dropOnTray(copy), "");
    EXPECT_EQ(source.result, Qt::CopyAction);
    EXPECT_TRUE(waitUntil([&] { return !queueHolds(newer.id()); }, waitLimitMs));
    EXPECT_TRUE(queueHolds(older.id()));
    EXPECT_EQ(queue().items().size(), 1);
}

} // namespace

#include "ProgramActionsDesktopTest.moc"
