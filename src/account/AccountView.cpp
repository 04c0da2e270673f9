#include "account/AccountView.h"

#include "account/AccountPresentation.h"
#include "account/AuthError.h"
#include "account/AuthService.h"
#include "account/Detached.h"
#include "platform/Alerts.h"
#include "platform/UrlOpener.h"

#include <QFrame>
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

namespace {

QLabel *plainLabel(const QString &text, int pointSize, QFont::Weight weight, QWidget *parent,
                   bool secondary = false)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    QFont font = label->font();
    font.setPixelSize(pointSize);
    font.setWeight(weight);
    label->setFont(font);
    if (secondary)
        label->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 0.55);"));
    return label;
}

QPushButton *button(const QString &text, const char *name, QWidget *parent)
{
    auto *result = new QPushButton(text, parent);
    result->setObjectName(QLatin1String(name));
    // Return in a field must not press a button.
    result->setAutoDefault(false);
    result->setDefault(false);
    return result;
}

QLineEdit *field(const QString &placeholder, const char *name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setPlaceholderText(placeholder);
    edit->setStyleSheet(QStringLiteral(
        "QLineEdit { padding: 14px; background: rgba(255, 255, 255, 0.03);"
        " border: 1px solid rgba(255, 255, 255, 0.15); border-radius: 8px; font-size: 14px; }"));
    return edit;
}

} // namespace

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

    connect(&m_authService, &AuthService::currentUserChanged, this, &AccountView::refresh);
    connect(&m_authService, &AuthService::isSigningInChanged, this, &AccountView::refreshButtons);
    connect(&m_authService, &AuthService::sessionNoticeChanged, this,
            &AccountView::refreshSessionNotice);
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
    card->setStyleSheet(QStringLiteral(
        "#profileCard { background: rgba(128, 128, 128, 0.06); border-radius: 12px; }"));
    auto *row = new QHBoxLayout(card);
    row->setContentsMargins(16, 16, 16, 16);
    row->setSpacing(16);

    m_initials = plainLabel(QString(), 20, QFont::Bold, card);
    m_initials->setObjectName(QStringLiteral("initialsLabel"));
    m_initials->setFixedSize(56, 56);
    m_initials->setAlignment(Qt::AlignCenter);
    m_initials->setStyleSheet(QStringLiteral(
        "color: white; border-radius: 28px; background: qlineargradient(x1:0, y1:0, x2:1, y2:1,"
        " stop:0 rgba(175, 82, 222, 0.7), stop:1 rgba(0, 122, 255, 0.7));"));
    row->addWidget(m_initials);

    auto *text = new QVBoxLayout;
    text->setSpacing(4);
    m_name = plainLabel(QString(), 16, QFont::DemiBold, card);
    m_name->setObjectName(QStringLiteral("nameLabel"));
    m_email = plainLabel(QString(), 12, QFont::Normal, card, true);
    m_email->setObjectName(QStringLiteral("emailLabel"));
    auto *linkedRow = new QHBoxLayout;
    linkedRow->setSpacing(6);
    auto *dot = new QFrame(card);
    dot->setFixedSize(8, 8);
    dot->setStyleSheet(QStringLiteral("background: #34c759; border-radius: 4px;"));
    m_linked = plainLabel(QString(), 11, QFont::Medium, card, true);
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
    divider->setFrameShape(QFrame::HLine);
    column->addWidget(divider);

    auto *management = new QVBoxLayout;
    management->setSpacing(14);
    management->addWidget(
        plainLabel(QStringLiteral("Account Management"), 13, QFont::Medium, page, true));
    auto *actions = new QHBoxLayout;
    QPushButton *signOutButton = button(QStringLiteral("Sign Out"), "signOutButton", page);
    QPushButton *deleteButton = button(QStringLiteral("Delete Account..."), "deleteButton", page);
    deleteButton->setFlat(true);
    deleteButton->setStyleSheet(QStringLiteral("color: red; font-size: 12px;"));
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
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto *content = new QWidget(scroll);
    auto *page = new QVBoxLayout(content);
    page->setSpacing(20);
    page->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    auto *title = plainLabel(QStringLiteral("Welcome to Corvanta"), 28, QFont::Bold, content);
    title->setAlignment(Qt::AlignCenter);
    auto *tagline = plainLabel(QStringLiteral("Capture, record, and keep everything within reach."),
                               15, QFont::Normal, content, true);
    tagline->setAlignment(Qt::AlignCenter);
    page->addSpacing(24);
    page->addWidget(title);
    page->addWidget(tagline);

    auto *container = new QFrame(content);
    container->setObjectName(QStringLiteral("signInContainer"));
    container->setMaximumWidth(680);
    container->setMinimumHeight(480);
    container->setStyleSheet(
        QStringLiteral("#signInContainer { background: rgba(0, 0, 0, 0.3); border-radius: 20px;"
                       " border: 1px solid rgba(255, 255, 255, 0.1); }"));
    auto *containerRow = new QHBoxLayout(container);
    auto *form = new QWidget(container);
    form->setMaximumWidth(320);
    auto *column = new QVBoxLayout(form);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(0);
    containerRow->addWidget(form);

    column->addWidget(
        plainLabel(QStringLiteral("Sign in to your account"), 16, QFont::Medium, form));
    column->addSpacing(24);
    m_emailField = field(QStringLiteral("Email address"), "emailField", form);
    m_passwordField = field(QStringLiteral("Password"), "passwordField", form);
    m_passwordField->setEchoMode(QLineEdit::Password);
    column->addWidget(m_emailField);
    column->addSpacing(12);
    column->addWidget(m_passwordField);

    column->addSpacing(12);
    auto *forgotRow = new QHBoxLayout;
    QPushButton *forgot = button(QStringLiteral("Forgot password?"), "forgotButton", form);
    forgot->setFlat(true);
    forgotRow->addStretch();
    forgotRow->addWidget(forgot);
    column->addLayout(forgotRow);

    column->addSpacing(24);
    m_logIn = button(QStringLiteral("Log In  →"), "logInButton", form);
    m_logIn->setStyleSheet(
        QStringLiteral("QPushButton { padding: 14px; background: rgb(153, 102, 255); color: white;"
                       " border-radius: 24px; font-weight: bold; font-size: 15px; }"));
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
    auto *left = new QFrame(form);
    left->setFrameShape(QFrame::HLine);
    auto *right = new QFrame(form);
    right->setFrameShape(QFrame::HLine);
    separator->addWidget(left, 1);
    separator->addWidget(
        plainLabel(QStringLiteral("OR CONTINUE WITH"), 10, QFont::Medium, form, true));
    separator->addWidget(right, 1);
    column->addLayout(separator);
    column->addSpacing(24);

    m_apple = button(QStringLiteral("Sign in with Apple"), "appleButton", form);
    m_google = button(QStringLiteral("Sign in with Google"), "googleButton", form);
    column->addWidget(m_apple);
    column->addSpacing(12);
    column->addWidget(m_google);

    column->addSpacing(24);
    auto *footer = new QHBoxLayout;
    footer->setSpacing(4);
    footer->addStretch();
    footer->addWidget(
        plainLabel(QStringLiteral("Don't have an account?"), 13, QFont::Normal, form, true));
    QPushButton *create = button(QStringLiteral("Create account"), "createAccountButton", form);
    create->setFlat(true);
    QFont underlined = create->font();
    underlined.setUnderline(true);
    create->setFont(underlined);
    footer->addWidget(create);
    footer->addStretch();
    column->addLayout(footer);

    page->addWidget(container, 0, Qt::AlignHCenter);
    auto *terms = plainLabel(
        QStringLiteral("By continuing, you agree to our Terms of Service and Privacy Policy."), 12,
        QFont::Normal, content, true);
    terms->setAlignment(Qt::AlignCenter);
    page->addWidget(terms);
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

bool AccountView::showsSignedInCard() const
{
    return m_pages->currentWidget() == m_card;
}

void AccountView::refresh()
{
    const std::optional<UserProfile> &user = m_authService.currentUser();
    if (user) {
        m_initials->setText(accountPresentation::initials(user->displayName));
        m_name->setText(accountPresentation::nameLine(user->displayName));
        m_email->setText(user->email.value_or(QString()));
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
    alert.informativeText = message;
    alert.buttonTitles = QStringList{QStringLiteral("OK")};
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
    detached(
        runSignIn([](AuthService *service, QString email, QString password) -> QCoro::Task<void> {
            co_await service->signInWithEmail(email, password);
        }(service, m_emailField->text(), m_passwordField->text())));
}

void AccountView::signInWithApple()
{
    detached(runSignIn([](AuthService *service) -> QCoro::Task<void> {
        co_await service->signInWithApple();
    }(&m_authService)));
}

void AccountView::signInWithGoogle()
{
    m_authService.signInWithGoogle();
}

void AccountView::openSignUpPage()
{
    const QUrl url(QString::fromLatin1(accountPresentation::signUpPage));
    if (url.isValid() && m_urlOpener)
        m_urlOpener->openUrl(url);
}

void AccountView::signOut()
{
    detached(m_authService.signOut());
}

void AccountView::confirmDeletion()
{
    detached(deleteAfterConfirmation());
}

QCoro::Task<void> AccountView::deleteAfterConfirmation()
{
    std::shared_ptr<bool> alive = m_alive;
    m_showingDeleteConfirmation = true;
    platform::Alert confirmation;
    confirmation.messageText = QStringLiteral("Delete Corvanta Account?");
    confirmation.informativeText =
        QStringLiteral("This will permanently delete your Corvanta profile and cloud settings.");
    confirmation.buttonTitles =
        QStringList{QStringLiteral("Delete Account"), QStringLiteral("Cancel")};
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
