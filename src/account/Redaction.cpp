#include "account/Redaction.h"

#include <QList>
#include <algorithm>

namespace redaction {

namespace {
const QString stars = QStringLiteral("***");

bool isControl(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

QString firstCharacter(const QString &text)
{
    return text.isEmpty() ? QString() : text.left(text.front().isHighSurrogate() ? 2 : 1);
}
} // namespace

QString email(const QString &address)
{
    const qsizetype at = address.lastIndexOf(u'@');
    if (at < 0)
        return identifier(address);
    return firstCharacter(address.left(at)) + stars + u'@' + firstCharacter(address.mid(at + 1)) +
           stars;
}

QString identifier(const QString &value)
{
    if (value.size() < 8)
        return stars;
    return value.left(3) + stars;
}

QString logText(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const uint code : text.toUcs4()) {
        const char32_t c = code;
        if (isControl(c))
            escaped += QStringLiteral("\\u{%1}").arg(
                QString::number(code, 16).toUpper().rightJustified(4, u'0'));
        else
            escaped += QString::fromUcs4(&c, 1);
    }
    return escaped;
}

bool hasControlCharacters(const QString &text)
{
    const QList<uint> characters = text.toUcs4();
    return std::any_of(characters.cbegin(), characters.cend(),
                       [](uint c) { return isControl(char32_t(c)); });
}

} // namespace redaction
