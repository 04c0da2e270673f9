#pragma once

#include <QString>

// What the logs may show of personal identifiers: enough to tell two apart at a glance,
// never the whole value.
namespace redaction {
// "jane.doe@example.com" → "j***@e***"; text without "@" is redacted as an identifier.
QString email(const QString &address);
// "001234.abcdef…" → "001***"; short values show nothing but the stars.
QString identifier(const QString &value);

// Text from the backend or the user as a log line may carry it: control, format and line
// separator characters (line breaks, NUL, direction overrides) written as \u{XXXX}, so that
// such text can never start a line of its own or turn the line around.
QString logText(const QString &text);
// Whether the text holds any character logText() escapes.
bool hasControlCharacters(const QString &text);
} // namespace redaction
