#include "account/AccountPresentation.h"

#include "account/Redaction.h"

#include <QStringList>
#include <QTextBoundaryFinder>

namespace accountPresentation {

namespace {

// Controls, direction marks and spaces print nothing, and a lone surrogate is no character.
bool printsNothing(char32_t first)
{
    const QChar::Category category = QChar::category(first);
    return redaction::isControl(first) || category == QChar::Other_Surrogate ||
           category == QChar::Separator_Space;
}

// The first character the text prints, whole: a letter with its accents, a pair of surrogates.
QString firstPrinted(const QString &text)
{
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = characters.toNextBoundary(); end > start;
         start = end, end = characters.toNextBoundary()) {
        const QStringView character = QStringView(text).sliced(start, end - start);
        const QChar lead = character.front();
        const bool pair =
            lead.isHighSurrogate() && character.size() > 1 && character[1].isLowSurrogate();
        if (!printsNothing(pair ? QChar::surrogateToUcs4(lead, character[1]) : lead.unicode()))
            return character.toString();
    }
    return {};
}

} // namespace

QString initials(const std::optional<QString> &displayName)
{
    QStringList letters;
    for (const QString &word : displayName.value_or(QString()).split(u' ', Qt::SkipEmptyParts))
        if (const QString letter = firstPrinted(word); !letter.isEmpty())
            letters << letter;
    if (letters.isEmpty())
        return QStringLiteral("C");
    return (letters.size() >= 2 ? letters[0] + letters[1] : letters[0]).toUpper();
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
