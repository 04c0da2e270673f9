#pragma once

#include <QString>

// What the logs may show of personal identifiers: enough to tell two apart at a glance,
// never the whole value; and how text from the backend or the user is written in a log line or
// shown on screen, so that it can never pass for something else.
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
// Whether logText() escapes the character: a control, format or line separator character.
bool isControl(char32_t c);

// Text from the backend or the user as a label shows it: the direction controls (embeddings,
// overrides, isolates and marks) written as logText() writes them, so that such text cannot turn
// what is shown around; line breaks and everything else as they are.
QString shownText(const QString &text);
// A message for an alert, as shownText() gives it, cut after its first few lines and a few
// hundred characters, with "…" where it was cut.
QString shownMessage(const QString &text);
inline constexpr int shownMessageLines = 5;
inline constexpr qsizetype shownMessageLength = 300;
} // namespace redaction
