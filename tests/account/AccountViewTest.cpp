#include "account/AccountView.h"
#include "AccountFixture.h"
#include "account/AccountPresentation.h"
#include "account/AuthError.h"
#include "account/Redaction.h"
#include "platform/linux/MessageBoxAlertPresenter.h"
#include "support/FakeAlertPresenter.h"

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <qcoro/qcoronetworkreply.h>

namespace {

using Reply = LocalAuthServer::Reply;

TEST(AccountPresentation, InitialsAndLinkedAccountLine)
{
    using namespace accountPresentation;
    EXPECT_EQ(initials(QStringLiteral("north star")), "NS");
    EXPECT_EQ(initials(QStringLiteral("north")), "N");
    EXPECT_EQ(initials(QStringLiteral("north b star")), "NB");
    EXPECT_EQ(initials(QStringLiteral("  north   star ")), "NS");
    EXPECT_EQ(initials(std::nullopt), "C");
    EXPECT_EQ(initials(QString()), "C");
    // The first printed letter: direction controls and spaces are no initial, an accent stays
    // with its letter and a letter beyond the basic plane stays whole.
    EXPECT_EQ(initials(QString::fromUtf16(u"\u202Enorth")), "N");
    EXPECT_EQ(initials(QString::fromUtf16(u"\u2067\u200F north \u202E\U0001D4C8tar")),
              QString::fromUtf16(u"N\U0001D4C8"));
    EXPECT_EQ(initials(QString::fromUtf16(u"\u202Ae\u0301mile")), QString::fromUtf16(u"E\u0301"));
    EXPECT_EQ(initials(QString::fromUtf16(u"\u202E \u2066") + QChar(0xD835)), "C");
    EXPECT_EQ(nameLine(std::nullopt), "Corvanta Member");
    EXPECT_EQ(nameLine(QString()), "");
    EXPECT_EQ(linkedAccountLine(QStringLiteral("google_ABC")), "Google Account Linked");
    EXPECT_EQ(linkedAccountLine(QStringLiteral("email_ABC")), "Email Account Linked");
    EXPECT_EQ(linkedAccountLine(QStringLiteral("001234.abc")), "Apple ID Linked");
}

TEST(ShownText, DirectionControlsAreEscapedAndLongMessagesCut)
{
    using namespace redaction;
    // Every direction control is escaped; line breaks, joiners and accents stay as they are.
    EXPECT_EQ(shownText(QString::fromUtf16(u"a\u202Ab\u202Ec\u2066d\u2069e\u200Ef\u200Fg\u061Ch"
                                           u"\u2067i\nj\u00E9\U0001F469\u200D\U0001F4BB")),
              QString::fromUtf16(u"a\\u{202A}b\\u{202E}c\\u{2066}d\\u{2069}e\\u{200E}f\\u{200F}"
                                 u"g\\u{061C}h\\u{2067}i\nj\u00E9\U0001F469\u200D\U0001F4BB"));

    const QString five = QStringLiteral("1\n2\r\n3\n4\n5");
    EXPECT_EQ(shownMessage(five), five);
    EXPECT_EQ(shownMessage(five + QStringLiteral("\r\n6\n7")), five + u'\u2026');
    EXPECT_EQ(shownMessage(QString(3000, u'x')), QString(300, u'x') + u'\u2026');
    // A cut never splits an escape or a character.
    EXPECT_EQ(shownMessage(QString(298, u'x') + QString::fromUtf16(u"\u202Ey")),
              QString(298, u'x') + u'\u2026');
    EXPECT_EQ(shownMessage(QString(299, u'x') + QString::fromUtf16(u"\U0001F600")),
              QString(299, u'x') + u'\u2026');
}

class AccountViewTest : public AccountFixture {
protected:
    void SetUp() override
    {
        AccountFixture::SetUp();
        view = std::make_unique<AccountView>(*service, urlOpener, alerts);
        view->resize(980, 640);
        view->show();
    }
    void TearDown() override { view.reset(); }

    template <typename W> W *child(const char *name) const
    {
        W *widget = view->findChild<W *>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QPushButton *logInButton() const { return child<QPushButton>("logInButton"); }
    double logInOpacity() const
    {
        return static_cast<QGraphicsOpacityEffect *>(logInButton()->graphicsEffect())->opacity();
    }
    void type(const QString &email, const QString &password)
    {
        child<QLineEdit>("emailField")->setText(email);
        child<QLineEdit>("passwordField")->setText(password);
    }

    std::shared_ptr<FakeAlertPresenter> alerts = std::make_shared<FakeAlertPresenter>();
    std::unique_ptr<AccountView> view;
};

TEST_F(AccountViewTest, LogInNeedsBothFieldsAndReturnDoesNotSignIn)
{
    EXPECT_FALSE(view->showsSignedInCard());
    type(QString::fromLatin1(LocalAuthServer::email), QString());
    EXPECT_FALSE(logInButton()->isEnabled());
    EXPECT_DOUBLE_EQ(logInOpacity(), 0.6);
    EXPECT_EQ(child<QLineEdit>("passwordField")->echoMode(), QLineEdit::Password);

    QTest::keyClicks(child<QLineEdit>("passwordField"), QStringLiteral("x"));
    EXPECT_TRUE(logInButton()->isEnabled());
    EXPECT_DOUBLE_EQ(logInOpacity(), 1.0);
    QTest::keyClick(child<QLineEdit>("passwordField"), Qt::Key_Return);
    QTest::keyClick(child<QLineEdit>("emailField"), Qt::Key_Return);
    QTest::qWait(50);
    EXPECT_TRUE(server.requests.isEmpty());
    EXPECT_TRUE(child<QPushButton>("appleButton")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("googleButton")->isEnabled());
    EXPECT_FALSE(child<QProgressBar>("signInProgress")->isVisible());
}

TEST_F(AccountViewTest, RunningSignInDisablesTheSignInButtonsAndAFailureShowsTheAlert)
{
    type(QString::fromLatin1(LocalAuthServer::email), QStringLiteral("wrong password"));
    server.script(Reply::silent());
    QTest::mouseClick(logInButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return service->isSigningIn(); }));
    EXPECT_FALSE(logInButton()->isEnabled());
    EXPECT_DOUBLE_EQ(logInOpacity(), 1.0) << "a running sign-in alone does not dim";
    EXPECT_FALSE(child<QPushButton>("appleButton")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("googleButton")->isEnabled());
    EXPECT_TRUE(child<QProgressBar>("signInProgress")->isVisible());
    QTest::mouseClick(child<QPushButton>("forgotButton"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("createAccountButton"), Qt::LeftButton);
    ASSERT_EQ(urlOpener->opened.size(), 2);
    EXPECT_EQ(urlOpener->opened[0], urlOpener->opened[1]);
    EXPECT_EQ(urlOpener->opened[0].scheme(), "https");
    EXPECT_EQ(urlOpener->opened[0].path(), "/signup");

    ASSERT_TRUE(waitUntil([this] { return !alerts->presented.isEmpty(); }));
    EXPECT_EQ(alerts->presented[0].messageText, "Account Error");
    EXPECT_FALSE(alerts->presented[0].informativeText.isEmpty()) << "the transport's own reason";
    EXPECT_TRUE(logInButton()->isEnabled());

    alerts->presented.clear();
    QTest::mouseClick(logInButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return !alerts->presented.isEmpty(); }));
    EXPECT_EQ(alerts->presented[0].informativeText, "Invalid login credentials");
    EXPECT_EQ(view->errorMessage(), "Invalid login credentials");
    EXPECT_EQ(child<QLineEdit>("emailField")->text(), LocalAuthServer::email);
    EXPECT_EQ(child<QLineEdit>("passwordField")->text(), "wrong password");
    EXPECT_FALSE(view->showsSignedInCard());
}

TEST_F(AccountViewTest, ASignInOvertakenByASignOutEndsWithoutAnAlert)
{
    holding->holdGrant(QStringLiteral("password"));
    type(QString::fromLatin1(LocalAuthServer::email),
         QString::fromLatin1(LocalAuthServer::password));
    QTest::mouseClick(logInButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return holding->gate.waiting() == 1; }));
    view->signOut();
    holding->gate.open();
    ASSERT_TRUE(waitUntil([this] { return !service->isSigningIn(); }));

    // The next alert is the next failure's.
    server.script(Reply::json(400, R"({"error_description":"Invalid login credentials"})"));
    QTest::mouseClick(logInButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return !alerts->presented.isEmpty(); }));
    EXPECT_EQ(alerts->presented[0].informativeText, "Invalid login credentials");
    EXPECT_FALSE(view->showsSignedInCard());
}

TEST_F(AccountViewTest, SignInShowsTheCardAndSignOutTheForm)
{
    type(QString::fromLatin1(LocalAuthServer::email),
         QString::fromLatin1(LocalAuthServer::password));
    QTest::mouseClick(logInButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return view->showsSignedInCard(); }));
    EXPECT_EQ(child<QLabel>("nameLabel")->text(), "jane.doe");
    EXPECT_EQ(child<QLabel>("initialsLabel")->text(), "J");
    EXPECT_EQ(child<QLabel>("emailLabel")->text(), LocalAuthServer::email);
    EXPECT_TRUE(child<QLabel>("emailLabel")->isVisible());
    EXPECT_EQ(child<QLabel>("linkedLabel")->text(), "Email Account Linked");
    EXPECT_TRUE(alerts->presented.isEmpty());

    QTest::mouseClick(child<QPushButton>("signOutButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return !view->showsSignedInCard(); }));
    EXPECT_TRUE(secrets->items.isEmpty());
}

TEST_F(AccountViewTest, NoPasswordIsLeftInTheFormAfterASignInOrASignOut)
{
    auto *email = child<QLineEdit>("emailField");
    auto *password = child<QLineEdit>("passwordField");
    type(QString::fromLatin1(LocalAuthServer::email),
         QString::fromLatin1(LocalAuthServer::password));
    QTest::mouseClick(logInButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return view->showsSignedInCard(); }));
    EXPECT_EQ(password->text(), "") << "after the form's own sign-in";

    // Typed while signed in (the form is out of sight, not out of reach), then signed out.
    password->setText(QStringLiteral("typed later"));
    QTest::mouseClick(child<QPushButton>("signOutButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return !view->showsSignedInCard(); }));
    EXPECT_EQ(password->text(), "") << "after a sign-out";
    EXPECT_EQ(email->text(), LocalAuthServer::email) << "the e-mail may stay";
    EXPECT_FALSE(logInButton()->isEnabled());

    // A sign-in elsewhere (the browser) while a password waits in the form.
    password->setText(QStringLiteral("half typed"));
    server.implicitFlow = true;
    service->signInWithGoogle();
    ASSERT_EQ(urlOpener->opened.size(), 1);
    QNetworkAccessManager browser;
    browser.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    std::unique_ptr<QNetworkReply> reply(browser.get(QNetworkRequest(urlOpener->opened[0])));
    QCoro::waitFor(qCoro(reply.get()).waitForFinished());
    await(service->handleAuthCallback(QUrl(QString::fromUtf8(reply->rawHeader("Location")))));
    ASSERT_TRUE(view->showsSignedInCard());
    EXPECT_EQ(password->text(), "") << "after a browser sign-in";

    // A failed sign-in keeps what was typed, so that the user can try again.
    QCoro::waitFor(service->signOut());
    type(QString::fromLatin1(LocalAuthServer::email), QStringLiteral("wrong"));
    QTest::mouseClick(logInButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return !alerts->presented.isEmpty(); }));
    EXPECT_EQ(password->text(), "wrong");
}

// The deletion's confirmation, as the real alert shows it.
TEST_F(AccountViewTest, DeletionIsNeverTheDefaultAndSaysWhatItDoes)
{
    view.reset();
    view = std::make_unique<AccountView>(*service, urlOpener,
                                         std::make_shared<platform::MessageBoxAlertPresenter>());
    view->show();
    const UserProfile profile = signInByEmail();
    const auto confirmation = [] {
        QMessageBox *box = nullptr;
        waitUntil([&] {
            for (QWidget *widget : QApplication::topLevelWidgets())
                if ((box = qobject_cast<QMessageBox *>(widget)) && box->isVisible())
                    return true;
            return false;
        });
        return box && box->isVisible() ? box : nullptr;
    };

    view->confirmDeletion();
    QMessageBox *box = confirmation();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Delete Corvanta Account?");
    const QString message = box->informativeText();
    EXPECT_FALSE(message.contains("permanently")) << message.toStdString();
    EXPECT_TRUE(message.contains("this computer")) << message.toStdString();
    EXPECT_TRUE(message.contains("stays on the server")) << message.toStdString();
    QAbstractButton *remove = nullptr;
    for (QAbstractButton *button : box->buttons())
        remove = button->text() == "Delete Account" ? button : remove;
    ASSERT_NE(remove, nullptr);
    EXPECT_EQ(box->buttonRole(remove), QMessageBox::DestructiveRole);
    ASSERT_NE(box->defaultButton(), nullptr);
    EXPECT_EQ(box->defaultButton()->text(), "Cancel");
    EXPECT_EQ(box->escapeButton()->text(), "Cancel");

    // Return and Escape both keep the account.
    QTest::keyClick(box, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return !view->showingDeleteConfirmation(); }));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    view->confirmDeletion();
    box = confirmation();
    ASSERT_NE(box, nullptr);
    QTest::keyClick(box, Qt::Key_Escape);
    ASSERT_TRUE(waitUntil([&] { return !view->showingDeleteConfirmation(); }));
    QTest::qWait(20);
    ASSERT_EQ(service->currentUser(), profile);
    EXPECT_TRUE(has(SessionStore::profileKey));

    // Only the button itself deletes, and what it does is what the message said.
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    view->confirmDeletion();
    box = confirmation();
    ASSERT_NE(box, nullptr);
    for (QAbstractButton *button : box->buttons())
        remove = button->text() == "Delete Account" ? button : remove;
    QTest::mouseClick(remove, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !service->currentUser(); }));
    EXPECT_TRUE(secrets->items.isEmpty());
    EXPECT_FALSE(std::any_of(
        server.requests.cbegin(), server.requests.cend(),
        [](const LocalAuthServer::Request &request) { return request.method == "DELETE"; }))
        << "nothing is deleted on the server";
}

TEST_F(AccountViewTest, APageTellsWhenTheKeyringDoesNotKeepTheSession)
{
    QLabel *notice = child<QLabel>("sessionNoticeLabel");
    EXPECT_FALSE(notice->isVisible());
    secrets->writeStatus = platform::SecretStore::unavailable;
    type(QString::fromLatin1(LocalAuthServer::email),
         QString::fromLatin1(LocalAuthServer::password));
    QTest::mouseClick(logInButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return view->showsSignedInCard(); }));
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(notice->text(), AuthService::sessionNotKeptNotice);

    secrets->removeStatus = platform::SecretStore::timedOut;
    QTest::mouseClick(child<QPushButton>("signOutButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return !view->showsSignedInCard(); }));
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(notice->text(), AuthService::signOutUnfinishedNotice);
}

TEST_F(AccountViewTest, BackendAndUserTextIsNeverMarkup)
{
    apple->outcome = [] {
        auto credential =
            FakeAppleSignInSheet::credential(QStringLiteral("001234.apple.user"), "t");
        credential.email = QStringLiteral("<a href='x'>mail</a>");
        credential.fullName = platform::PersonNameComponents();
        credential.fullName->givenName = QStringLiteral("<img src=x>");
        return credential;
    }();
    view->signInWithApple();
    ASSERT_TRUE(waitUntil([this] { return view->showsSignedInCard(); }));
    EXPECT_EQ(child<QLabel>("nameLabel")->text(), "<img src=x>");
    EXPECT_EQ(child<QLabel>("linkedLabel")->text(), "Apple ID Linked");
    for (QLabel *label : view->findChildren<QLabel *>())
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();

    // The real alert shows a server's message as text too.
    platform::MessageBoxAlertPresenter presenter;
    platform::Alert alert;
    alert.messageText = QStringLiteral("Account Error");
    alert.informativeText = QStringLiteral("<b>Invalid</b> <a href='https://evil'>login</a>");
    alert.buttonTitles = {QStringLiteral("OK")};
    auto shown = presenter.present(alert);
    QMessageBox *box = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        for (QWidget *widget : QApplication::topLevelWidgets())
            if ((box = qobject_cast<QMessageBox *>(widget)) && box->isVisible())
                return true;
        return false;
    }));
    for (QLabel *label : box->findChildren<QLabel *>())
        if (!label->text().isEmpty()) {
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
        }
    box->done(0);
    EXPECT_TRUE(waitUntil([&] { return shown.isReady(); }));
}

TEST_F(AccountViewTest, ServerAndStoredTextNeitherTurnsAroundNorOverfillsThePage)
{
    const QString reversed = QString::fromUtf16(u"\u202E");
    QStringList lines;
    for (int line = 1; line <= 3000; ++line)
        lines << reversed + QStringLiteral("line %1").arg(line);
    server.script(Reply::json(
        400, QJsonDocument(QJsonObject{{"error_description", lines.join(u'\n')}}).toJson()));
    type(QString::fromLatin1(LocalAuthServer::email), QStringLiteral("pw"));
    QTest::mouseClick(logInButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return !alerts->presented.isEmpty(); }));
    EXPECT_EQ(alerts->presented[0].informativeText,
              QStringLiteral("\\u{202E}line 1\n\\u{202E}line 2\n\\u{202E}line 3\n\\u{202E}line 4\n"
                             "\\u{202E}line 5") +
                  u'\u2026');

    apple->outcome = [&] {
        auto credential =
            FakeAppleSignInSheet::credential(QStringLiteral("001234.apple.user"), "t");
        credential.email = reversed + QStringLiteral("moc.elpmaxe@enaj");
        credential.fullName = platform::PersonNameComponents();
        credential.fullName->givenName = reversed + QStringLiteral("enaj");
        return credential;
    }();
    view->signInWithApple();
    ASSERT_TRUE(waitUntil([this] { return view->showsSignedInCard(); }));
    EXPECT_EQ(child<QLabel>("nameLabel")->text(), "\\u{202E}enaj");
    EXPECT_EQ(child<QLabel>("emailLabel")->text(), "\\u{202E}moc.elpmaxe@enaj");
}

TEST_F(AccountViewTest, AppleCancellationShowsNothingAndOtherFailuresTheAlert)
{
    apple->outcome = FakeAppleSignInSheet::cancelled();
    QTest::mouseClick(child<QPushButton>("appleButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return apple->requests == 1 && !service->isSigningIn(); }));
    QTest::qWait(20);
    EXPECT_TRUE(alerts->presented.isEmpty());

    apple->outcome = platform::AppleAuthorizationError(
        platform::AppleAuthorizationError::notHandled,
        QStringLiteral("Sign in with Apple is not available on this system."));
    QTest::mouseClick(child<QPushButton>("appleButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return !alerts->presented.isEmpty(); }));
    EXPECT_EQ(alerts->presented[0].informativeText,
              "Sign in with Apple is not available on this system.");

    QTest::mouseClick(child<QPushButton>("googleButton"), Qt::LeftButton);
    ASSERT_EQ(urlOpener->opened.size(), 1);
    EXPECT_EQ(urlOpener->opened[0].path(), "/auth/v1/authorize");
    ASSERT_EQ(alerts->presented.size(), 1);

    // The browser fails after it seemed to take the page, and when it fails at once.
    urlOpener->browserFailures[0]();
    urlOpener->opens = false;
    QTest::mouseClick(child<QPushButton>("googleButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return alerts->presented.size() == 3; }));
    for (const platform::Alert &alert : alerts->presented.mid(1)) {
        EXPECT_EQ(alert.messageText, "Account Error");
        EXPECT_EQ(alert.informativeText, BrowserNotOpenedError().description());
    }
    EXPECT_FALSE(service->isBrowserSignInPending());

    // The links' web page: no browser at once, and one that fails later.
    QTest::mouseClick(child<QPushButton>("forgotButton"), Qt::LeftButton);
    urlOpener->opens = true;
    QTest::mouseClick(child<QPushButton>("createAccountButton"), Qt::LeftButton);
    urlOpener->browserFailures.last()();
    ASSERT_TRUE(waitUntil([this] { return alerts->presented.size() == 5; }));
    for (const platform::Alert &alert : alerts->presented.mid(3))
        EXPECT_EQ(alert.informativeText, accountPresentation::signUpPageNotOpened);
}

TEST_F(AccountViewTest, DeletionAsksFirstAndReportsASignOutInTheMeantime)
{
    signInByEmail();
    ASSERT_TRUE(waitUntil([this] { return view->showsSignedInCard(); }));

    alerts->answer = 1; // Cancel
    QTest::mouseClick(child<QPushButton>("deleteButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return alerts->presented.size() == 1; }));
    EXPECT_EQ(alerts->presented[0].messageText, "Delete Corvanta Account?");
    EXPECT_EQ(alerts->presented[0].buttonTitles, (QStringList{"Delete Account", "Cancel"}));
    QTest::qWait(20);
    EXPECT_TRUE(view->showsSignedInCard());
    EXPECT_TRUE(service->currentUser());

    alerts->answer = 0;
    alerts->gate.close();
    QTest::mouseClick(child<QPushButton>("deleteButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return alerts->gate.waiting() == 1; }));
    EXPECT_TRUE(view->showingDeleteConfirmation());
    QCoro::waitFor(service->signOut());
    alerts->gate.open();
    ASSERT_TRUE(waitUntil([this] { return alerts->presented.size() == 3; }));
    EXPECT_EQ(alerts->presented[2].messageText, "Account Error");
    EXPECT_EQ(alerts->presented[2].informativeText, "No user is currently signed in.");
    EXPECT_FALSE(view->showsSignedInCard());

    signInByEmail();
    alerts->presented.clear();
    QTest::mouseClick(child<QPushButton>("deleteButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return !view->showsSignedInCard(); }));
    EXPECT_EQ(alerts->presented.size(), 1);
    EXPECT_TRUE(secrets->items.isEmpty());
}

} // namespace
