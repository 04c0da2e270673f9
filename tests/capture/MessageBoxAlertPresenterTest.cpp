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
                      {QStringLiteral("Open System Settings"), QStringLiteral("Cancel")}};
    auto clicked = presenter.present(alert);
    QMessageBox *box = shownBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->text(), alert.messageText);
    EXPECT_EQ(box->informativeText(), alert.informativeText);
    EXPECT_EQ(box->windowModality(), Qt::NonModal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "a selection keeps its input";
    ASSERT_EQ(box->buttons().size(), 2);
    EXPECT_EQ(box->defaultButton()->text(), "Open System Settings");
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

} // namespace
