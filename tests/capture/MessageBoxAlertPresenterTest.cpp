#include "platform/linux/MessageBoxAlertPresenter.h"

#include <QApplication>
#include <QTest>
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

} // namespace
