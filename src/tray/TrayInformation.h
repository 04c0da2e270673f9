#pragma once

#include "model/CaptureItem.h"
#include "tray/TrayNotice.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <optional>

// The expanded tray's information column: the displayed capture's name and size, and below them
// what happened to it (a failed save or copy, or a notice), in as many lines as the column has
// room for.
namespace TrayInformation {

constexpr double width = 145;
constexpr double spacing = 3;

QFont nameFont();
QFont sizeFont();
QFont emptyFont();
QFont statusFont();

// The words for a capture's failed state: its own status text for a screenshot; a recording's
// failed save is named as the recording's, with its reason once.
QString failureText(const CaptureItem &item);

// What the column says below the size: the newer of the capture's notice and its failure (a
// notice is the newer while it lasts), else its failure unless a notice since answered it, else
// nothing.
struct Status {
    QString text;
    TrayNotice::Tone tone = TrayNotice::Tone::problem;
};
std::optional<Status> status(const CaptureItem &item, const std::optional<TrayNotice> &notice,
                             bool failureAnswered = false);
QColor statusColor(TrayNotice::Tone tone);

// The text broken at word boundaries into lines of at most `lineWidth`, the last one elided when
// the text needs more than maxLines (at least one).
QStringList wrappedLines(const QString &text, const QFont &font, double lineWidth, int maxLines);

// How many status lines fit below the name and the size in a column `height` high.
int statusLinesFitting(double height);

} // namespace TrayInformation
