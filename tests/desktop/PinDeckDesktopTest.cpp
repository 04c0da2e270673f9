// The pin deck on the harness's X server: pinned from the real tray, fanned and collapsed by
// real clicks, letting clicks through beside the pile, taking a removed pin's capture out of the
// queue, and closed by the close-all hot key.

#include "DesktopTrayFixture.h"
#include "PanelDesktopSupport.h"
#include "PinDeckDesktopSupport.h"
#include "app/DesktopPlatform.h"
#include "app/GlobalHotkeyManager.h"
#include "pins/PinCardDrawing.h"
#include "pins/PinManager.h"
#include "pins/PinStackContentView.h"
#include "pins/PinStackWindowController.h"
#include "platform/PanelWindows.h"
#include "platform/PointerMonitor.h"
#include "platform/x11/X11GlobalHotkeys.h"
#include "platform/x11/X11Platform.h"
#include "support/ChildProcess.h"
#include "support/FakeUrlOpener.h"
#include "support/WaitUntil.h"
#include "tray/CaptureTrayView.h"
#include "tray/NotchTrackingContainerView.h"
#include "tray/NotchWindowController.h"
#include "tray/TrayActionButton.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>
#include <optional>

namespace {

class PinDeckDesktopTest : public DesktopTrayFixture {
protected:
    void SetUp() override
    {
        DesktopTrayFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_screen = m_desktop.displays->displays().first().rootRect;
        QCursor::setPos(m_screen.center());
        m_settings.setPinPlacement(PinPlacement::bottomLeft);
        m_settings.setPinSize(200);
        m_settings.setPinPadding(30);
        PinDeckServices services;
        services.displays = m_desktop.displays;
        services.panels = desktop::makePanelWindows();
        services.compositor = m_desktop.compositor;
        services.makePointerMonitor = [] { return desktop::makePointerMonitor(); };
        services.actions.urlOpener = m_opener;
        services.notifications = &m_pins;
        m_manager = std::make_unique<PinManager>(m_settings, services);
        coordinator();
    }
    // Everything this test showed is gone, and the pointer parked, before the next test.
    void TearDown() override
    {
        m_trayController.reset();
        m_manager.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCursor::setPos(m_screen.bottomRight());
        // The server answers in order: once it reports the pointer parked, the windows are gone.
        waitUntil([&] { return QCursor::pos() == m_screen.bottomRight(); });
    }

    PinStackWindowController &deck() { return *m_manager->stackController(); }
    StackedMediaStack &stack() { return deck().view()->stack(); }

    // Where a point of the card at index lies on the screen, once the cards have settled.
    QPoint onCard(int index, std::optional<QPointF> inCard = std::nullopt)
    {
        return onDeckCard(stack(), index, inCard);
    }

    // The cards as drawn now, in screen coordinates.
    QPainterPath cardsOnScreen()
    {
        QPainterPath cards;
        // Where cards overlap the point is on a card too.
        cards.setFillRule(Qt::WindingFill);
        const QRectF card(QPointF(), stack().config().itemSize);
        for (int index = 0; index < stack().visibleCount(); ++index) {
            QPainterPath shape;
            shape.addRoundedRect(card, 8, 8);
            cards.addPath(
                stack().cardTransform(index).map(shape).translated(stack().mapToGlobal(QPoint())));
        }
        return cards;
    }

    // A window of the colour under the whole screen, once it shows, and large cards in the
    // bottom right corner.
    std::unique_ptr<ProbeWindow> largeCardsOver(QColor colour)
    {
        auto backdrop = std::make_unique<ProbeWindow>(colour);
        backdrop->setGeometry(m_screen);
        backdrop->show();
        if (!QTest::qWaitForWindowExposed(backdrop.get()))
            return nullptr;
        m_settings.setPinSize(400);
        m_settings.setPinPlacement(PinPlacement::bottomRight);
        return backdrop;
    }

    void pinSome(int count)
    {
        for (int i = 0; i < count; ++i) {
            const CaptureItem item = makeItem();
            m_queue.enqueue(item);
            QCoro::waitFor(m_manager->pin(item));
        }
        ASSERT_TRUE(QTest::qWaitForWindowExposed(deck().window()));
        waitUntil([this] { return !stack().isAnimating(); });
    }

    void pinFromTheTray(const CaptureItem &item)
    {
        m_queue.enqueue(item);
        TrayNeighbours neighbours;
        neighbours.pinning = m_manager.get();
        makeTray({}, neighbours);
        m_trayController->show(std::nullopt, TrayInteractionState::expanded);
        QWindow *window = m_trayController->panel()->windowHandle();
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        auto *pin = m_trayController->trayView()->findChild<TrayActionButton *>("trayButton.pin");
        ASSERT_NE(pin, nullptr);
        ASSERT_TRUE(pin->isVisible());
        const QPoint centre = pin->mapTo(m_trayController->panel(), pin->rect().center());
        QCursor::setPos(window->mapToGlobal(centre));
        ASSERT_TRUE(waitUntil([&] { return QCursor::pos() == window->mapToGlobal(centre); }));
        QTest::mouseClick(window, Qt::LeftButton, {}, centre);
        m_trayController->hide(true);
    }

    QRect m_screen;
    std::shared_ptr<FakeUrlOpener> m_opener = std::make_shared<FakeUrlOpener>();
    std::unique_ptr<PinManager> m_manager;
};

TEST_F(PinDeckDesktopTest, TheTrayPinsIntoTheCornerAndClicksFanCollapseAndPassBeside)
{
    const CaptureItem item = makeItem();
    pinFromTheTray(item);
    ASSERT_TRUE(waitUntil([this] { return m_manager->stackController() != nullptr; }));
    ASSERT_EQ(deck().items().size(), 1);
    EXPECT_EQ(deck().items().first()->id(), item.id());
    QWidget *panel = deck().window();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
    // Bottom left, 30 points in: 200 + 200 × 0.72 × 11 + 80 wide.
    EXPECT_EQ(panel->geometry().left(), m_screen.left() + 30);
    EXPECT_EQ(panel->geometry().bottom(), m_screen.bottom() - 30);
    EXPECT_EQ(panel->geometry().width(), std::min(1864, m_screen.width() - 30));

    // A window of another kind below the panel, beside the pile.
    ProbeWindow below(Qt::darkGreen);
    below.setGeometry(
        QRect(QPoint(m_screen.center().x(), panel->geometry().top() + 40), QSize(300, 120)));
    below.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&below));
    panel->raise();
    // Only a deck above the window shows that the click passes through it.
    ASSERT_TRUE(waitUntil([&] { return StackingReader().isAbove(*panel, below); }));
    const QPoint beside = below.geometry().center();
    ASSERT_TRUE(panel->geometry().contains(beside));
    clickAt(beside);
    EXPECT_TRUE(waitUntil([&] { return below.presses == 1; }));

    clickAt(onCard(0));
    EXPECT_TRUE(waitUntil([&] { return stack().isExpanded(); }));
    // The desktop itself, away from every window: outside the program.
    clickAt(QPoint(m_screen.right() - 40, m_screen.top() + 300));
    EXPECT_TRUE(waitUntil([&] { return !stack().isExpanded(); }));
    EXPECT_EQ(m_queue.items().size(), 1) << "collapsing removes nothing";
}

TEST_F(PinDeckDesktopTest, RemoveTakesTheCaptureAndCloseAllKeepsTheRest)
{
    const CaptureItem first = makeItem();
    const CaptureItem second = makeItem();
    m_queue.enqueue(first);
    m_queue.enqueue(second);
    QCoro::waitFor(m_manager->pin(first));
    QCoro::waitFor(m_manager->pin(second)); // deck: second, first
    ASSERT_TRUE(QTest::qWaitForWindowExposed(deck().window()));
    clickAt(onCard(1));
    ASSERT_TRUE(waitUntil([&] { return stack().isExpanded(); }));

    xdotool({"mousemove", QString::number(onCard(0).x()), QString::number(onCard(0).y())});
    ASSERT_TRUE(waitUntil([&] { return stack().activeHoverID() == second.id(); }));
    clickAt(onDeckCapsule(stack(), 0, DeckCapsuleButton::remove));
    EXPECT_TRUE(waitUntil([&] { return m_queue.items().size() == 1; }));
    EXPECT_EQ(m_queue.items().first().id(), first.id());
    ASSERT_EQ(deck().items().size(), 1);

    auto hotkeys = std::make_shared<platform::X11GlobalHotkeys>();
    GlobalHotkeyManager keys(hotkeys);
    keys.registerHotkey(
        ShortcutDefinition(QStringLiteral("closeAllPins"), m_settings.pinCloseAllShortcut()),
        [this] { m_manager->closeAll(); });
    xdotool({"key", "ctrl+alt+p"});
    EXPECT_TRUE(waitUntil([&] { return deck().window() == nullptr; }));
    EXPECT_TRUE(deck().items().isEmpty());
    EXPECT_EQ(m_queue.items().size(), 1) << "closing all keeps the captures";
    keys.unregisterAll();
}

// Over a bright backdrop the deck shows its cards and nothing else: no black where the cards
// leave the panel see-through (their rounded corners, their shadows, the panel around them), and
// no compositor's shadow of the panel's rectangle around it or through it.
TEST_F(PinDeckDesktopTest, TheDeckShowsOnlyItsCardsWithAndWithoutACompositor)
{
    const QColor backdropColour(230, 200, 40);
    const std::unique_ptr<ProbeWindow> backdrop = largeCardsOver(backdropColour);
    ASSERT_TRUE(backdrop);
    // None, one that draws no shadows, one that draws a shadow under every window; each with
    // no configuration of the user's.
    const QList<QStringList> compositors = {
        {},
        {"xcompmgr"},
        shadowingCompositor(),
    };
    std::optional<ChildProcess> compositor;
    for (const QStringList &command : compositors) {
        const std::string name =
            command.isEmpty() ? "no compositor" : command.join(' ').toStdString();
        compositor.reset();
        ASSERT_TRUE(waitUntil([&] { return !m_desktop.compositor->isCompositing(); }, 5000));
        if (!command.isEmpty()) {
            if (QStandardPaths::findExecutable(command.first()).isEmpty())
                GTEST_SKIP() << command.first().toStdString() << " is not installed";
            ASSERT_TRUE(compositor.emplace().start(command.first(), command.mid(1)));
            ASSERT_TRUE(waitUntil([&] { return m_desktop.compositor->isCompositing(); }, 5000))
                << name;
            ASSERT_TRUE(waitUntilComposited()) << name;
        }
        m_manager->closeAll();
        pinSome(3);
        backdrop->lower();
        clickAt(onCard(1));
        ASSERT_TRUE(waitUntil([&] { return stack().isExpanded(); }));
        xdotool({"mousemove", QString::number(m_screen.left() + 5),
                 QString::number(m_screen.top() + 5)});
        // The hover ends a moment after the pointer left, and the cards settle back.
        ASSERT_TRUE(waitUntil([&] { return !stack().activeHoverID() && !stack().isAnimating(); }));
        QImage screen;
        const QRect panel(deck().window()->mapToGlobal(QPoint()), deck().window()->size());
        const auto dark = [&](QPoint point) { return screen.pixelColor(point).lightness() < 60; };
        const QPainterPath cards = cardsOnScreen();
        // The cut is rasterised to whole pixels: a pixel astride a turned edge belongs to the card.
        QPainterPathStroker edge;
        edge.setWidth(3);
        const QPainterPath edges = edge.createStroke(cards);
        // Beside each card, where its own soft shadow falls, no black; farther out, and in a
        // band around the panel, the backdrop unchanged. The cards' shadows reach 9 points out.
        QPainterPathStroker fringe;
        fringe.setWidth(2 * 12);
        const QPainterPath nearCards = fringe.createStroke(cards);
        int blackBesideCards = 0;
        int changedAwayFromCards = 0;
        int changedAround = 0;
        // Until the last frame reached the screen.
        waitUntil([&] {
            screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
            blackBesideCards = changedAwayFromCards = changedAround = 0;
            for (int y = panel.top(); y <= panel.bottom(); y += 2) {
                for (int x = panel.left(); x <= panel.right(); x += 2) {
                    const QPointF centre(x + 0.5, y + 0.5);
                    if (cards.contains(centre) || edges.contains(centre))
                        continue;
                    if (nearCards.contains(centre))
                        blackBesideCards += dark(QPoint(x, y));
                    else
                        changedAwayFromCards += !shows(screen, QPoint(x, y), backdropColour);
                }
            }
            changedAround = pointsChangedAround(screen, panel, backdropColour);
            return blackBesideCards + changedAwayFromCards + changedAround == 0 && !dark(onCard(0));
        });
        EXPECT_EQ(blackBesideCards, 0) << name;
        EXPECT_EQ(changedAwayFromCards, 0) << name;
        EXPECT_EQ(changedAround, 0) << name << ": the panel casts no shadow";
        EXPECT_FALSE(dark(onCard(0))) << name << ": the cards show";
    }
}

// The deck moves where its background is dragged (beside the cards, inside the pile), without
// fanning; its cards still answer there, and the next relayout puts it back in its corner. The
// background is there where a compositor blends it: without one the panel is cut to its cards.
TEST_F(PinDeckDesktopTest, DraggingTheBackgroundMovesTheDeckUntilTheNextRelayout)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xcompmgr")).isEmpty())
        GTEST_SKIP() << "xcompmgr is not installed";
    ChildProcess compositor;
    ASSERT_TRUE(compositor.start(QStringLiteral("xcompmgr"), {}));
    ASSERT_TRUE(waitUntil([&] { return m_desktop.compositor->isCompositing(); }, 5000));
    ASSERT_TRUE(waitUntilComposited());
    pinSome(3);
    QWidget *panel = deck().window();
    const QRect corner = panel->geometry();
    const QRectF pile = stack().pileRect();
    std::optional<QPoint> background;
    for (const QPointF &point :
         {pile.topLeft() + QPointF(2, 2), pile.topRight() + QPointF(-2, 2),
          pile.bottomLeft() + QPointF(2, -2), pile.bottomRight() + QPointF(-2, -2)}) {
        if (!background && stack().cardAt(point) < 0)
            background = stack().mapToGlobal(point.toPoint());
    }
    ASSERT_TRUE(background) << "a corner of the pile beside the cards";
    const QPoint by(160, -120);
    const auto number = [](int value) { return QString::number(value); };
    const EventWatch release(&stack(), QEvent::MouseButtonRelease);
    xdotool({"mousemove", number(background->x()), number(background->y()), "mousedown", "1",
             "mousemove", number(background->x() + 20), number(background->y() - 15), "mousemove",
             number(background->x() + by.x()), number(background->y() + by.y()), "mouseup", "1"});
    EXPECT_TRUE(waitUntil([&] { return panel->geometry().topLeft() == corner.topLeft() + by; }))
        << "the deck is at " << panel->geometry().x() << ", " << panel->geometry().y();
    // A fan would come with the release or from what it posted.
    ASSERT_TRUE(waitUntil([&] { return release.seen; }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(stack().isExpanded()) << "a drag fans nothing";
    // The cards are where the deck went: a click on one fans the pile.
    clickAt(onCard(0));
    EXPECT_TRUE(waitUntil([&] { return stack().isExpanded(); }));
    clickAt(QPoint(m_screen.right() - 40, m_screen.top() + 40));
    EXPECT_TRUE(waitUntil([&] { return !stack().isExpanded(); }));

    m_settings.setPinPadding(40);
    EXPECT_TRUE(waitUntil([&] {
        return panel->geometry().left() == m_screen.left() + 40 &&
               panel->geometry().bottom() == m_screen.bottom() - 40;
    })) << "back in the corner, at the new padding";
}

// A compositor that ends while pins show leaves the deck cut to its cards at once: the desktop
// shows around them rather than a black panel. One that starts again makes it see-through again.
TEST_F(PinDeckDesktopTest, TheDeckFollowsACompositorThatEndsAndStarts)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xcompmgr")).isEmpty())
        GTEST_SKIP() << "xcompmgr is not installed";
    const QColor backdropColour(230, 200, 40);
    const std::unique_ptr<ProbeWindow> backdrop = largeCardsOver(backdropColour);
    ASSERT_TRUE(backdrop);
    std::optional<ChildProcess> compositor;
    ASSERT_TRUE(compositor.emplace().start(QStringLiteral("xcompmgr"), {}));
    ASSERT_TRUE(waitUntil([&] { return m_desktop.compositor->isCompositing(); }, 5000));
    ASSERT_TRUE(waitUntilComposited());
    pinSome(3);
    backdrop->lower();
    const QRect panel(deck().window()->mapToGlobal(QPoint()), deck().window()->size());
    // Points of the panel away from the cards and their shadows that do not show the backdrop.
    int changed = 0;
    const auto onlyCardsShow = [&] {
        const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        QPainterPathStroker fringe;
        fringe.setWidth(2 * 12);
        const QPainterPath cards = cardsOnScreen();
        const QPainterPath nearCards = fringe.createStroke(cards);
        changed = 0;
        for (int y = panel.top(); y <= panel.bottom(); y += 4) {
            for (int x = panel.left(); x <= panel.right(); x += 4) {
                const QPointF centre(x + 0.5, y + 0.5);
                if (!cards.contains(centre) && !nearCards.contains(centre))
                    changed += !shows(screen, QPoint(x, y), backdropColour);
            }
        }
        return changed == 0 && !shows(screen, onCard(0), backdropColour);
    };
    ASSERT_TRUE(waitUntil(onlyCardsShow)) << changed << " points beside the cards, composited";

    compositor.reset();
    ASSERT_TRUE(waitUntil([&] { return !m_desktop.compositor->isCompositing(); }, 5000));
    EXPECT_TRUE(waitUntil(onlyCardsShow)) << changed << " points beside the cards show black";
    EXPECT_FALSE(deck().window()->mask().isEmpty()) << "cut to the cards";

    ASSERT_TRUE(compositor.emplace().start(QStringLiteral("xcompmgr"), {}));
    ASSERT_TRUE(waitUntil([&] { return m_desktop.compositor->isCompositing(); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return deck().window()->mask().isEmpty(); }))
        << "see-through again, its cards casting their shadows";
    EXPECT_TRUE(waitUntil(onlyCardsShow)) << changed << " points beside the cards, composited";
}

} // namespace
