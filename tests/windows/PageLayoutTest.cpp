#include "WindowsFixture.h"

#include "support/AnimationClock.h"
#include "support/TextContrast.h"
#include "support/WaitUntil.h"
#include "windows/ControlInput.h"
#include "windows/HotkeysPage.h"
#include "windows/MainWindow.h"
#include "windows/ShortcutRecorder.h"
#include "windows/TrayPages.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <algorithm>

namespace {

class PageLayoutTest : public WindowsFixture {
protected:
    // The bounds of what is drawn in `area` of the widget, as its window shows it, in another
    // colour than the most common one there (its ground).
    static QRect inkOf(QWidget *widget, const QRect &area)
    {
        const QImage image = shownPixels(widget, area);
        QHash<QRgb, int> counts;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                ++counts[image.pixel(x, y)];
        }
        const QRgb ground = std::max_element(counts.cbegin(), counts.cend()).key();
        QRect ink;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (contrastRatio(image.pixel(x, y), ground) > 1.5)
                    ink |= QRect(x, y, 1, 1);
            }
        }
        return ink.translated(area.topLeft());
    }

    // What of `page` a user cannot see and cannot scroll to, one line per widget: a widget
    // reaching past the page's right or bottom edge, or past the scroll area's view while the
    // view cannot scroll there.
    static QStringList cutOff(QWidget *page)
    {
        auto *scroll = qobject_cast<QScrollArea *>(page);
        if (!scroll)
            scroll = page->findChild<QScrollArea *>();
        QWidget *content = scroll ? scroll->widget() : page;
        QStringList found;
        const auto name = [](QWidget *widget) {
            QString text = widget->accessibleName();
            if (auto *label = qobject_cast<QLabel *>(widget))
                text = label->text();
            if (auto *button = qobject_cast<QAbstractButton *>(widget); button && text.isEmpty())
                text = button->text();
            return QStringLiteral("%1 \"%2\"").arg(widget->metaObject()->className(), text);
        };
        if (scroll) {
            const int across = content->width() - scroll->viewport()->width();
            QScrollBar *bar = scroll->horizontalScrollBar();
            if (across > 0 && !(bar->isVisibleTo(page) && bar->maximum() >= across))
                found << QStringLiteral("the page is %1 px wider than its view and does not "
                                        "scroll across")
                             .arg(across);
        }
        for (QWidget *widget : content->findChildren<QWidget *>()) {
            if (!widget->isVisibleTo(content) || widget->width() <= 0 ||
                qobject_cast<QScrollBar *>(widget))
                continue;
            const QRect inContent(widget->mapTo(content, QPoint(0, 0)), widget->size());
            if (inContent.right() >= content->width() + 1)
                found << name(widget) + QStringLiteral(" reaches past the page's right edge");
            // A plain text cut in the middle, or a painted one with too few lines for it.
            auto *label = qobject_cast<QLabel *>(widget);
            if (label && !label->wordWrap() && !label->text().isEmpty() &&
                widget->width() < widget->sizeHint().width())
                found << name(widget) + QStringLiteral(" is %1 px narrower than its text")
                                            .arg(widget->sizeHint().width() - widget->width());
            if (auto *row = qobject_cast<SchemeRowButton *>(widget)) {
                // The label's ink inside the card's rounded outline, left of the check mark's 40
                // px: a label cut off runs into the edge of its room.
                const QRect room(12, 3, row->width() - 52, row->height() - 6);
                const QRect ink = inkOf(row, room);
                if (ink.right() >= room.right() - 1 || ink.top() <= room.top() ||
                    ink.bottom() >= room.bottom())
                    found << name(widget) + QStringLiteral(" is cut off");
            }
        }
        return found;
    }
};

// Whichever page was shown while the window shrank, every page at the least size shows all of
// itself or scrolls to it.
TEST_F(PageLayoutTest, EveryPageFitsOrScrollsAtTheLeastSizeWhicheverPageWasShown)
{
    makeStore();
    signedIn = true;
    for (const SidebarTab shrunkOn : Sidebar::tabs()) {
        MainWindow window(services());
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        // Each page once shown whole, as a user reaches it: faded in and laid out.
        AnimationClock animations;
        const auto reach = [&](SidebarTab tab) {
            window.selectTab(tab);
            animations.advanceBy(250);
            EXPECT_TRUE(waitUntil([&] { return !window.page(tab)->graphicsEffect(); }));
        };
        reach(shrunkOn);
        // As a window manager shrinks it: a step at a time.
        for (QSize size = window.size(); size != window.minimumSize();) {
            size = size.boundedTo(QSize(size.width() - 40, size.height() - 24))
                       .expandedTo(window.minimumSize());
            window.resize(size);
            QApplication::processEvents();
        }
        for (const SidebarTab tab : Sidebar::tabs()) {
            reach(tab);
            EXPECT_EQ(cutOff(window.page(tab)).join(QStringLiteral("; ")).toStdString(), "")
                << Sidebar::title(tab).toStdString() << " after shrinking on "
                << Sidebar::title(shrunkOn).toStdString();
        }
    }
}

// The keyboard's ring stands out from the control it is drawn on, along its whole length, for a
// switch on and off in every accent colour, a button and a picker.
TEST_F(PageLayoutTest, TheFocusRingStandsOutOfEveryControlInEveryState)
{
    makeStore();
    QWidget window;
    WindowStyle::applyDarkLook(&window, &window);
    auto *layout = new QHBoxLayout(&window);
    auto *toggle = new SwitchButton;
    auto *button = new QPushButton(QStringLiteral("Open"));
    auto *picker = new QComboBox;
    picker->addItem(QStringLiteral("PNG (Lossless)"));
    for (QWidget *control : {static_cast<QWidget *>(toggle), static_cast<QWidget *>(button),
                             static_cast<QWidget *>(picker)})
        layout->addWidget(control);
    ControlInput::install(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    // Over each stretch of the edges' middle thirds, the ring's most distinct pixel against what
    // the control shows there without the ring.
    const auto weakestStretch = [](QWidget *control) {
        control->clearFocus();
        const QImage plain = control->grab().toImage().convertToFormat(QImage::Format_RGB32);
        control->setFocus(Qt::TabFocusReason);
        const QImage ringed = control->grab().toImage().convertToFormat(QImage::Format_RGB32);
        control->clearFocus();
        const int w = plain.width();
        const int h = plain.height();
        const auto best = [&](QPoint from, QPoint step, int length) {
            double strongest = 1;
            for (int i = 0; i < length; ++i) {
                const QPoint p = from + step * i;
                strongest = std::max(strongest, contrastRatio(plain.pixel(p), ringed.pixel(p)));
            }
            return strongest;
        };
        double weakest = 21;
        const int band = std::min({5, w / 2, h / 2});
        for (int x = w / 3; x < 2 * w / 3; ++x) {
            weakest = std::min(weakest, best({x, 0}, {0, 1}, band));
            weakest = std::min(weakest, best({x, h - 1}, {0, -1}, band));
        }
        for (int y = h / 3; y < 2 * h / 3; ++y) {
            weakest = std::min(weakest, best({0, y}, {1, 0}, band));
            weakest = std::min(weakest, best({w - 1, y}, {-1, 0}, band));
        }
        return weakest;
    };
    for (const AccentTheme theme : allCases<AccentTheme>()) {
        toggle->setAccent(WindowStyle::accentColor(theme));
        for (const bool on : {true, false}) {
            toggle->setChecked(on);
            EXPECT_GE(weakestStretch(toggle), 3.0)
                << rawValue(theme).toStdString() << (on ? " on" : " off");
        }
    }
    EXPECT_GE(weakestStretch(button), 3.0) << "button";
    EXPECT_GE(weakestStretch(picker), 3.0) << "picker";
}

// A control reached with Tab below the view is scrolled into it, also when the focus comes from
// outside the page.
TEST_F(PageLayoutTest, TabScrollsTheControlItReachesIntoView)
{
    makeStore();
    signedIn = true;
    MainWindow window(services());
    window.resize(window.minimumSize());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.selectTab(SidebarTab::pins);
    QApplication::processEvents();
    auto *scroll = window.page(SidebarTab::pins)->findChild<QScrollArea *>();
    ASSERT_NE(scroll, nullptr);
    ASSERT_GT(scroll->verticalScrollBar()->maximum(), 0) << "the page is taller than its view";
    int checked = 0;
    // Backwards from the sidebar's first row wraps round to the page's last control.
    window.row(SidebarTab::dashboard)->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 60; ++i) {
        QWidget *current = QApplication::focusWidget();
        ASSERT_NE(current, nullptr);
        QTest::keyClick(current, Qt::Key_Backtab);
        QWidget *focused = QApplication::focusWidget();
        if (!focused || !scroll->widget()->isAncestorOf(focused))
            continue;
        ++checked;
        const QRect inView(focused->mapTo(scroll->viewport(), QPoint(0, 0)), focused->size());
        EXPECT_TRUE(scroll->viewport()->rect().contains(inView))
            << focused->accessibleName().toStdString() << " at " << inView.y()
            << " is outside the view of height " << scroll->viewport()->height();
    }
    EXPECT_GT(checked, 5);
}

// The Staging page's rows line up: symbols, titles and controls in one column each; one divider
// below the first switch and two, a card's spacing apart, above the queue size.
TEST_F(PageLayoutTest, StagingRowsLineUpBetweenTheirDividers)
{
    makeStore();
    StagingPage page(store());
    page.resize(700, 600);
    page.show();
    QApplication::processEvents();
    QList<QWidget *> controls;
    for (const char *name : {"Auto-copy to clipboard immediately upon capture",
                             "Copying removes capture from staging", "Max Queue Items"}) {
        QWidget *control = named<QWidget>(&page, QString::fromUtf8(name));
        ASSERT_NE(control, nullptr) << name;
        controls << control;
    }
    QFrame *card = nullptr;
    for (QFrame *frame : page.findChildren<QFrame *>()) {
        if (frame->property("corvantaCard").toBool())
            card = frame;
    }
    ASSERT_NE(card, nullptr);
    const auto right = [card](QWidget *w) { return w->mapTo(card, QPoint(w->width(), 0)).x(); };
    const auto titleLeft = [&](QWidget *control) {
        for (QLabel *label : control->parentWidget()->findChildren<QLabel *>()) {
            if (label->text() == control->accessibleName())
                return label->mapTo(card, QPoint(0, 0)).x();
        }
        return -1;
    };
    for (QWidget *control : controls.mid(1)) {
        EXPECT_EQ(right(control), right(controls.first()))
            << control->accessibleName().toStdString();
        EXPECT_EQ(titleLeft(control), titleLeft(controls.first()))
            << control->accessibleName().toStdString();
    }
    // Down the card, what stands between the rows.
    QList<QWidget *> column;
    for (QWidget *child : card->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        column << child;
    std::sort(column.begin(), column.end(), [](QWidget *a, QWidget *b) { return a->y() < b->y(); });
    QStringList order;
    QList<QWidget *> dividers;
    for (QWidget *child : column) {
        if (child->property("corvantaDivider").toBool()) {
            order << "divider";
            dividers << child;
        }
        for (QWidget *control : controls) {
            if (child->isAncestorOf(control))
                order << control->accessibleName();
        }
    }
    EXPECT_EQ(order.join(" | "), "Auto-copy to clipboard immediately upon capture | divider | "
                                 "Copying removes capture from staging | divider | divider | "
                                 "Max Queue Items");
    ASSERT_EQ(dividers.size(), 3);
    EXPECT_EQ(dividers[2]->y() - dividers[1]->geometry().bottom() - 1, 16);
    EXPECT_TRUE(dividers[1]->isVisible() && dividers[2]->isVisible());
}

// A chosen modifier of the custom-key panel reads as chosen: a tick that stands out of its box,
// and a box that stands out of the panel, unlike an empty one.
TEST_F(PageLayoutTest, ChosenModifiersReadAsChosen)
{
    ShortcutRecorderButton recorder(QStringLiteral("area"), SettingDefaults::customArea(), nullptr,
                                    {}, {});
    recorder.show();
    QTest::mouseClick(recorder.findChild<QAbstractButton *>("customizeButton"), Qt::LeftButton);
    auto *panel = recorder.findChild<QFrame *>("customPicker");
    ASSERT_NE(panel, nullptr);
    const QList<QCheckBox *> boxes = panel->findChildren<QCheckBox *>();
    ASSERT_EQ(boxes.size(), 4);
    for (QCheckBox *box : boxes) {
        const QRect tick(0, 0, box->height(), box->height());
        box->setChecked(true);
        const double checked = contrastOfText(box, tick);
        const QRgb checkedFill = box->grab(tick).toImage().pixel(tick.center() + QPoint(-4, 4));
        box->setChecked(false);
        const QRgb emptyFill = box->grab(tick).toImage().pixel(tick.center() + QPoint(-4, 4));
        EXPECT_GE(checked, 4.5) << box->text().toStdString() << ": the tick on its box";
        EXPECT_GE(contrastRatio(checkedFill, emptyFill), 3.0)
            << box->text().toStdString() << ": a chosen box looks like an empty one";
        EXPECT_GT(QColor(checkedFill).hsvSaturation(), 100)
            << box->text().toStdString() << ": a chosen box is grey";
    }
}

} // namespace
