#include "account/Redaction.h"

namespace redaction {

namespace {
const QString stars = QStringLiteral("***");

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

} // namespace redaction
