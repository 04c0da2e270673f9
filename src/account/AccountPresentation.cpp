#include "account/AccountPresentation.h"

#include <QStringList>

namespace accountPresentation {

namespace {
QString firstCharacter(QStringView text)
{
    return text.left(text.front().isHighSurrogate() && text.size() > 1 ? 2 : 1).toString();
}
} // namespace

QString initials(const std::optional<QString> &displayName)
{
    if (!displayName || displayName->isEmpty())
        return QStringLiteral("C");
    const QStringList words = displayName->split(u' ', Qt::SkipEmptyParts);
    QString result;
    if (words.size() >= 2)
        result = firstCharacter(words[0]) + firstCharacter(words[1]);
    else
        result = firstCharacter(*displayName);
    return result.toUpper();
}

QString nameLine(const std::optional<QString> &displayName)
{
    return displayName.value_or(QStringLiteral("Corvanta Member"));
}

QString linkedAccountLine(const QString &appleUserID)
{
    if (appleUserID.startsWith(QLatin1String("google_")))
        return QStringLiteral("Google Account Linked");
    if (appleUserID.startsWith(QLatin1String("email_")))
        return QStringLiteral("Email Account Linked");
    return QStringLiteral("Apple ID Linked");
}

bool logInEnabled(bool signingIn, const QString &email, const QString &password)
{
    return !signingIn && !email.isEmpty() && !password.isEmpty();
}

double logInOpacity(const QString &email, const QString &password)
{
    return email.isEmpty() || password.isEmpty() ? 0.6 : 1.0;
}

} // namespace accountPresentation
