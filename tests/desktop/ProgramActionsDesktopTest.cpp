// The program as its composition root builds it, on the harness's desktop: every button and key
// of the expanded tray, and every action of the pin deck's cards, used on hot-key captures of a
// window of text, each checked by what a user meets: the clipboard another program pastes, the
// file written, the window shown, the capture gone.

#include "PinDeckDesktopSupport.h"
#include "ProgramDesktopTest.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QProcess>
#include <QScopeGuard>

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

    DropTarget() { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override
    {
        if (event->mimeData()->hasUrls())
            event->acceptProposedAction();
    }
    void dropEvent(QDropEvent *event) override
    {
        dropped = event->mimeData()->urls();
        event->acceptProposedAction();
    }
};

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

    // Drag: the thumbnail dropped on another window hands it the capture's file. The pointer
    // moves in steps while the drag runs its own loop.
    DropTarget target;
    target.setGeometry(QRect(m_screen.center() - QPoint(150, 0), QSize(300, 200)));
    target.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&target));
    item = selected();
    auto *thumbnail = tray()->trayView()->findChild<QAbstractButton *>("largeThumbnail");
    ASSERT_NE(thumbnail, nullptr);
    const QPoint from = thumbnail->mapToGlobal(thumbnail->rect().center());
    const QPoint to = target.geometry().center();
    QStringList drag{"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown",
                     "1"};
    for (int step = 1; step <= 8; ++step) {
        const QPoint at = from + (to - from) * step / 8;
        drag << "sleep"
             << "0.1"
             << "mousemove" << QString::number(at.x()) << QString::number(at.y());
    }
    drag << "sleep"
         << "0.3"
         << "mouseup"
         << "1";
    QProcess dragging;
    dragging.start(QStringLiteral("xdotool"), drag);
    ASSERT_TRUE(waitUntil([&] { return !target.dropped.isEmpty(); }, waitLimitMs));
    dragging.waitForFinished();
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
