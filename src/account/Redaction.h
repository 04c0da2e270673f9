#pragma once

#include <QString>

// What the logs may show of personal identifiers: enough to tell two apart at a glance,
// never the whole value.
namespace redaction {
// "jane.doe@example.com" → "j***@e***"; text without "@" is redacted as an identifier.
QString email(const QString &address);
// "001234.abcdef…" → "001***"; short values show nothing but the stars.
QString identifier(const QString &value);
} // namespace redaction
