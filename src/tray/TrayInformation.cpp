#include "tray/TrayInformation.h"

#include "tray/TrayActionButtonStyle.h"

#include <QFontMetricsF>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace TrayInformation {

QFont nameFont()
{
    return trayFont(11, QFont::DemiBold);
}

QFont sizeFont()
{
    return trayFont(10, QFont::Normal, true);
}

QFont emptyFont()
{
    return trayFont(11, QFont::Medium);
}

QFont statusFont()
{
    return trayFont(10, QFont::Medium);
}

QString failureText(const CaptureItem &item)
{
    const CaptureItemState state = item.state();
    const std::optional<CaptureActionError> error = state.error();
    // The state's own words are a save's; a copy says what it failed to do.
    if (error && error->kind() == CaptureActionError::Kind::copyFailed)
        return QStringLiteral("Couldn't copy (") + error->errorDescription() + QLatin1Char(')');
    if (!item.isVideo() || !error || error->kind() != CaptureActionError::Kind::saveFailed)
        return state.statusText();
    // The movie copy words its own failures as the video file's; said once is enough.
    QString reason = error->reason();
    const QString movieWords = QStringLiteral("Failed to save video file: ");
    if (reason.startsWith(movieWords))
        reason = reason.mid(movieWords.size());
    return QStringLiteral("Couldn't save (Failed to save recording: ") + reason + QLatin1Char(')');
}

std::optional<Status> status(const CaptureItem &item, const std::optional<TrayNotice> &notice,
                             bool failureAnswered)
{
    // A notice is newer than the failure it is shown over: a capture's notice goes when a new
    // action on it starts (the tray's controller sees to that).
    if (notice && notice->id == item.id())
        return Status{notice->text, notice->tone};
    // Nothing else tells the user that a save or copy went wrong: the capture waits in the
    // tray, and only its state knows why.
    if (item.state().kind() == CaptureItemState::Kind::failed && !failureAnswered)
        return Status{failureText(item), TrayNotice::Tone::problem};
    return std::nullopt;
}

QColor statusColor(TrayNotice::Tone tone)
{
    switch (tone) {
    case TrayNotice::Tone::progress:
        return QColor(255, 255, 255, 190);
    case TrayNotice::Tone::success:
        return QColor(48, 209, 88);
    case TrayNotice::Tone::problem:
        // Stands out against the tray's black.
        return QColor(255, 105, 97);
    }
    return Qt::white;
}

QStringList wrappedLines(const QString &text, const QFont &font, double lineWidth, int maxLines)
{
    maxLines = std::max(maxLines, 1);
    QTextLayout layout(text, font);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(lineWidth);
        if (lines.size() + 1 == maxLines) {
            lines << QFontMetricsF(font).elidedText(text.mid(line.textStart()).simplified(),
                                                    Qt::ElideRight, lineWidth);
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

int statusLinesFitting(double height)
{
    const double taken =
        QFontMetricsF(nameFont()).height() + spacing + QFontMetricsF(sizeFont()).height() + spacing;
    const double line = QFontMetricsF(statusFont()).height();
    if (!(height > taken) || line <= 0)
        return 1;
    return std::max(1, int(std::floor((height - taken) / line)));
}

} // namespace TrayInformation
