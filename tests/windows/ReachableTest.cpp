#include "WindowsFixture.h"

#include "support/AnimationClock.h"
#include "support/TextContrast.h"

#include "windows/DashboardPage.h"
#include "windows/MainWindow.h"
#include "windows/PinSettingsPage.h"
#include "windows/SettingsWindow.h"
#include "windows/ShortcutRecorder.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QWheelEvent>

namespace {

class ReachableTest : public WindowsFixture {
protected:
    // One notch of the wheel, downwards, over the middle of the widget.
    static void wheelDown(QWidget *widget)
    {
        const QPointF local = QRectF(widget->rect()).center();
        QWheelEvent event(local, widget->mapToGlobal(local), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(widget, &event);
    }

    static QScrollBar *pageScrollBar(QWidget *control)
    {
        for (QWidget *parent = control->parentWidget(); parent; parent = parent->parentWidget()) {
            if (auto *area = qobject_cast<QScrollArea *>(parent))
                return area->verticalScrollBar();
        }
        return nullptr;
    }

    // Tabs through the window from its first control and returns every widget that took the
    // focus, in order, until the focus comes back round.
    static QList<QWidget *> tabChain(QWidget *window)
    {
        QList<QWidget *> chain;
        window->activateWindow();
        window->setFocus();
        for (int i = 0; i < 400; ++i) {
            QWidget *current = QApplication::focusWidget();
            QTest::keyClick(current ? current : window, Qt::Key_Tab);
            QWidget *next = QApplication::focusWidget();
            if (!next || chain.contains(next))
                break;
            chain << next;
        }
        return chain;
    }
};

TEST_F(ReachableTest, TheWheelScrollsThePageUntilTheControlIsClicked)
{
    makeStore();
    MainWindow window(services());
    window.resize(MainWindow::defaultWidth, 560);
    window.show();
    window.selectTab(SidebarTab::pins);
    auto *slider = named<StepSlider>(window.page(SidebarTab::pins), "Width");
    window.selectTab(SidebarTab::appearance);
    auto *picker = named<QComboBox>(window.page(SidebarTab::appearance), "Tray Position");
    window.selectTab(SidebarTab::staging);
    auto *stepper = named<QSpinBox>(window.page(SidebarTab::staging), "Max Queue Items");
    ASSERT_TRUE(slider && picker && stepper);
    const auto check = [&](QWidget *control, SidebarTab tab, auto value) {
        const QByteArray before = fileBytes();
        window.selectTab(tab);
        QApplication::processEvents();
        const auto shown = value();
        QScrollBar *scroll = pageScrollBar(control);
        ASSERT_NE(scroll, nullptr);
        scroll->setValue(0);
        wheelDown(control);
        EXPECT_EQ(value(), shown) << control->accessibleName().toStdString();
        if (scroll->maximum() > 0) {
            EXPECT_GT(scroll->value(), 0)
                << "the page scrolled under " << control->accessibleName().toStdString();
        }
        EXPECT_EQ(fileBytes(), before) << control->accessibleName().toStdString();

        // Clicked, the control takes the wheel.
        control->setFocus(Qt::MouseFocusReason);
        wheelDown(control);
        EXPECT_NE(value(), shown) << control->accessibleName().toStdString();
        control->clearFocus();
    };
    check(slider, SidebarTab::pins, [slider] { return slider->value(); });
    check(picker, SidebarTab::appearance, [picker] { return picker->currentIndex(); });
    check(stepper, SidebarTab::staging, [stepper] { return stepper->value(); });
}

TEST_F(ReachableTest, TabReachesEveryControlOfBothWindowsAndTheFocusShows)
{
    makeStore();
    signedIn = true;
    MainWindow window(services());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const QList<QWidget *> chain = tabChain(&window);
    for (const SidebarTab tab : Sidebar::tabs())
        EXPECT_TRUE(chain.contains(window.row(tab))) << Sidebar::title(tab).toStdString();
    QWidget *dashboard = window.page(SidebarTab::dashboard);
    for (QWidget *control : dashboard->findChildren<QWidget *>()) {
        const bool isControl =
            qobject_cast<QAbstractButton *>(control) || qobject_cast<QComboBox *>(control);
        if (isControl && control->isVisibleTo(dashboard) && control->isEnabled()) {
            EXPECT_TRUE(chain.contains(control)) << control->accessibleName().toStdString();
        }
    }
    EXPECT_FALSE(chain.contains(window.page(SidebarTab::dashboard)))
        << "the page's scroll area is no stop of its own";

    // A focused control looks different from the same control without the focus.
    auto *toggle = named<SwitchButton>(dashboard, "Play sound");
    auto *picker = named<QComboBox>(dashboard, "Image format");
    for (QWidget *control : {static_cast<QWidget *>(toggle), static_cast<QWidget *>(picker)}) {
        ASSERT_NE(control, nullptr);
        control->clearFocus();
        const QImage plain = control->grab().toImage();
        control->setFocus(Qt::TabFocusReason);
        const QImage focused = control->grab().toImage();
        EXPECT_NE(plain, focused) << control->accessibleName().toStdString();
    }

    SettingsWindow settings(services());
    settings.present();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&settings));
    const QList<QWidget *> settingsChain = tabChain(&settings);
    QWidget *workflow = settings.tabs()->widget(0);
    for (const char *name : {"Active Preset", "Auto-pin every capture to desktop",
                             "Max Queue Items", "Auto-Dismiss Tray"}) {
        QWidget *control = named<QWidget>(workflow, QString::fromUtf8(name));
        EXPECT_TRUE(control && settingsChain.contains(control)) << name;
    }
}

TEST_F(ReachableTest, AtTheLeastSizeEveryDashboardCardCanBeReached)
{
    makeStore();
    signedIn = true;
    MainWindow window(services());
    window.resize(window.minimumSize());
    window.show();
    QApplication::processEvents();
    auto *scroll = qobject_cast<QScrollArea *>(window.page(SidebarTab::dashboard));
    ASSERT_NE(scroll, nullptr);
    QList<QWidget *> targets;
    for (CaptureCardButton *card : scroll->findChildren<CaptureCardButton *>())
        targets << card;
    ASSERT_EQ(targets.size(), 4);
    targets << named<SwitchButton>(scroll, "Check for updates");
    // The page is laid out for the width: nothing needs scrolling across.
    QScrollBar *across = scroll->horizontalScrollBar();
    EXPECT_FALSE(across->isVisibleTo(&window) && across->maximum() > 0);
    for (QWidget *target : targets) {
        ASSERT_NE(target, nullptr);
        const int right = target->mapTo(scroll->widget(), QPoint(target->width(), 0)).x();
        EXPECT_LE(right, scroll->viewport()->width())
            << target->accessibleName().toStdString() << " is cut off";
    }

    // At the default size the four cards stand in one row again.
    window.resize(MainWindow::defaultWidth, MainWindow::defaultHeight);
    QApplication::processEvents();
    for (QWidget *card : targets.mid(0, 4))
        EXPECT_EQ(card->y(), targets.first()->y());
    EXPECT_FALSE(across->isVisibleTo(&window) && across->maximum() > 0);
}

TEST_F(ReachableTest, PickerTextsAreWholeAndReadable)
{
    makeStore();
    store().setDefaultSaveLocationName(QStringLiteral("My Folder"));
    signedIn = true;
    MainWindow window(services());
    window.show();
    QApplication::processEvents();
    auto *folder = named<PickerFace>(window.page(SidebarTab::dashboard), "Default Save Location");
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->shownText(), "My Folder");

    // The stepper's arrows are drawn: its trailing end holds more than a flat fill.
    AnimationClock animations;
    window.selectTab(SidebarTab::staging);
    animations.advanceBy(250); // past the page's fade-in
    auto *stepper = named<QSpinBox>(window.page(SidebarTab::staging), "Max Queue Items");
    ASSERT_NE(stepper, nullptr);
    const QRect arrows(stepper->width() - 16, 2, 14, stepper->height() - 4);
    EXPECT_GT(contrastOfText(stepper, arrows), 3.0);

    // The custom-key panel: dark like its window, each modifier's label drawn whole.
    ShortcutRecorderButton recorder(QStringLiteral("area"), SettingDefaults::customArea(), nullptr,
                                    {}, {});
    recorder.show();
    QTest::mouseClick(recorder.findChild<QAbstractButton *>("customizeButton"), Qt::LeftButton);
    auto *panel = recorder.findChild<QFrame *>("customPicker");
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(panel->isVisible());
    const QList<QCheckBox *> boxes = panel->findChildren<QCheckBox *>();
    ASSERT_EQ(boxes.size(), 4);
    for (QCheckBox *box : boxes) {
        EXPECT_GE(box->width(), box->sizeHint().width()) << box->text().toStdString();
        // The label, right of the tick box.
        const QRect label(box->width() / 2, 0, box->width() / 2, box->height());
        EXPECT_GT(contrastOfText(box, label), 4.5) << box->text().toStdString();
    }
}

} // namespace
