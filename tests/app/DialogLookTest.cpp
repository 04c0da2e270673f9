#include "account/AccountView.h"
#include "account/AuthService.h"
#include "app/AppEnvironmentFixture.h"
#include "app/CorvantaApp.h"
#include "platform/linux/MessageBoxAlertPresenter.h"
#include "platform/qt/QtSavePanel.h"
#include "support/AnimationClock.h"
#include "support/FakeAppleSignInSheet.h"
#include "support/FakeHttpTransport.h"
#include "support/FakeSecretStore.h"
#include "support/TextContrast.h"
#include "support/WaitUntil.h"
#include "windows/MainWindow.h"
#include "windows/SettingsWindow.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QTextEdit>

// The dialogs the program opens over its dark main and settings windows: each in a look of its
// own, every text on it readable against its own background, and each alert wide enough for the
// window manager to show its whole title.
namespace {

// Where a widget draws its text, in its own coordinates; empty for a widget that shows none.
QRect textArea(QWidget *widget)
{
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text().isEmpty() ? QRect() : label->contentsRect();
    if (auto *button = qobject_cast<QPushButton *>(widget)) {
        if (button->text().isEmpty())
            return {};
        const QFontMetrics metrics(button->font());
        QRect text(QPoint(), QSize(metrics.horizontalAdvance(button->text()), metrics.height()));
        text.moveCenter(button->rect().center());
        return text;
    }
    if (auto *picker = qobject_cast<QComboBox *>(widget)) {
        if (picker->currentText().isEmpty())
            return {};
        QStyleOptionComboBox option;
        option.initFrom(picker);
        return picker->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                               QStyle::SC_ComboBoxEditField, picker);
    }
    if (auto *view = qobject_cast<QTextEdit *>(widget))
        return view->toPlainText().isEmpty() ? QRect() : view->viewport()->geometry();
    if (auto *field = qobject_cast<QLineEdit *>(widget)) {
        // A picker's own field is measured as the picker.
        if (field->text().isEmpty() || qobject_cast<QComboBox *>(field->parentWidget()))
            return {};
        return field->rect().adjusted(4, 4, -4, -4);
    }
    return {};
}

// The texts of the dialog that read below 4.5 : 1, each with its ratio; how many were measured.
std::pair<QStringList, int> unreadableTexts(QWidget *dialog)
{
    QStringList unreadable;
    int measured = 0;
    for (QWidget *widget : dialog->findChildren<QWidget *>()) {
        if (!widget->isVisible() || widget->window() != dialog)
            continue;
        const QRect area = textArea(widget);
        if (area.isEmpty())
            continue;
        ++measured;
        const double ratio = contrastOfText(widget, area);
        if (ratio < 4.5) {
            const auto *picker = qobject_cast<QComboBox *>(widget);
            unreadable << QStringLiteral("%1 \"%2\" %3 : 1")
                              .arg(QString::fromLatin1(widget->metaObject()->className()),
                                   picker ? picker->currentText()
                                          : widget->property("text").toString(),
                                   QString::number(ratio, 'f', 2));
        }
    }
    return {unreadable, measured};
}

template <typename T> T *shownDialog(const std::function<bool(T *)> &which = {})
{
    T *found = nullptr;
    waitUntil([&] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<T *>(widget);
            if (dialog && dialog->isVisible() && (!which || which(dialog))) {
                found = dialog;
                return true;
            }
        }
        return false;
    });
    return found;
}

QMessageBox *shownAlert(const QString &title)
{
    return shownDialog<QMessageBox>([title](QMessageBox *box) { return box->text() == title; });
}

class DialogLookTest : public AppEnvironmentFixture {
protected:
    void SetUp() override
    {
        CorvantaApp::Options options;
        options.environment = environmentOptions();
        options.environment.makePlatform = [this] {
            AppPlatform platform = fakes.platform();
            platform.secretStore = std::make_shared<FakeSecretStore>();
            platform.httpTransport = http;
            platform.appleSignIn = std::make_shared<FakeAppleSignInSheet>();
            platform.alertPresenter = std::make_shared<platform::MessageBoxAlertPresenter>();
            platform.savePanel = std::make_shared<platform::QtSavePanel>();
            return platform;
        };
        app = std::make_unique<CorvantaApp>(std::move(options));
        ASSERT_TRUE(waitUntil([this] { return auth().isRestored(); }));
        app->mainWindow().show();
        app->showSettingsWindow();
        animations.advanceBy(250); // past the pages' fade-in
    }
    void TearDown() override
    {
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (qobject_cast<QDialog *>(widget) && widget->isVisible())
                static_cast<QDialog *>(widget)->reject();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        app.reset();
    }

    AuthService &auth() const { return *app->environment().authService(); }
    AccountView *accountView() const { return app->mainWindow().findChild<AccountView *>(); }

    // Every text of the dialog reads, and the window manager can show its title whole: beside
    // the title, openbox draws the window's icon and three buttons (about 18 px each) with some
    // padding, in a bold face no larger than the program's.
    void expectReadableAndTitled(QDialog *dialog, const QString &what)
    {
        ASSERT_NE(dialog, nullptr) << what.toStdString();
        const auto [unreadable, measured] = unreadableTexts(dialog);
        EXPECT_GE(measured, 2) << what.toStdString();
        EXPECT_TRUE(unreadable.isEmpty())
            << what.toStdString() << ": " << unreadable.join(QStringLiteral("; ")).toStdString();
        QFont bold = dialog->font();
        bold.setBold(true);
        EXPECT_GE(dialog->width(), QFontMetrics(bold).horizontalAdvance(dialog->windowTitle()) + 96)
            << what.toStdString() << ": the window manager cuts the title";
    }

    std::shared_ptr<FakeHttpTransport> http = std::make_shared<FakeHttpTransport>();
    std::unique_ptr<CorvantaApp> app;
    AnimationClock animations;
};

TEST_F(DialogLookTest, EveryAlertReadsOverTheDarkWindows)
{
    // Raised by the account page, over the main window.
    AccountView *view = accountView();
    ASSERT_NE(view, nullptr);
    http->response = {true, 400, R"({"error_description":"Invalid login credentials"})"};
    view->findChild<QLineEdit *>(QStringLiteral("emailField"))->setText("jane.doe@example.com");
    view->findChild<QLineEdit *>(QStringLiteral("passwordField"))->setText("wrong");
    view->logIn();
    QMessageBox *error = shownAlert(QStringLiteral("Account Error"));
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->parentWidget(), &app->mainWindow());
    expectReadableAndTitled(error, QStringLiteral("Account Error"));
    error->accept();

    http->response = {true, 200,
                      R"({"access_token":"a","refresh_token":"r","user":)"
                      R"({"id":"5B0E2C4A-8F1D-4E6B-9A3C-7D2E1F0A9B8C","email":"j@example.com"}})"};
    QCoro::waitFor(auth().signInWithEmail(QStringLiteral("j@example.com"), QStringLiteral("pw")));
    ASSERT_TRUE(view->showsSignedInCard());
    view->confirmDeletion();
    QMessageBox *confirmation = shownAlert(QStringLiteral("Delete Corvanta Account?"));
    expectReadableAndTitled(confirmation, QStringLiteral("Delete Corvanta Account?"));
    confirmation->reject();

    // Raised by captures and recordings, over whichever window has the keyboard.
    QList<platform::Alert> alerts;
    for (const char *title : {"Screen Recording Permission Required", "Screen Recording Failed",
                              "Recording Save Failed"}) {
        platform::Alert alert;
        alert.messageText = QString::fromLatin1(title);
        alert.informativeText = QStringLiteral("Disk full.");
        alert.buttonTitles = {QStringLiteral("OK")};
        alerts << alert;
    }
    alerts[0].buttonTitles = {QStringLiteral("Open System Settings"), QStringLiteral("Cancel")};
    // A file name with nowhere to break, shown in a text view of its own.
    alerts[2].informativeText = QStringLiteral(
        "Could not write Corvanta_Screen_Recording_20261208_095811_0001_of_the_main_display.mov");
    for (QWidget *window : {static_cast<QWidget *>(&app->mainWindow()),
                            static_cast<QWidget *>(app->settingsWindow())}) {
        for (platform::Alert alert : alerts) {
            alert.window = window;
            QCoro::Task<int> answer = app->environment().platform().alertPresenter->present(alert);
            QMessageBox *box = shownAlert(alert.messageText);
            expectReadableAndTitled(box, alert.messageText + " over " + window->windowTitle());
            box->reject();
            QCoro::waitFor(std::move(answer));
            QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
}

TEST_F(DialogLookTest, EverySaveDialogReadsOverTheDarkWindows)
{
    // The save panel of a capture saved while either window has the keyboard.
    for (QWidget *window : {static_cast<QWidget *>(&app->mainWindow()),
                            static_cast<QWidget *>(app->settingsWindow())}) {
        platform::SavePanelOptions options;
        options.title = QStringLiteral("Save Screenshot");
        options.nameFieldStringValue = QStringLiteral("Corvanta 2026-12-07 at 20.00.00.png");
        options.allowedContentTypes = {QStringLiteral("image/png")};
        options.directory = QDir::tempPath();
        QCoro::Task<std::optional<QUrl>> chosen =
            app->environment().platform().savePanel->run(options, window);
        QFileDialog *dialog = shownDialog<QFileDialog>();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->parentWidget(), window);
        QTest::qWait(50); // the folder's listing fills in
        const auto [unreadable, measured] = unreadableTexts(dialog);
        EXPECT_GE(measured, 5) << window->windowTitle().toStdString();
        EXPECT_TRUE(unreadable.isEmpty()) << window->windowTitle().toStdString() << ": "
                                          << unreadable.join(QStringLiteral("; ")).toStdString();
        dialog->reject();
        QCoro::waitFor(std::move(chosen));
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The Dashboard's folder for saved captures.
    app->mainWindow().selectTab(SidebarTab::dashboard);
    animations.advanceBy(250);
    QPushButton *folder = nullptr;
    for (auto *button : app->mainWindow().findChildren<QPushButton *>())
        folder = button->accessibleName() == "Default Save Location" ? button : folder;
    ASSERT_NE(folder, nullptr);
    folder->click();
    QFileDialog *dialog = shownDialog<QFileDialog>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->parentWidget(), &app->mainWindow());
    QTest::qWait(50);
    const auto [unreadable, measured] = unreadableTexts(dialog);
    EXPECT_GE(measured, 5);
    EXPECT_TRUE(unreadable.isEmpty()) << unreadable.join(QStringLiteral("; ")).toStdString();
}

} // namespace
