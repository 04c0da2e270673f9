#pragma once

#include "account/AccountLook.h"

#include <QString>
#include <QWidget>
#include <memory>
#include <qcoro/qcorotask.h>

class AuthService;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QUrl;

namespace platform {
class AlertPresenter;
class UrlOpener;
} // namespace platform

// The account page: the signed-in profile card with sign-out and deletion while the auth
// service has a user, else the welcome header and the sign-in form. It follows the auth
// service alone and keeps no account data of its own; every action is a call into the
// service, and a failure shows the "Account Error" alert. Everything from the backend or the
// user is shown as plain text, with its direction controls escaped; the alert shows the first
// few lines of a long message. The typed password goes whenever somebody signs in or out.
class AccountView final : public QWidget {
    Q_OBJECT

public:
    // What deleting does here: the account on the backend is not deleted.
    static constexpr const char *deletionMessage =
        "This signs you out on this computer and removes your session from the keyring. Your "
        "Corvanta account itself stays on the server.";

    AccountView(AuthService &authService, std::shared_ptr<platform::UrlOpener> urlOpener,
                std::shared_ptr<platform::AlertPresenter> alerts, QWidget *parent = nullptr);
    ~AccountView() override;

    bool showsSignedInCard() const;
    QString errorMessage() const { return m_errorMessage; }
    bool showingErrorAlert() const { return m_showingErrorAlert; }
    bool showingDeleteConfirmation() const { return m_showingDeleteConfirmation; }

    // The actions of the buttons, for the widgets and for tests; each returns at once.
    void logIn();
    void signInWithApple();
    void signInWithGoogle();
    void openSignUpPage();
    void signOut();
    void confirmDeletion();

    // How the page draws its symbols and the logo; until one is given it draws none.
    void setSymbolPainter(AccountSymbolPainter painter);

private:
    QWidget *buildSignedInCard();
    QWidget *buildSignInForm();
    QPushButton *button(const QString &text, const char *name, const AccountButton::Look &look);
    void refresh();
    void refreshButtons();
    void refreshSessionNotice();
    QCoro::Task<void> runSignIn(QCoro::Task<void> signIn);
    QCoro::Task<void> showSignUpPage(QUrl url);
    QCoro::Task<void> deleteAfterConfirmation();
    QCoro::Task<void> showError(QString message);

    AuthService &m_authService;
    std::shared_ptr<platform::UrlOpener> m_urlOpener;
    std::shared_ptr<platform::AlertPresenter> m_alerts;
    QString m_errorMessage;
    bool m_showingErrorAlert = false;
    bool m_showingDeleteConfirmation = false;

    QStackedWidget *m_pages = nullptr;
    QLabel *m_sessionNotice = nullptr;
    QWidget *m_card = nullptr;
    QWidget *m_form = nullptr;
    QLabel *m_initials = nullptr;
    QLabel *m_name = nullptr;
    QLabel *m_email = nullptr;
    QLabel *m_linked = nullptr;
    QLineEdit *m_emailField = nullptr;
    QLineEdit *m_passwordField = nullptr;
    QPushButton *m_logIn = nullptr;
    QPushButton *m_apple = nullptr;
    QPushButton *m_google = nullptr;
    QProgressBar *m_progress = nullptr;
    std::shared_ptr<bool> m_alive;
    SharedSymbolPainter m_symbols = std::make_shared<AccountSymbolPainter>();
};
