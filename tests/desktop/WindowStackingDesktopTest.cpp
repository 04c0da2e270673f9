// The preview and the markup window against the pin deck, in the program as its composition root
// builds it: ordered front after the deck at the same level, they stay above it while they are
// open, so that a click on the preview's Close or on markup's Done & Save reaches them where a
// card of the deck lies below, also after a capture was pinned meanwhile.

#include "PanelDesktopSupport.h"
#include "app/AppEnvironment.h"
#include "app/DesktopPlatform.h"
#include "model/CaptureQueue.h"
#include "model/CaptureTestSupport.h"
#include "model/SettingsStore.h"
#include "model/UserDefaults.h"
#include "pins/PinManager.h"
#include "pins/PinStackContentView.h"
#include "pins/PinStackWindowController.h"
#include "preview/AnnotationWindowController.h"
#include "preview/QtPreviewWindow.h"
#include "preview/QuickLookPreviewController.h"
#include "support/TempDirScope.h"
#include "support/WaitUntil.h"
#include "support/X11DesktopTest.h"

#include <QAbstractButton>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

QAbstractButton *buttonNamed(QWidget *window, const QString &name)
{
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        if (button->accessibleName() == name && button->isVisible())
            return button;
    }
    return nullptr;
}

QPoint centreOf(const QWidget *widget)
{
    return widget->mapToGlobal(widget->rect().center());
}

class WindowStackingDesktop : public X11DesktopTest {
protected:
    void SetUp() override
    {
        X11DesktopTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        AppEnvironment::Options options = desktop::environmentOptions();
        options.notchTray = false;
        options.makeUserDefaults = [this] {
            return std::make_unique<UserDefaults>(m_settingsDir.path() + QStringLiteral("/c.conf"));
        };
        m_environment = std::make_unique<AppEnvironment>(options);
        // The deck in its default corner and size.
        m_environment->settingsStore().setAutoPinEnabled(true);
    }
    void TearDown() override
    {
        m_environment.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QTest::qWait(50);
    }

    PinStackWindowController *deck() const { return m_environment->pinManager().stackController(); }

    // Where the deck's top card is on the screen, once its cards have settled.
    QPoint topCard() const
    {
        StackedMediaStack &stack = deck()->view()->stack();
        waitUntil([&] { return !stack.isAnimating(); });
        const QSizeF size = stack.config().itemSize;
        return stack.mapToGlobal(
            stack.cardTransform(0).map(QPointF(size.width() / 2, size.height() / 2)).toPoint());
    }

    // Once the window shows, moves it until its control lies over the point, where the deck's
    // card lies below; the window is then above the deck.
    void bringOver(QWidget *window, const QString &control, QPoint card)
    {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window->windowHandle()));
        QAbstractButton *button = buttonNamed(window, control);
        const std::string name = control.toStdString();
        ASSERT_NE(button, nullptr) << name;
        window->move(window->pos() + card - centreOf(button));
        ASSERT_TRUE(waitUntil([&] { return centreOf(button) == card; })) << name << " over a card";
        EXPECT_TRUE(waitUntil([&] { return m_stacking.isAbove(*window, *deck()->window()); }))
            << "the window of " << name << " above the deck";
    }

    TempDirScope m_temp;
    QTemporaryDir m_settingsDir;
    std::unique_ptr<AppEnvironment> m_environment;
    StackingReader m_stacking;
};

TEST_F(WindowStackingDesktop, ThePreviewAndMarkupStayAboveTheDeckAndTakeTheirClicks)
{
    CaptureQueue &queue = m_environment->queue();
    const CaptureItem first = makeScreenshot(filledImage(1600, 1000, Qt::darkCyan));
    queue.enqueue(first);
    ASSERT_TRUE(waitUntil([&] {
        return deck() && deck()->window() && deck()->items().size() == 1;
    })) << "auto-pinned";
    QWidget *deckPanel = deck()->window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(deckPanel));
    const QPoint card = topCard();

    QuickLookPreviewController &preview = m_environment->previewController();
    preview.show(first, queue, {}, {}, {});
    QWidget *panel = static_cast<QtPreviewWindow *>(preview.window())->widget();
    bringOver(panel, QStringLiteral("Close"), card);
    if (HasFatalFailure())
        return;

    // A capture pinned while the preview is open does not bring the deck over it.
    queue.enqueue(makeScreenshot(filledImage(1600, 1000, Qt::darkRed)));
    ASSERT_TRUE(waitUntil([&] { return deck()->items().size() == 2; }));
    QTest::qWait(200);
    EXPECT_TRUE(m_stacking.isAbove(*panel, *deckPanel)) << "still above the deck";

    clickAt(card);
    EXPECT_TRUE(waitUntil([&] { return !preview.isVisible(); })) << "Close closed the preview";
    EXPECT_FALSE(deck()->view()->stack().isExpanded()) << "the click did not reach the deck";

    AnnotationWindowController &markup = m_environment->annotationWindow();
    int saves = 0;
    markup.show(first, [&](const QImage &) { ++saves; });
    const QPointer<QWidget> window = markup.window();
    ASSERT_NE(window, nullptr);
    bringOver(window, QStringLiteral("Done & Save"), card);
    if (HasFatalFailure())
        return;
    clickAt(card);
    EXPECT_TRUE(waitUntil([&] { return saves == 1 && !markup.window(); }))
        << "Done & Save saved and closed the markup window";
    EXPECT_FALSE(deck()->view()->stack().isExpanded()) << "the click did not reach the deck";

    // With both gone the deck is at the front of its level again: a card takes a click.
    ASSERT_TRUE(waitUntil([&] { return !window; }));
    clickAt(card);
    EXPECT_TRUE(waitUntil([&] { return deck()->view()->stack().isExpanded(); }));
}

} // namespace
