#include "app/AuthCallbackSignIn.h"

#include "account/AuthService.h"
#include "account/Redaction.h"
#include "model/StartTask.h"
#include "platform/Log.h"

#include <exception>

namespace {

QCoro::Task<void> completeSignIn(AuthService &authService, QUrl url)
{
    try {
        const UserProfile profile = co_await authService.handleAuthCallback(url);
        qCInfo(Log::general, "Browser login success for %s",
               qUtf8Printable(profile.email ? redaction::logText(redaction::email(*profile.email))
                                            : QStringLiteral("unknown")));
    } catch (const std::exception &error) {
        qCCritical(Log::general, "Browser login failed: %s",
                   qUtf8Printable(redaction::logText(QString::fromUtf8(error.what()))));
    }
}

} // namespace

void AuthCallbackSignIn::handleBrowserCallback(const QUrl &url)
{
    startTask(completeSignIn(m_authService, url));
}
