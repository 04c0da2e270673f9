// The program as its composition root builds it, on the harness's desktop: every button and key
// of the expanded tray, and every action of the pin deck's cards, used on hot-key captures of a
// window of text, each checked by what a user meets: the clipboard another program pastes, the
// file written, the window shown, the capture gone.

#include "PinDeckDesktopSupport.h"
#include "ProgramDesktopTest.h"
#include "tray/CaptureTrayItemView.h"

#include <QCursor>
#include <QDesktopServices>
#include <QDrag>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QMimeData>
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

std::string shown(QPoint point)
{
    return std::to_string(point.x()) + "," + std::to_string(point.y());
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
    const QPoint from = lastPlace.center();
    const QPoint to = target.geometry().center();
    const auto dragRuns = [&] { return thumbnail->findChild<QDrag *>() != nullptr; };
    const auto where = [&] {
        return "the pointer at " + shown(QCursor::pos()) + ", the thumbnail at " +
               shown(placed().center()) + " (pressed at " + shown(from) + "), the drag " +
               (dragRuns() ? "running" : "not running") + ", the window entered at " +
               (target.enteredAt ? shown(target.mapToGlobal(*target.enteredAt)) : "no point");
    };
    const std::string failure = takePointerSteps(
        {{"the pointer on the thumbnail", pointerTo(from),
          [&] { return thumbnail->isPointerOver(); }},
         {"the thumbnail pressed", {"mousedown", "1"}, [&] { return thumbnail->isDown(); }},
         {"the drag started", pointerTo(from + (to - from) / 4), dragRuns},
         {"the drag over the window", pointerTo(to), [&] { return target.enteredAt.has_value(); }},
         {"the drop", {"mouseup", "1"}, [&] { return !target.dropped.isEmpty(); }}},
        waitLimitMs, where);
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
    captureWithTheHotKey(2);
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

    // Remove: the card and its capture go; the other stays.
    hoverCard(second);
    clickAt(onDeckCapsule(stack, 0, DeckCapsuleButton::remove));
    EXPECT_TRUE(waitUntil([&] { return deck()->items().size() == 1; }));
    EXPECT_FALSE(queueHolds(second.id()));
    EXPECT_TRUE(queueHolds(first.id()));
    EXPECT_EQ(deck()->items().first()->id(), first.id());

    // A card whose file now holds anything but its picture: its copy says why on the card and
    // leaves the clipboard alone.
    ASSERT_TRUE(spoilFile(first.storedImage().pngPath));
    hoverCard(first);
    clearClipboard();
    clickAt(onDeckCapsule(stack, 0, DeckCapsuleButton::copy));
    EXPECT_TRUE(waitUntil([&] {
        return deck()->view()->noticeAbout(first.id()) ==
               "Couldn't copy (its picture can no longer be read)";
    }));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
}

} // namespace

#include "ProgramActionsDesktopTest.moc"
