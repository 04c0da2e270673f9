#include "platform/qt/QtSavePanel.h"

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using platform::QtSavePanel;
using platform::SavePanelOptions;

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

SavePanelOptions jpegOptions()
{
    SavePanelOptions options;
    options.title = "Save Screenshot";
    options.nameFieldStringValue = "Corvanta 2026-01-02 at 10.11.12.jpg";
    options.allowedContentTypes = {"image/jpeg"};
    return options;
}

TEST(QtSavePanelTest, ShowsTheOptionsApplicationModalAndAnswersTheChosenFile)
{
    QTemporaryDir folder;
    QtSavePanel panel;
    QCoro::Task<std::optional<QUrl>> answer = panel.run(jpegOptions(), nullptr);
    QFileDialog *dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Save Screenshot");
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_FALSE(dialog->testOption(QFileDialog::ReadOnly)); // folders can be made
    EXPECT_EQ(dialog->nameFilters(), QStringList("JPEG image (*.jpg *.jpeg *.jpe)"));
    EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
    auto *nameField = dialog->findChild<QLineEdit *>("fileNameEdit");
    ASSERT_NE(nameField, nullptr);
    EXPECT_EQ(nameField->text(), "Corvanta 2026-01-02 at 10.11.12.jpg");

    // A name typed without extension gets the proposed one.
    dialog->setDirectory(folder.path());
    dialog->selectFile(folder.path() + "/picked");
    QMetaObject::invokeMethod(dialog, "accept");
    EXPECT_EQ(QCoro::waitFor(std::move(answer)), QUrl::fromLocalFile(folder.path() + "/picked.jpg"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(openDialog(), nullptr);
}

TEST(QtSavePanelTest, DismissingAnswersNothing)
{
    QtSavePanel panel;
    QCoro::Task<std::optional<QUrl>> answer = panel.run(jpegOptions(), nullptr);
    ASSERT_NE(openDialog(), nullptr);
    openDialog()->reject();
    EXPECT_EQ(QCoro::waitFor(std::move(answer)), std::nullopt);
}

TEST(QtSavePanelTest, WithAWindowItIsModalToItAndGoesWithIt)
{
    auto window = std::make_unique<QWidget>();
    window->show();
    QtSavePanel panel;
    QCoro::Task<std::optional<QUrl>> answer = panel.run(jpegOptions(), window.get());
    QFileDialog *dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->parentWidget(), window.get());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);

    window.reset();
    EXPECT_EQ(QCoro::waitFor(std::move(answer)), std::nullopt);
}

TEST(QtSavePanelTest, UnknownTypesAreLeftOutOfTheFilters)
{
    const QStringList filters =
        QtSavePanel::nameFilters({"video/mp4", "no/such-type", "video/quicktime"});
    ASSERT_EQ(filters.size(), 2);
    EXPECT_TRUE(filters[0].contains("*.mp4"));
    EXPECT_TRUE(filters[1].contains("*.mov"));
}

} // namespace
