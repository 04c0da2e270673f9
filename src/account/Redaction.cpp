#include "account/Redaction.h"

#include <QList>
#include <algorithm>
#include <limits>

namespace redaction {

namespace {
const QString stars = QStringLiteral("***");

bool isDirectionControl(char32_t c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E ||
           c == 0x200F || c == 0x061C;
}

bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// The text with the characters `escapes` picks written as \u{XXXX}, up to `limit` characters:
// what would pass the limit is left out, whole, and `cut` says so.
QString escaped(QStringView text, bool (*escapes)(char32_t),
                qsizetype limit = std::numeric_limits<qsizetype>::max(), bool *cut = nullptr)
{
    QString result;
    result.reserve(std::min(text.size(), limit));
    for (const uint code : text.toUcs4()) {
        const char32_t c = code;
        const QString piece = escapes(c)
                                  ? QStringLiteral("\\u{%1}").arg(
                                        QString::number(code, 16).toUpper().rightJustified(4, u'0'))
                                  : QString::fromUcs4(&c, 1);
        if (result.size() + piece.size() > limit) {
            if (cut)
                *cut = true;
            break;
        }
        result += piece;
    }
    return result;
}

QString firstCharacter(const QString &text)
{
    return text.isEmpty() ? QString() : text.left(text.front().isHighSurrogate() ? 2 : 1);
}
} // namespace

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
    return escaped(text, isControl);
}

bool hasControlCharacters(const QString &text)
{
    const QList<uint> characters = text.toUcs4();
    return std::any_of(characters.cbegin(), characters.cend(),
                       [](uint c) { return isControl(char32_t(c)); });
}

QString shownText(const QString &text)
{
    return escaped(text, isDirectionControl);
}

QString shownMessage(const QString &text)
{
    // Lines are counted in the text as sent: an escape holds no line break.
    bool cut = false;
    QStringView head(text);
    int breaks = 0;
    for (qsizetype i = 0; i < text.size() && !cut; ++i) {
        const bool crlf = text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
        if (isLineBreak(text[i]) && !crlf && ++breaks == shownMessageLines) {
            head = head.left(i);
            cut = true;
        }
    }
    QString shown = escaped(head, isDirectionControl, shownMessageLength, &cut);
    if (!cut)
        return shown;
    while (!shown.isEmpty() && shown.back().isSpace())
        shown.chop(1);
    return shown + u'\u2026';
}

} // namespace redaction
