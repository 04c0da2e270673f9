#include "platform/qt/QtSavePanel.h"
#include "capture/ActionTestSupport.h"
#include "capture/SaveService.h"
#include "support/FakeImageWriter.h"
#include "support/WaitUntil.h"

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
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
    QCoro::Task<std::optional<QUrl>> run(QWidget *window = nullptr, QString directory = {})
    {
        platform::SavePanelOptions options;
        options.title = "Save Screenshot";
        options.nameFieldStringValue = "Corvanta 2026-01-02 at 10.11.12.jpg";
        options.allowedContentTypes = {"image/jpeg", "no/such-type"};
        options.directory = std::move(directory);
        return panel.run(options, window);
    }
    // Types the name into the open dialog and confirms it, as the user does.
    static void confirm(const QString &name)
    {
        QFileDialog *dialog = openDialog();
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit *>("fileNameEdit")->setText(name);
        QMetaObject::invokeMethod(dialog, "accept");
    }

    QtSavePanel panel;
};

TEST_F(QtSavePanelTest, ShowsTheOptionsWithoutBlockingTheProgramAndAnswersTheChosenFile)
{
    QTemporaryDir folder;
    QCoro::Task<std::optional<QUrl>> answer = run(nullptr, folder.path());
    QFileDialog *dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Save Screenshot");
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_FALSE(dialog->testOption(QFileDialog::ReadOnly)); // folders can be made
    EXPECT_EQ(dialog->nameFilters(), QStringList("JPEG image (*.jpg *.jpeg *.jpe)"));
    EXPECT_EQ(dialog->windowModality(), Qt::NonModal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "a selection keeps its input";
    EXPECT_EQ(dialog->directory().absolutePath(), folder.path());
    EXPECT_EQ(dialog->findChild<QLineEdit *>("fileNameEdit")->text(),
              "Corvanta 2026-01-02 at 10.11.12.jpg");

    // A name typed without extension gets the proposed one.
    confirm("picked");
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

TEST_F(QtSavePanelTest, ANameWithAnotherTypesExtensionGetsTheChosenOne)
{
    QTemporaryDir folder;
    for (const auto &[typed, saved] :
         {std::pair("x.png", "x.png.jpg"), std::pair("x.JPEG", "x.JPEG"),
          std::pair("x.jpe", "x.jpe"), std::pair("v1.2", "v1.2.jpg"),
          std::pair("x.jpg.png", "x.jpg.png.jpg")}) {
        QCoro::Task<std::optional<QUrl>> answer = run(nullptr, folder.path());
        confirm(typed);
        EXPECT_EQ(QCoro::waitFor(std::move(answer)),
                  QUrl::fromLocalFile(folder.path() + '/' + saved))
            << typed;
    }

    // Enter in the name field settles the name as the Save button does.
    for (const auto &[typed, saved] :
         {std::pair("entered.png", "entered.png.jpg"), std::pair("entered.jpeg", "entered.jpeg"),
          std::pair("plain", "plain.jpg")}) {
        QCoro::Task<std::optional<QUrl>> answer = run(nullptr, folder.path());
        QFileDialog *dialog = openDialog();
        ASSERT_NE(dialog, nullptr);
        auto *field = dialog->findChild<QLineEdit *>("fileNameEdit");
        field->setText(typed);
        dialog->activateWindow();
        field->setFocus();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
        // Through the window, as the desktop delivers it.
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Return);
        EXPECT_EQ(QCoro::waitFor(std::move(answer)),
                  QUrl::fromLocalFile(folder.path() + '/' + saved))
            << typed;
    }

    // Typing a folder's name opens the folder; it is not taken as the file.
    ASSERT_TRUE(QDir(folder.path()).mkdir("sub.png"));
    QCoro::Task<std::optional<QUrl>> answer = run(nullptr, folder.path());
    confirm("sub.png");
    QFileDialog *dialog = openDialog();
    ASSERT_NE(dialog, nullptr) << "still open";
    EXPECT_EQ(dialog->directory().absolutePath(), folder.path() + "/sub.png");
    confirm("y");
    EXPECT_EQ(QCoro::waitFor(std::move(answer)),
              QUrl::fromLocalFile(folder.path() + "/sub.png/y.jpg"));
}

TEST_F(QtSavePanelTest, ARecordingIsSavedUnderItsOwnMovieTypesExtension)
{
    QTemporaryDir folder;
    SaveService service(std::make_shared<QtSavePanel>(), std::make_shared<FakeImageWriter>());
    for (const auto &[movieName, typed, saved] :
         {std::tuple("Recording-1.mp4", "x.mov", "x.mov.mp4"),
          std::tuple("Recording-2.mov", "y.mp4", "y.mp4.mov"),
          std::tuple("Recording-3.mp4", "z.mp4", "z.mp4")}) {
        const QString movie = folder.path() + '/' + movieName;
        QFile file(movie);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(movieName); // each movie's bytes say which it is
        file.close();
        // By the Save button and by Enter in the name field.
        for (const bool byEnter : {false, true}) {
            const QString target = folder.path() + '/' + (byEnter ? "entered-" : "") + saved;
            QCoro::Task<QUrl> saving = service.save(makeRecording(movie), ImageExportFormat::png);
            // Once the movie was found as recorded, away from the main thread.
            QFileDialog *dialog = nullptr;
            ASSERT_TRUE(waitUntil([&] { return (dialog = openDialog()) != nullptr; }));
            dialog->setDirectory(folder.path());
            auto *field = dialog->findChild<QLineEdit *>("fileNameEdit");
            field->setText(QString(byEnter ? "entered-" : "") + typed);
            if (byEnter) {
                dialog->activateWindow();
                field->setFocus();
                ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
                QTest::keyClick(dialog->windowHandle(), Qt::Key_Return);
            } else {
                QMetaObject::invokeMethod(dialog, "accept");
            }
            EXPECT_EQ(QCoro::waitFor(std::move(saving)), QUrl::fromLocalFile(target)) << typed;
            QFile written(target);
            ASSERT_TRUE(written.open(QIODevice::ReadOnly)) << qPrintable(target);
            EXPECT_EQ(written.readAll(), QByteArray(movieName));
        }
    }
}

} // namespace
