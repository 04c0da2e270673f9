#include "account/AccountView.h"

#include "account/AccountLook.h"
#include "account/AccountPresentation.h"
#include "account/AuthError.h"
#include "account/AuthService.h"
#include "account/Redaction.h"
#include "model/StartTask.h"
#include "platform/Alerts.h"
#include "platform/UrlOpener.h"

#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

AccountView::AccountView(AuthService &authService, std::shared_ptr<platform::UrlOpener> urlOpener,
                         std::shared_ptr<platform::AlertPresenter> alerts, QWidget *parent)
    : QWidget(parent), m_authService(authService), m_urlOpener(std::move(urlOpener)),
      m_alerts(std::move(alerts)), m_alive(std::make_shared<bool>(true))
{
    setObjectName(QStringLiteral("AccountView"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    // What the keychain could not do for the session, above either branch.
    m_sessionNotice = new QLabel(this);
    m_sessionNotice->setObjectName(QStringLiteral("sessionNoticeLabel"));
    m_sessionNotice->setTextFormat(Qt::PlainText);
    m_sessionNotice->setWordWrap(true);
    m_sessionNotice->setStyleSheet(QStringLiteral("color: rgb(255, 204, 0);"));
    layout->addWidget(m_sessionNotice);
    m_pages = new QStackedWidget(this);
    m_card = buildSignedInCard();
    m_form = buildSignInForm();
    m_pages->addWidget(m_card);
    m_pages->addWidget(m_form);
    layout->addWidget(m_pages);

    // Nobody at the computer may sign in again with a password that was typed before.
    connect(&m_authService, &AuthService::currentUserChanged, this, [this] {
        m_passwordField->clear();
        refresh();
    });
    connect(&m_authService, &AuthService::isSigningInChanged, this, &AccountView::refreshButtons);
    connect(&m_authService, &AuthService::sessionNoticeChanged, this,
            &AccountView::refreshSessionNotice);
    // The browser of a Google sign-in that failed after it seemed to have opened the page.
    connect(&m_authService, &AuthService::browserSignInFailed, this,
            [this](const QString &description) { startTask(showError(description)); });
    refresh();
    refreshSessionNotice();
}

AccountView::~AccountView()
{
    *m_alive = false;
}

QWidget *AccountView::buildSignedInCard()
{
    auto *page = new QWidget(this);
    auto *column = new QVBoxLayout(page);
    column->setSpacing(20);
    column->setContentsMargins(0, 0, 0, 0);

    auto *card = new QFrame(page);
    card->setObjectName(QStringLiteral("profileCard"));
    card->setStyleSheet(
        QStringLiteral("#profileCard { background: rgba(255,255,255,15); border-radius: 12px; }"));
    auto *row = new QHBoxLayout(card);
    row->setContentsMargins(16, 16, 16, 16);
    row->setSpacing(16);

    m_initials = accountLook::label(QString(), 20, QFont::Bold, false, card);
    m_initials->setObjectName(QStringLiteral("initialsLabel"));
    m_initials->setFixedSize(56, 56);
    m_initials->setAlignment(Qt::AlignCenter);
    m_initials->setStyleSheet(QStringLiteral(
        "color: white; border-radius: 28px; background: qlineargradient(x1:0, y1:0, x2:1, y2:1,"
        " stop:0 rgba(175,82,222,179), stop:1 rgba(0,122,255,179));"));
    row->addWidget(m_initials);

    auto *text = new QVBoxLayout;
    text->setSpacing(4);
    m_name = accountLook::label(QString(), 16, QFont::DemiBold, false, card);
    m_name->setObjectName(QStringLiteral("nameLabel"));
    m_email = accountLook::label(QString(), 12, QFont::Normal, true, card);
    m_email->setObjectName(QStringLiteral("emailLabel"));
    auto *linkedRow = new QHBoxLayout;
    linkedRow->setSpacing(6);
    auto *dot = new QFrame(card);
    dot->setFixedSize(8, 8);
    dot->setStyleSheet(QStringLiteral("background: #34c759; border-radius: 4px;"));
    m_linked = accountLook::label(QString(), 11, QFont::Medium, true, card);
    m_linked->setObjectName(QStringLiteral("linkedLabel"));
    linkedRow->addWidget(dot);
    linkedRow->addWidget(m_linked);
    linkedRow->addStretch();
    text->addWidget(m_name);
    text->addWidget(m_email);
    text->addLayout(linkedRow);
    row->addLayout(text);
    row->addStretch();
    column->addWidget(card);

    auto *divider = new QFrame(page);
    divider->setFixedHeight(1);
    divider->setStyleSheet(QStringLiteral("QFrame { background: rgba(255,255,255,26);"
                                          " border: none; }"));
    column->addWidget(divider);

    auto *management = new QVBoxLayout;
    management->setSpacing(14);
    management->addWidget(
        accountLook::label(QStringLiteral("Account Management"), 13, QFont::Medium, true, page));
    auto *actions = new QHBoxLayout;
    QPushButton *signOutButton = button(QStringLiteral("Sign Out"), "signOutButton",
                                        {.fill = QColor(255, 255, 255, 20),
                                         .outline = QColor(255, 255, 255, 38),
                                         .radius = 6,
                                         .fontSize = 13,
                                         .weight = QFont::Normal,
                                         .verticalPadding = 5});
    QPushButton *deleteButton = button(QStringLiteral("Delete Account..."), "deleteButton",
                                       {.text = QColor(255, 69, 58),
                                        .fontSize = 12,
                                        .weight = QFont::Normal,
                                        .verticalPadding = 4});
    actions->addWidget(signOutButton);
    actions->addStretch();
    actions->addWidget(deleteButton);
    management->addLayout(actions);
    column->addLayout(management);
    column->addStretch();

    connect(signOutButton, &QPushButton::clicked, this, &AccountView::signOut);
    connect(deleteButton, &QPushButton::clicked, this, &AccountView::confirmDeletion);
    return page;
}

QWidget *AccountView::buildSignInForm()
{
    using accountLook::label;
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto *content = new QWidget(scroll);
    auto *page = new QVBoxLayout(content);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(20);
    page->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    // The welcome beside the sign-in column, in one container: so the form, its links and the
    // terms line all fit the window's default size.
    auto *container = new QFrame(content);
    container->setObjectName(QStringLiteral("signInContainer"));
    container->setMaximumWidth(680);
    container->setMinimumHeight(480);
    container->setStyleSheet(
        QStringLiteral("#signInContainer { background: rgba(0,0,0,77); border-radius: 20px;"
                       " border: 1px solid rgba(255,255,255,26); }"));
    auto *containerRow = new QHBoxLayout(container);
    containerRow->setContentsMargins(0, 0, 0, 0);
    containerRow->setSpacing(0);

    auto *welcome = new QVBoxLayout;
    welcome->setContentsMargins(24, 24, 8, 24);
    welcome->setSpacing(16);
    welcome->addStretch(1);
    auto *logo = new AccountSymbol(m_symbols, QStringLiteral("AppLogo"), QSize(96, 96), Qt::white,
                                   container);
    logo->setObjectName(QStringLiteral("welcomeLogo"));
    auto *shadow = new QGraphicsDropShadowEffect(logo);
    shadow->setColor(QColor(0, 0, 0, 77));
    shadow->setBlurRadius(30);
    shadow->setOffset(0, 8);
    logo->setGraphicsEffect(shadow);
    welcome->addWidget(logo, 0, Qt::AlignHCenter);
    QLabel *title = label(QStringLiteral("Welcome to Corvanta"), 28, QFont::Bold, false, container);
    title->setObjectName(QStringLiteral("welcomeTitle"));
    title->setAlignment(Qt::AlignCenter);
    title->setWordWrap(true);
    welcome->addWidget(title);
    QLabel *tagline = label(QStringLiteral("Capture, record, and keep everything within reach."),
                            15, QFont::Normal, true, container);
    tagline->setAlignment(Qt::AlignCenter);
    tagline->setWordWrap(true);
    welcome->addWidget(tagline);
    welcome->addStretch(1);
    containerRow->addLayout(welcome, 1);

    auto *form = new QWidget(container);
    form->setMaximumWidth(320);
    form->setMinimumWidth(280);
    auto *column = new QVBoxLayout(form);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(0);
    containerRow->addWidget(form, 1);

    QLabel *heading =
        label(QStringLiteral("Sign in to your account"), 16, QFont::Medium, false, form);
    heading->setObjectName(QStringLiteral("signInHeading"));
    column->addWidget(heading);
    column->addSpacing(24);
    m_emailField = new QLineEdit(form);
    m_emailField->setObjectName(QStringLiteral("emailField"));
    m_emailField->setPlaceholderText(QStringLiteral("Email address"));
    m_passwordField = new QLineEdit(form);
    m_passwordField->setObjectName(QStringLiteral("passwordField"));
    m_passwordField->setPlaceholderText(QStringLiteral("Password"));
    m_passwordField->setEchoMode(QLineEdit::Password);
    column->addWidget(accountLook::fieldRow(m_symbols, QStringLiteral("envelope"), m_emailField));
    column->addSpacing(12);
    column->addWidget(accountLook::fieldRow(m_symbols, QStringLiteral("lock"), m_passwordField,
                                            QStringLiteral("eye.slash")));

    const AccountButton::Look link{.text = accountLook::linkColor(),
                                   .fontSize = 12,
                                   .weight = QFont::Normal,
                                   .verticalPadding = 2};
    column->addSpacing(12);
    auto *forgotRow = new QHBoxLayout;
    QPushButton *forgot = button(QStringLiteral("Forgot password?"), "forgotButton", link);
    forgotRow->addStretch();
    forgotRow->addWidget(forgot);
    column->addLayout(forgotRow);

    column->addSpacing(24);
    m_logIn = button(QStringLiteral("Log In"), "logInButton",
                     {.fill = accountLook::buttonColor(),
                      .radius = 24,
                      .fontSize = 15,
                      .weight = QFont::Bold,
                      .trailingSymbol = QStringLiteral("arrow.right"),
                      .symbolSize = 15,
                      .verticalPadding = 14,
                      .fadesWhenDisabled = false});
    // Dimmed while a field is empty (a running sign-in alone does not dim it).
    m_logIn->setGraphicsEffect(new QGraphicsOpacityEffect(m_logIn));
    column->addWidget(m_logIn);
    m_progress = new QProgressBar(form);
    m_progress->setObjectName(QStringLiteral("signInProgress"));
    m_progress->setRange(0, 0);
    m_progress->setMaximumHeight(6);
    m_progress->setTextVisible(false);
    column->addSpacing(8);
    column->addWidget(m_progress);

    column->addSpacing(24);
    auto *separator = new QHBoxLayout;
    separator->setSpacing(12);
    const auto divider = [form] {
        auto *line = new QFrame(form);
        line->setFixedHeight(1);
        line->setStyleSheet(QStringLiteral("QFrame { background: rgba(255,255,255,26);"
                                           " border: none; }"));
        return line;
    };
    separator->addWidget(divider(), 1);
    separator->addWidget(label(QStringLiteral("OR CONTINUE WITH"), 10, QFont::Medium, true, form));
    separator->addWidget(divider(), 1);
    column->addLayout(separator);
    column->addSpacing(24);

    const AccountButton::Look provider{.fill = QColor(255, 255, 255, 13),
                                       .outline = QColor(255, 255, 255, 38),
                                       .radius = 20,
                                       .fontSize = 14,
                                       .weight = QFont::Medium};
    AccountButton::Look apple = provider;
    apple.leadingSymbol = QStringLiteral("applelogo");
    AccountButton::Look google = provider;
    google.leadingSymbol = QStringLiteral("g.circle.fill");
    m_apple = button(QStringLiteral("Sign in with Apple"), "appleButton", apple);
    m_google = button(QStringLiteral("Sign in with Google"), "googleButton", google);
    column->addWidget(m_apple);
    column->addSpacing(12);
    column->addWidget(m_google);

    column->addSpacing(24);
    auto *footer = new QHBoxLayout;
    footer->setSpacing(4);
    footer->addStretch();
    footer->addWidget(
        label(QStringLiteral("Don't have an account?"), 13, QFont::Normal, true, form));
    AccountButton::Look underlined = link;
    underlined.fontSize = 13;
    underlined.underline = true;
    QPushButton *create =
        button(QStringLiteral("Create account"), "createAccountButton", underlined);
    footer->addWidget(create);
    footer->addStretch();
    column->addLayout(footer);
    // The column's width, or the footer's where this desktop's font is wider.
    form->setMaximumWidth(std::max(320, footer->sizeHint().width() + 48));
    column->addStretch(1);

    page->addWidget(container);
    auto *terms = label(
        QStringLiteral("By continuing, you agree to our Terms of Service and Privacy Policy."), 12,
        QFont::Normal, true, content);
    terms->setObjectName(QStringLiteral("termsLine"));
    terms->setAlignment(Qt::AlignCenter);
    terms->setWordWrap(true);
    terms->setContentsMargins(0, 16 - page->spacing(), 0, 24);
    page->addWidget(terms);
    page->addStretch(1);
    scroll->setWidget(content);

    connect(m_emailField, &QLineEdit::textChanged, this, &AccountView::refreshButtons);
    connect(m_passwordField, &QLineEdit::textChanged, this, &AccountView::refreshButtons);
    connect(m_logIn, &QPushButton::clicked, this, &AccountView::logIn);
    connect(m_apple, &QPushButton::clicked, this, &AccountView::signInWithApple);
    connect(m_google, &QPushButton::clicked, this, &AccountView::signInWithGoogle);
    connect(forgot, &QPushButton::clicked, this, &AccountView::openSignUpPage);
    connect(create, &QPushButton::clicked, this, &AccountView::openSignUpPage);
    return scroll;
}

void AccountView::setSymbolPainter(AccountSymbolPainter painter)
{
    *m_symbols = std::move(painter);
    update();
    for (QWidget *child : findChildren<QWidget *>())
        child->update();
}

QPushButton *AccountView::button(const QString &text, const char *name,
                                 const AccountButton::Look &look)
{
    auto *result = new AccountButton(text, look, m_symbols, this);
    result->setObjectName(QLatin1String(name));
    return result;
}

bool AccountView::showsSignedInCard() const
{
    return m_pages->currentWidget() == m_card;
}

void AccountView::refresh()
{
    const std::optional<UserProfile> &user = m_authService.currentUser();
    if (user) {
        m_initials->setText(accountPresentation::initials(user->displayName));
        m_name->setText(redaction::shownText(accountPresentation::nameLine(user->displayName)));
        m_email->setText(redaction::shownText(user->email.value_or(QString())));
        m_email->setVisible(user->email.has_value());
        m_linked->setText(accountPresentation::linkedAccountLine(user->appleUserID));
        m_pages->setCurrentWidget(m_card);
    } else {
        m_pages->setCurrentWidget(m_form);
    }
    refreshButtons();
}

void AccountView::refreshSessionNotice()
{
    const std::optional<QString> &notice = m_authService.sessionNotice();
    m_sessionNotice->setText(notice.value_or(QString()));
    m_sessionNotice->setVisible(notice.has_value());
}

void AccountView::refreshButtons()
{
    const bool signingIn = m_authService.isSigningIn();
    const QString email = m_emailField->text();
    const QString password = m_passwordField->text();
    m_logIn->setEnabled(accountPresentation::logInEnabled(signingIn, email, password));
    static_cast<QGraphicsOpacityEffect *>(m_logIn->graphicsEffect())
        ->setOpacity(accountPresentation::logInOpacity(email, password));
    m_apple->setEnabled(!signingIn);
    m_google->setEnabled(!signingIn);
    m_progress->setVisible(signingIn);
}

QCoro::Task<void> AccountView::showError(QString message)
{
    m_errorMessage = message;
    m_showingErrorAlert = true;
    std::shared_ptr<bool> alive = m_alive;
    platform::Alert alert;
    alert.messageText = QStringLiteral("Account Error");
    alert.informativeText = redaction::shownMessage(message);
    alert.buttonTitles = QStringList{QStringLiteral("OK")};
    alert.window = this;
    co_await m_alerts->present(alert);
    if (*alive)
        m_showingErrorAlert = false;
}

QCoro::Task<void> AccountView::runSignIn(QCoro::Task<void> signIn)
{
    std::shared_ptr<bool> alive = m_alive;
    QString failure;
    try {
        co_await std::move(signIn);
        co_return;
    } catch (const AuthError &error) {
        if (error.code() == AuthError::Code::signInCancelled)
            co_return;
        failure = error.description();
    } catch (const SignInOvertakenError &) {
        // What the user did since, another sign-in or a sign-out, is what the page shows.
        co_return;
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    }
    if (*alive)
        co_await showError(failure);
}

void AccountView::logIn()
{
    // Ignored like the disabled button would be: a call while a field is empty sends nothing.
    if (!m_logIn->isEnabled())
        return;
    AuthService *service = &m_authService;
    startTask(
        runSignIn([](AuthService *service, QString email, QString password) -> QCoro::Task<void> {
            co_await service->signInWithEmail(email, password);
        }(service, m_emailField->text(), m_passwordField->text())));
}

void AccountView::signInWithApple()
{
    startTask(runSignIn([](AuthService *service) -> QCoro::Task<void> {
        co_await service->signInWithApple();
    }(&m_authService)));
}

void AccountView::signInWithGoogle()
{
    startTask(runSignIn(m_authService.signInWithGoogle()));
}

void AccountView::openSignUpPage()
{
    const QUrl url(QString::fromLatin1(accountPresentation::signUpPage));
    if (url.isValid() && m_urlOpener)
        startTask(showSignUpPage(url));
}

QCoro::Task<void> AccountView::showSignUpPage(QUrl url)
{
    std::shared_ptr<bool> alive = m_alive;
    const std::shared_ptr<platform::UrlOpener> opener = m_urlOpener;
    const QString notOpened = QString::fromLatin1(accountPresentation::signUpPageNotOpened);
    // Made apart from the co_await: GCC 12 destroys a lambda made within it twice.
    const std::function<void()> failedLater = [this, alive, notOpened] {
        if (*alive)
            startTask(showError(notOpened));
    };
    const bool opened = co_await opener->openInBrowser(url, failedLater);
    if (!opened && *alive)
        co_await showError(notOpened);
}

void AccountView::signOut()
{
    startTask(m_authService.signOut());
}

void AccountView::confirmDeletion()
{
    startTask(deleteAfterConfirmation());
}

QCoro::Task<void> AccountView::deleteAfterConfirmation()
{
    std::shared_ptr<bool> alive = m_alive;
    m_showingDeleteConfirmation = true;
    platform::Alert confirmation;
    confirmation.messageText = QStringLiteral("Delete Corvanta Account?");
    confirmation.informativeText = QString::fromLatin1(deletionMessage);
    confirmation.buttonTitles =
        QStringList{QStringLiteral("Delete Account"), QStringLiteral("Cancel")};
    confirmation.destructiveButton = 0;
    confirmation.window = this;
    const int answer = co_await m_alerts->present(confirmation);
    if (!*alive)
        co_return;
    m_showingDeleteConfirmation = false;
    if (answer != 0)
        co_return;
    QString failure;
    try {
        co_await m_authService.deleteAccount();
        co_return;
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    }
    if (*alive)
        co_await showError(failure);
}
