// The tray's window controller as input reaches it through Qt: keys, scrolling and clicks in a
// window of ours, and drops onto the tray.

#include "tray/CaptureTrayView.h"
#include "tray/NotchTrackingContainerView.h"
#include "tray/TrayTestSupport.h"

#include "support/LogCapture.h"

#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace {

using State = TrayInteractionState;

const QPointF farAway(300, 300);

// A window of ours with the keyboard: records the keys that reach it.
class KeyWindow : public QWidget {
public:
    KeyWindow()
    {
        auto *layout = new QVBoxLayout(this);
        field = new QLineEdit(this);
        layout->addWidget(field);
        resize(200, 80);
    }
    QLineEdit *field;
    // The keys that reached the window, modifier keys left out.
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() < Qt::Key_Shift || event->key() > Qt::Key_ScrollLock)
            keys << event->key();
    }
};

} // namespace

// Keys, scrolling and clicks travel through Qt as they would on the desktop: to a window of
// ours, where the application-wide monitors see them first.
class TrayInputTest : public TrayControllerTest {
protected:
    void SetUp() override
    {
        TrayControllerTest::SetUp();
        build();
        first = stage();
        second = stage();
        third = stage(); // newest: first in the queue
        controller->show(std::nullopt, State::expanded);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        window.setFocus();
    }

    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(window.windowHandle(), Qt::Key(key), modifiers);
    }
    void wheel(QPoint pixels, QPoint angle)
    {
        QWheelEvent event(QPointF(10, 10), QPointF(10, 10), pixels, angle, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(window.windowHandle(), &event);
    }
    std::optional<QUuid> selected() const { return queue.selectedItem()->id(); }

    KeyWindow window;
    CaptureItem first = makeTrayItem({});
    CaptureItem second = makeTrayItem({});
    CaptureItem third = makeTrayItem({});
};

TEST_F(TrayInputTest, LettersActWhateverModifierIsHeld)
{
    key(Qt::Key_S, Qt::ControlModifier);
    key(Qt::Key_S, Qt::ShiftModifier);
    key(Qt::Key_S);
    key(Qt::Key_Return);
    key(Qt::Key_C, Qt::AltModifier);
    EXPECT_EQ(calls, QStringList({"save " + third.fileName(), "save " + third.fileName(),
                                  "save " + third.fileName(), "save " + third.fileName(),
                                  "copy " + third.fileName()}));
    EXPECT_TRUE(window.keys.isEmpty()) << "used keys reach nothing else";

    // Unset optional actions: the key is used without an effect; unknown keys pass on.
    key(Qt::Key_Space);
    key(Qt::Key_T);
    key(Qt::Key_A);
    key(Qt::Key_X);
    EXPECT_EQ(window.keys, QList<int>{Qt::Key_X});
    QList<QString> looked;
    controller->onQuickLook = [&](const CaptureItem &item) { looked << item.fileName(); };
    key(Qt::Key_Space);
    EXPECT_EQ(looked, QList<QString>{third.fileName()});

    key(Qt::Key_Backspace);
    EXPECT_EQ(calls.last(), "delete " + third.fileName());
    EXPECT_EQ(queue.items().size(), 2);
}

TEST_F(TrayInputTest, ArrowsStopAtTheEnds)
{
    key(Qt::Key_Left);
    EXPECT_EQ(selected(), third.id()) << "left on the first does nothing";
    key(Qt::Key_Right);
    key(Qt::Key_Right);
    EXPECT_EQ(selected(), first.id());
    key(Qt::Key_Right);
    EXPECT_EQ(selected(), first.id()) << "right on the last does nothing";
    key(Qt::Key_Left);
    EXPECT_EQ(selected(), second.id());
    EXPECT_TRUE(window.keys.isEmpty());
}

TEST_F(TrayInputTest, CollapsedTrayOnlyUsesEscape)
{
    key(Qt::Key_Escape);
    EXPECT_EQ(controller->interactionState(), State::compact);
    key(Qt::Key_S);
    EXPECT_TRUE(calls.isEmpty());
    EXPECT_EQ(window.keys, QList<int>{Qt::Key_S}) << "in compact the key goes to the application";
    key(Qt::Key_Escape);
    EXPECT_TRUE(controller->isVisible()) << "Escape with staged captures is used but does nothing";
    EXPECT_EQ(window.keys, QList<int>{Qt::Key_S});

    queue.clearAll();
    key(Qt::Key_Escape);
    EXPECT_FALSE(controller->isVisible());
    key(Qt::Key_Escape);
    EXPECT_EQ(window.keys, (QList<int>{Qt::Key_S, Qt::Key_Escape}))
        << "a hidden tray passes every key on";
}

TEST_F(TrayInputTest, KeysTypedIntoOurTextFieldStayThere)
{
    window.field->setText("abc");
    window.field->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), window.field);
    key(Qt::Key_Backspace);
    key(Qt::Key_Delete);
    key(Qt::Key_S);
    EXPECT_TRUE(calls.isEmpty());
    EXPECT_EQ(queue.items().size(), 3);
    EXPECT_EQ(window.field->text(), "abs");
}

TEST_F(TrayInputTest, HorizontalScrollPagesBeyondEighteenPointsOrByWheelNotch)
{
    queue.setSelectedItemID(second.id());
    wheel(QPoint(18, 0), QPoint());
    wheel(QPoint(-18, 0), QPoint());
    EXPECT_EQ(selected(), second.id());
    wheel(QPoint(19, 0), QPoint());
    EXPECT_EQ(selected(), third.id());
    wheel(QPoint(-19, 0), QPoint());
    wheel(QPoint(-19, 0), QPoint());
    EXPECT_EQ(selected(), first.id());
    // A mouse wheel reports no pixels: each notch pages one capture.
    wheel(QPoint(), QPoint(120, 0));
    EXPECT_EQ(selected(), second.id());
    wheel(QPoint(), QPoint(-120, 0));
    EXPECT_EQ(selected(), first.id());
    // A high-resolution wheel's eighths of a notch add up to one.
    for (int i = 0; i < 7; ++i)
        wheel(QPoint(), QPoint(15, 0));
    EXPECT_EQ(selected(), first.id());
    wheel(QPoint(), QPoint(15, 0));
    EXPECT_EQ(selected(), second.id());
    wheel(QPoint(), QPoint(240, 0));
    EXPECT_EQ(selected(), third.id()) << "two notches at once, stopping at the start";
    // A touchpad's small moves add up: five of 4 points pass the 18-point step once.
    for (int i = 0; i < 4; ++i)
        wheel(QPoint(-4, 0), QPoint());
    EXPECT_EQ(selected(), third.id());
    wheel(QPoint(-4, 0), QPoint());
    EXPECT_EQ(selected(), second.id());
    for (int i = 0; i < 4; ++i)
        wheel(QPoint(-4, 0), QPoint());
    EXPECT_EQ(selected(), second.id()) << "each page starts a new count";

    controller->setInteractionState(State::compact);
    wheel(QPoint(-40, 0), QPoint());
    wheel(QPoint(), QPoint(-120, 0));
    EXPECT_EQ(selected(), second.id()) << "only the expanded tray pages";
}

TEST_F(TrayInputTest, ClicksOnTheTrayInItsMarginAndOutside)
{
    controller->setInteractionState(State::compact);
    QWindow *panelWindow = panel().windowHandle();
    ASSERT_NE(panelWindow, nullptr);

    // The transparent margin: neither a tray click nor an outside click.
    const QPoint margin(5, panel().height() - 3);
    displays.setPointer(onScreen(margin));
    QTest::mouseClick(panelWindow, Qt::LeftButton, {}, margin);
    EXPECT_EQ(controller->interactionState(), State::compact);
    EXPECT_FALSE(controller->isPinned());

    // On the tray: pinned open.
    const QPoint onTray(panel().width() / 2, 10);
    displays.setPointer(onScreen(onTray));
    QTest::mouseClick(panelWindow, Qt::LeftButton, {}, onTray);
    EXPECT_TRUE(controller->isPinned());
    EXPECT_EQ(controller->interactionState(), State::expanded);

    // In another window of ours, away from the panel: an outside click.
    displays.setPointer(farAway);
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(controller->isPinned());
    EXPECT_EQ(controller->interactionState(), State::compact);

    // Over another program's window (the desktop-wide monitor).
    controller->trayClicked();
    pointer->emitPress(farAway.toPoint(), Qt::RightButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(controller->interactionState(), State::compact);
}

TEST_F(TrayInputTest, StopAndCancelClicksAreNotTrayClicks)
{
    int stopRequests = 0;
    int stops = 0;
    int cancels = 0;
    controller.reset();
    neighbours.requestRecordingStop = [&] { ++stopRequests; };
    neighbours.stopRecording = [&] { ++stops; };
    neighbours.cancelRecording = [&] { ++cancels; };
    build();
    recorder.setRecording(true);
    controller->show(std::nullopt, State::expanded);
    QCoreApplication::processEvents();

    // Find the recording's own controls in the expanded tray.
    CaptureTrayView *view = controller->trayView();
    std::optional<QPoint> owned;
    for (int y = 0; y < view->height() && !owned; y += 2) {
        for (int x = 0; x < view->width() && !owned; x += 2) {
            if (view->ownsClick(QPoint(x, y)) && panel().isInteractive(QPointF(x, y)))
                owned = QPoint(x, y);
        }
    }
    ASSERT_TRUE(owned) << "the recording tray shows its stop and cancel buttons";
    displays.setPointer(onScreen(*owned));
    QTest::mouseClick(panel().windowHandle(), Qt::LeftButton, {}, *owned);
    EXPECT_EQ(stops + cancels, 1);
    EXPECT_EQ(stopRequests, 0) << "no second stop through the tray click";

    // Elsewhere on the tray the click is the stop request.
    std::optional<QPoint> plainSpot;
    for (int x = 0; x < view->width() && !plainSpot; x += 2) {
        const QPoint spot(x, 4);
        if (!view->ownsClick(spot) && panel().isInteractive(spot))
            plainSpot = spot;
    }
    ASSERT_TRUE(plainSpot);
    QTest::mouseClick(panel().windowHandle(), Qt::LeftButton, {}, *plainSpot);
    EXPECT_EQ(stopRequests, 1);
}

// Drops onto the tray delete the capture they name, after the drop was answered.
class TrayDropTest : public TrayControllerTest {
protected:
    void SetUp() override
    {
        TrayControllerTest::SetUp();
        build();
        controller->show(std::nullopt, State::expanded);
    }
    bool drop(QMimeData &data) { return panel().performDrop(&data); }
    QStringList deletionsAfterTheLoop()
    {
        QCoreApplication::processEvents();
        return calls;
    }
};

TEST_F(TrayDropTest, DraggedOutFileOrOneNamedAfterACaptureDeletesIt)
{
    LogCapture log;
    const CaptureItem older = stage();
    const CaptureItem newer = stage();
    QMimeData dragged;
    dragged.setUrls({QUrl::fromLocalFile("/tmp/CorvantaCaptures/Drag_" + older.fileName()),
                     QUrl::fromLocalFile("/tmp/" + newer.fileName())});
    EXPECT_TRUE(drop(dragged));
    EXPECT_TRUE(calls.isEmpty()) << "the deletion waits for a later pass of the event loop";
    EXPECT_EQ(deletionsAfterTheLoop(), QStringList{"delete " + older.fileName()})
        << "only the first URL counts";
    EXPECT_TRUE(log.messages("queue").contains("Drag performed with types: [\"text/uri-list\"]"));
    EXPECT_TRUE(log.messages("queue").contains("Drag URL filename: Drag_" + older.fileName()));

    QMimeData exact;
    exact.setUrls({QUrl::fromLocalFile("/home/me/Desktop/" + newer.fileName())});
    EXPECT_TRUE(drop(exact));
    EXPECT_EQ(deletionsAfterTheLoop().last(), "delete " + newer.fileName());
    EXPECT_TRUE(queue.items().isEmpty());
}

TEST_F(TrayDropTest, TextNamingCapturesDeletesTheEarliestInTheQueue)
{
    const CaptureItem older = stage();
    const CaptureItem newer = stage();
    QMimeData text;
    text.setText("see " + older.fileName() + " and " + newer.fileName());
    EXPECT_TRUE(drop(text));
    EXPECT_EQ(deletionsAfterTheLoop(), QStringList{"delete " + newer.fileName()});

    // A URL naming nothing staged still lets its text decide.
    QMimeData both;
    both.setUrls({QUrl::fromLocalFile("/tmp/unrelated.png")});
    both.setText(older.fileName());
    EXPECT_TRUE(drop(both));
    EXPECT_EQ(deletionsAfterTheLoop().last(), "delete " + older.fileName());
}

TEST_F(TrayDropTest, UnrelatedDropsAndEmptyQueueAreRefused)
{
    QMimeData onEmpty;
    onEmpty.setText("anything");
    EXPECT_FALSE(drop(onEmpty));

    const CaptureItem item = stage();
    QMimeData unrelated;
    unrelated.setUrls({QUrl::fromLocalFile("/tmp/holiday.png")});
    EXPECT_FALSE(drop(unrelated));
    QMimeData otherCase;
    otherCase.setText(item.fileName().toUpper());
    EXPECT_FALSE(drop(otherCase)) << "names compare case-sensitively";
    QMimeData image;
    image.setData("image/png", QByteArray("\x89PNG"));
    EXPECT_FALSE(drop(image));
    EXPECT_TRUE(deletionsAfterTheLoop().isEmpty());
    EXPECT_EQ(queue.items().size(), 1);

    // A drop that arrives after the controller is gone.
    NotchTrackingContainerView *container = controller->panel();
    QMimeData named;
    named.setText(item.fileName());
    EXPECT_TRUE(container->performDrop(&named));
    controller.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(calls.isEmpty()) << "the pending deletion dies with the controller";
}
