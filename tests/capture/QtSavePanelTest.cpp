#include "platform/qt/QtSavePanel.h"

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using platform::QtSavePanel;

namespace {

QFileDialog *openDialog()
{
    for (QWidget *widget : QApplication::allWidgets()) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (dialog != nullptr && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

class QtSavePanelTest : public ::testing::Test {
protected:
    QCoro::Task<std::optional<QUrl>> run(QWidget *window = nullptr)
    {
        platform::SavePanelOptions options;
        options.title = "Save Screenshot";
        options.nameFieldStringValue = "Corvanta 2026-01-02 at 10.11.12.jpg";
        options.allowedContentTypes = {"image/jpeg", "no/such-type"};
        return panel.run(options, window);
    }

    QtSavePanel panel;
};

TEST_F(QtSavePanelTest, ShowsTheOptionsApplicationModalAndAnswersTheChosenFile)
{
    QTemporaryDir folder;
    QCoro::Task<std::optional<QUrl>> answer = run();
    QFileDialog *dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Save Screenshot");
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_FALSE(dialog->testOption(QFileDialog::ReadOnly)); // folders can be made
    EXPECT_EQ(dialog->nameFilters(), QStringList("JPEG image (*.jpg *.jpeg *.jpe)"));
    EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(dialog->findChild<QLineEdit *>("fileNameEdit")->text(),
              "Corvanta 2026-01-02 at 10.11.12.jpg");

    // A name typed without extension gets the proposed one.
    dialog->setDirectory(folder.path());
    dialog->selectFile(folder.path() + "/picked");
    QMetaObject::invokeMethod(dialog, "accept");
    EXPECT_EQ(QCoro::waitFor(std::move(answer)),
              QUrl::fromLocalFile(folder.path() + "/picked.jpg"));

    answer = run();
    ASSERT_NE(openDialog(), nullptr);
    openDialog()->reject();
    EXPECT_EQ(QCoro::waitFor(std::move(answer)), std::nullopt);
}

TEST_F(QtSavePanelTest, WithAWindowItIsModalToItAndGoesWithIt)
{
    auto window = std::make_unique<QWidget>();
    window->show();
    QCoro::Task<std::optional<QUrl>> answer = run(window.get());
    QFileDialog *dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->parentWidget(), window.get());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    window.reset();
    EXPECT_EQ(QCoro::waitFor(std::move(answer)), std::nullopt);
}

} // namespace
