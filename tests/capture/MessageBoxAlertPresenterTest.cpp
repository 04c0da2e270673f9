#include "platform/linux/MessageBoxAlertPresenter.h"
#include "support/WaitUntil.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>

using platform::Alert;
using platform::AlertStyle;

namespace {

// The box the presenter shows; it is up before present() first suspends.
QMessageBox *shownBox()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
            return box;
    }
    return nullptr;
}

TEST(MessageBoxAlertPresenterTest, ShowsTheAlertWithoutBlockingAndAnswersTheButtonIndex)
{
    platform::MessageBoxAlertPresenter presenter;
    const Alert alert{AlertStyle::warning,
                      QStringLiteral("Screen Recording Permission Required"),
                      QStringLiteral("Please enable it."),
                      {QStringLiteral("Open Desktop Settings"), QStringLiteral("Cancel")}};
    auto clicked = presenter.present(alert);
    QMessageBox *box = shownBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->text(), alert.messageText);
    EXPECT_EQ(box->informativeText(), alert.informativeText);
    EXPECT_EQ(box->windowModality(), Qt::NonModal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "a selection keeps its input";
    ASSERT_EQ(box->buttons().size(), 2);
    EXPECT_EQ(box->defaultButton()->text(), "Open Desktop Settings");
    QTest::mouseClick(box->escapeButton(), Qt::LeftButton);
    EXPECT_EQ(QCoro::waitFor(std::move(clicked)), 1);

    auto returned = presenter.present(alert);
    QTest::keyClick(shownBox(), Qt::Key_Return);
    EXPECT_EQ(QCoro::waitFor(std::move(returned)), 0);
    auto escaped = presenter.present(alert);
    QTest::keyClick(shownBox(), Qt::Key_Escape);
    EXPECT_EQ(QCoro::waitFor(std::move(escaped)), 1);

    // A lone button answers Escape too.
    auto acknowledged = presenter.present(
        {AlertStyle::critical, QStringLiteral("Recording Save Failed"), {}, {"OK"}});
    EXPECT_EQ(shownBox()->icon(), QMessageBox::Critical);
    QTest::keyClick(shownBox(), Qt::Key_Escape);
    EXPECT_EQ(QCoro::waitFor(std::move(acknowledged)), 0);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(shownBox(), nullptr);
}

QList<QMessageBox *> shownBoxes()
{
    QList<QMessageBox *> boxes;
    for (QWidget *widget : QApplication::allWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
            boxes << box;
    }
    return boxes;
}

TEST(MessageBoxAlertPresenterTest, AWindowShowsOneAlertAtATimeAboveItself)
{
    platform::MessageBoxAlertPresenter presenter;
    QWidget window(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint);
    window.show();
    QWidget other;
    other.show();
    auto alert = [](const QString &text, QWidget *asking) {
        Alert made{AlertStyle::warning, text, {}, {QStringLiteral("OK")}};
        made.window = asking;
        return made;
    };

    // Five of the same while it is open: one box, one answer for all.
    std::vector<QCoro::Task<int>> same;
    for (int i = 0; i < 5; ++i)
        same.push_back(presenter.present(alert(QStringLiteral("Sign-in failed"), &window)));
    auto later = presenter.present(alert(QStringLiteral("Another problem"), &window));
    auto elsewhere = presenter.present(alert(QStringLiteral("Elsewhere"), &other));
    ASSERT_EQ(shownBoxes().size(), 2) << "one for each window";
    QMessageBox *first = nullptr;
    for (QMessageBox *box : shownBoxes())
        first = box->parentWidget() == &window ? box : first;
    ASSERT_NE(first, nullptr) << "the alert belongs to the window that asked";
    EXPECT_EQ(first->text(), QStringLiteral("Sign-in failed"));
    EXPECT_EQ(first->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(first->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        << "above a window that stays on top";

    QTest::keyClick(first, Qt::Key_Return);
    for (QCoro::Task<int> &task : same)
        EXPECT_EQ(QCoro::waitFor(std::move(task)), 0);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QMessageBox *second = nullptr;
    for (QMessageBox *box : shownBoxes())
        second = box->parentWidget() == &window ? box : second;
    ASSERT_NE(second, nullptr) << "the next alert comes once the first is answered";
    EXPECT_EQ(second->text(), QStringLiteral("Another problem"));
    QTest::keyClick(second, Qt::Key_Escape);
    EXPECT_EQ(QCoro::waitFor(std::move(later)), 0);
    for (QMessageBox *box : shownBoxes())
        box->reject();
    QCoro::waitFor(std::move(elsewhere));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shownBoxes().isEmpty());
}

// Whatever the presenter still had open or waiting goes with it, unanswered; nothing of it runs
// on afterwards, however the boxes end.
TEST(MessageBoxAlertPresenterTest, AlertsOpenOrWaitingWhenThePresenterGoesEndUnanswered)
{
    auto presenter = std::make_unique<platform::MessageBoxAlertPresenter>();
    QWidget window;
    window.show();
    Alert own{AlertStyle::warning, QStringLiteral("Sign-in failed"), {}, {QStringLiteral("OK")}};
    own.window = &window;
    auto open = presenter->present(
        {AlertStyle::warning, QStringLiteral("Recording Save Failed"), {}, {"OK"}});
    auto waiting = presenter->present(
        {AlertStyle::warning, QStringLiteral("Screen Recording Failed"), {}, {"OK"}});
    auto openInWindow = presenter->present(own);
    ASSERT_EQ(shownBoxes().size(), 2);

    presenter.reset();
    EXPECT_TRUE(shownBoxes().isEmpty()) << "no alert outlives its presenter";
    // Boxes left open end as a closing program ends them; the one that waited never comes up.
    qsizetype shownSince = 0;
    const bool ended = waitUntil([&] {
        for (QMessageBox *box : shownBoxes()) {
            box->reject();
            ++shownSince;
        }
        return open.isReady() && waiting.isReady() && openInWindow.isReady();
    });
    ASSERT_TRUE(ended);
    EXPECT_EQ(QCoro::waitFor(std::move(open)), -1);
    EXPECT_EQ(QCoro::waitFor(std::move(waiting)), -1);
    EXPECT_EQ(QCoro::waitFor(std::move(openInWindow)), -1);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(shownSince, 0) << "no box comes up after its presenter went";
    EXPECT_TRUE(shownBoxes().isEmpty());
}

// What shows `text` as it is in the box: a label, or a text view where it has nowhere to break.
QWidget *showing(QMessageBox *box, const QString &text)
{
    for (QLabel *label : box->findChildren<QLabel *>())
        if (label->isVisible() && label->text() == text)
            return label;
    for (QTextEdit *view : box->findChildren<QTextEdit *>())
        if (view->isVisible() && view->toPlainText() == text)
            return view;
    return nullptr;
}

// What keeps `text` from being read whole, with what shows it and the buttons inside the box;
// nothing when all is shown.
QString unshown(QMessageBox *box, const QString &text)
{
    QWidget *shown = showing(box, text);
    if (!shown)
        return QStringLiteral("\"%1\" is not shown as it is").arg(text.left(20));
    auto *label = qobject_cast<QLabel *>(shown);
    auto *view = qobject_cast<QTextEdit *>(shown);
    const QRect room = label ? label->contentsRect() : view->viewport()->rect();
    const QRect used = label ? label->fontMetrics().boundingRect(room, Qt::TextWordWrap, text)
                             : QRect(QPoint(), view->document()->size().toSize());
    if (used.width() > room.width() || used.height() > room.height())
        return QStringLiteral("\"%1\" needs %2 pixels, has %3")
            .arg(text.left(20))
            .arg(used.height())
            .arg(room.height());
    for (QWidget *part : {shown, static_cast<QWidget *>(box->findChild<QDialogButtonBox *>())}) {
        if (!box->rect().contains(QRect(part->mapTo(box, QPoint()), part->size())))
            return part->metaObject()->className() + QStringLiteral(" goes past the box's edge");
    }
    return {};
}

// A line with nowhere to break, a server's message cut short with "…" or a title of one long
// word, wraps inside the box: its end is shown, and the button too. What shows it is reached
// with Tab, shows that it has the keyboard, and gives the text as it is to whoever copies it.
TEST(MessageBoxAlertPresenterTest, ALineWithNowhereToBreakWrapsInsideTheBox)
{
    platform::MessageBoxAlertPresenter presenter;
    QString digits;
    for (int i = 0; digits.size() < 3000; ++i)
        digits += QString::number(i);
    const QString cut = digits.left(300) + u'\u2026';
    const Alert alerts[] = {
        {AlertStyle::warning, QStringLiteral("Account Error"), cut, {"OK"}},
        {AlertStyle::warning, digits, QStringLiteral("Disk full."), {"OK"}},
        {AlertStyle::critical,
         QStringLiteral("Account Error"),
         QStringLiteral("The token eyJhbGciOiJIUzI1NiJ9eyJzdWIiOiIxMjM0NTY3ODkwIiwibmFtZSI6IkphbmUi"
                        "fQ is expired."),
         {"OK", "Cancel"}}};
    for (const Alert &alert : alerts) {
        auto answering = presenter.present(alert);
        QMessageBox *box = shownBox();
        ASSERT_NE(box, nullptr);
        QString problem;
        EXPECT_TRUE(waitUntil([&] {
            problem = unshown(box, alert.messageText) + unshown(box, alert.informativeText);
            return problem.isEmpty();
        })) << qPrintable(problem);

        const QString &wrapped = alert.messageText.size() > alert.informativeText.size()
                                     ? alert.messageText
                                     : alert.informativeText;
        QWidget *view = showing(box, wrapped);
        ASSERT_NE(view, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowActive(box));
        // Its outline, where a frame shows that it has the keyboard.
        const auto outline = [view] { return view->grab(QRect(0, 0, view->width(), 1)).toImage(); };
        const QImage unfocused = outline();
        for (int tabs = 0; tabs < 4 && !view->hasFocus(); ++tabs)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_TRUE(view->hasFocus()) << "reached with Tab";
        EXPECT_TRUE(waitUntil([&] { return outline() != unfocused; }))
            << "shows that it has the keyboard";
        QApplication::clipboard()->clear();
        QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QApplication::clipboard()->text(), wrapped) << "copied as it is";
        box->reject();
        QCoro::waitFor(std::move(answering));
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

} // namespace
