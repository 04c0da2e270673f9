#include "app/OpenUrlHandler.h"

#include "account/AuthWire.h"
#include "platform/Log.h"

#include <QRegularExpression>

namespace {

const QString callbackPrefix = QStringLiteral("corvanta://auth-callback");

} // namespace

void UnavailableBrowserSignIn::handleBrowserCallback(const QUrl &)
{
    qCInfo(Log::general, "Browser sign-in is not available; the sign-in callback is ignored");
}

OpenUrlHandler::OpenUrlHandler(std::shared_ptr<BrowserSignIn> signIn)
    : m_signIn(signIn ? std::move(signIn) : std::make_shared<UnavailableBrowserSignIn>())
{
}

OpenUrlHandler::Verdict OpenUrlHandler::classify(const QString &argument)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    const QRegularExpressionMatch match = scheme.match(argument);
    if (!match.hasMatch())
        return Verdict::notAUrl;
    if (match.captured() != QLatin1String("corvanta:"))
        return Verdict::otherScheme;
    // The host ends the authority: a user, a port or a longer name is another host.
    if (!argument.startsWith(callbackPrefix))
        return Verdict::otherHost;
    const QString rest = argument.mid(callbackPrefix.size());
    if (!rest.isEmpty() && !QStringLiteral("/?#").contains(rest.front()))
        return Verdict::otherHost;

    const QUrl url(argument, QUrl::StrictMode);
    if (!url.isValid())
        return Verdict::malformedUrl;
    // Checked as the account reads it: the form checked here is the form used.
    if (!authWire::readCallback(url))
        return Verdict::malformedFragment;
    return Verdict::signInCallback;
}

bool OpenUrlHandler::open(const QString &argument)
{
    switch (classify(argument)) {
    case Verdict::signInCallback:
        m_signIn->handleBrowserCallback(QUrl(argument, QUrl::StrictMode));
        return true;
    case Verdict::notAUrl:
        qCInfo(Log::general, "Ignored an argument that is not a URL");
        break;
    case Verdict::otherScheme:
        qCInfo(Log::general, "Ignored a URL that is not a Corvanta callback");
        break;
    case Verdict::otherHost:
        qCInfo(Log::general, "Ignored a Corvanta URL for an unknown host");
        break;
    case Verdict::malformedUrl:
        qCWarning(Log::general, "Ignored a malformed sign-in callback");
        break;
    case Verdict::malformedFragment:
        qCWarning(Log::general, "Ignored a sign-in callback without well-formed tokens");
        break;
    }
    return false;
}
