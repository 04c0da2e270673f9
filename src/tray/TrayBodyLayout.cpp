#include "tray/TrayBodyLayout.h"

#include "tray/CaptureTrayItemView.h"
#include "tray/RecordingDot.h"
#include "tray/TrayActionButton.h"
#include "tray/TrayActionButtonStyle.h"
#include "tray/TrayControlLayout.h"

#include <QFontMetricsF>
#include <algorithm>

namespace TrayBody {

namespace {

constexpr double infoWidth = TrayInformation::width;
constexpr double infoSpacing = TrayInformation::spacing;
constexpr double dotDiameter = RecordingDot::diameter;

} // namespace

QFont badgeFont()
{
    return trayFont(12, QFont::DemiBold);
}

QFont elapsedFont(bool compact)
{
    return trayFont(compact ? 12 : 13, QFont::Bold, true);
}

double lerp(double a, double b, double t)
{
    return a + (b - a) * t;
}

QRectF lerp(const QRectF &a, const QRectF &b, double t)
{
    return QRectF(lerp(a.x(), b.x(), t), lerp(a.y(), b.y(), t), lerp(a.width(), b.width(), t),
                  lerp(a.height(), b.height(), t));
}

QRectF centredAt(double x, double centreY, QSizeF size)
{
    return QRectF(x, centreY - size.height() / 2, size.width(), size.height());
}

Layout layout(const Content &content, double viewWidth, QSizeF stopSize, QSizeF cancelSize)
{
    Layout layout;
    const QFontMetricsF badgeMetrics(badgeFont());
    const QSizeF badge(std::max(18.0, badgeMetrics.horizontalAdvance(content.badgeText)),
                       badgeMetrics.height());
    const auto rowSize = [&content](bool compact) {
        const QFontMetricsF metrics(elapsedFont(compact));
        return QSizeF(dotDiameter + (compact ? 6 : 8) +
                          metrics.horizontalAdvance(content.elapsedText),
                      std::max(dotDiameter, metrics.height()));
    };
    const bool hasItems = content.count > 0;
    const bool recording = content.recording;
    const bool displayed = content.displayed.has_value();

    // The compact body: the displayed capture (or the recording row) and the count.
    const double w = content.compactSize.width(), h = content.compactSize.height();
    const TrayPosition position = content.position;
    const double cx = trayLeftInPanel(viewWidth, w, position);
    const double cy = h / 2;
    layout.compactFrame = QRectF(cx, 0, w, h);
    const QSizeF thumbnail = CaptureTrayThumbnail::frameSize(0);
    if (content.attached) {
        if (recording)
            layout.compactRow = centredAt(cx + 12, cy, rowSize(true));
        else if (displayed)
            layout.compactThumbnail = centredAt(cx + 10, cy, thumbnail);
        if (hasItems)
            layout.compactBadge = centredAt(cx + w - 10 - badge.width(), cy, badge);
    } else {
        double leading = 0;
        if (recording)
            leading = 12 + rowSize(true).width();
        else if (displayed)
            leading = thumbnail.width();
        const int parts = (leading > 0 ? 1 : 0) + (hasItems ? 1 : 0);
        const double total = 20 + leading + (hasItems ? badge.width() : 0) + (parts > 1 ? 8 : 0);
        double x = cx + (w - total) / 2 + 10;
        if (recording)
            layout.compactRow = centredAt(x + 12, cy, rowSize(true));
        else if (displayed)
            layout.compactThumbnail = centredAt(x, cy, thumbnail);
        if (leading > 0)
            x += leading + 8;
        if (hasItems)
            layout.compactBadge = centredAt(x, cy, badge);
    }

    // The expanded body: the header beside the notch, then the strip, the information and the
    // buttons, or the recording controls.
    const double W = content.expandedSize.width(), H = content.expandedSize.height();
    const double ex = trayLeftInPanel(viewWidth, W, position);
    const double top = std::min(content.notchHeight, H);
    layout.expandedFrame = QRectF(ex, 0, W, H);
    if (content.attached && hasItems)
        layout.headerBadge = centredAt(ex + W - 12 - badge.width(), top / 2, badge);
    const double ey = top + (H - top) / 2;
    if (recording) {
        layout.expandedRow = centredAt(ex + 24 + 12, ey, rowSize(false));
        layout.cancel = centredAt(ex + W - 24 - cancelSize.width(), ey, cancelSize);
        layout.stop = centredAt(layout.cancel.left() - 20 - stopSize.width(), ey, stopSize);
        return layout;
    }
    const int buttons = int(content.visibleButtons.size());
    const double buttonsWidth =
        buttons > 0 ? buttons * TrayActionButton::side + (buttons - 1) * buttonSpacing : 0;
    // The strip takes what the fixed parts leave, up to its limit and its content.
    const bool large = content.largeID.has_value();
    const int cells = content.count - (large ? 1 : 0);
    const double stripContent = 2 * stripPadding +
                                (large ? CaptureTrayThumbnail::frameSize(1).width() : 0) +
                                cells * CaptureTrayItemView::frameSize(false).width() +
                                std::max(content.count - 1, 0) * stripSpacing;
    const double fixed = 36 + infoWidth + 14 + (hasItems ? 14 + buttonsWidth : 0);
    const double strip =
        std::clamp(std::min(stripMaxWidth, stripContent), 0.0, std::max(0.0, W - fixed));
    double x = ex + (W - (fixed + strip)) / 2 + 18;
    layout.strip = centredAt(x, ey, QSizeF(strip, stripHeight));
    x += strip + 14;
    double infoHeight = QFontMetricsF(TrayInformation::emptyFont()).height();
    if (displayed)
        infoHeight = QFontMetricsF(TrayInformation::nameFont()).height() + infoSpacing +
                     QFontMetricsF(TrayInformation::sizeFont()).height();
    if (content.status) {
        // As much of the text as the column holds; all of it when the pointer rests there.
        const QFont font = TrayInformation::statusFont();
        const QString &text = content.status->text;
        const int fitting = TrayInformation::statusLinesFitting(H - top);
        layout.statusLines = TrayInformation::wrappedLines(text, font, infoWidth, fitting);
        layout.statusCut =
            TrayInformation::wrappedLines(text, font, infoWidth, fitting + 1).size() > fitting;
        infoHeight += infoSpacing + layout.statusLines.size() * QFontMetricsF(font).height();
    }
    layout.info = centredAt(x, ey, QSizeF(infoWidth, infoHeight));
    x += infoWidth + 14;
    if (hasItems) {
        for (int i = 0; i < buttons; ++i) {
            layout.buttons << centredAt(x, ey,
                                        QSizeF(TrayActionButton::side, TrayActionButton::side));
            x += TrayActionButton::side + buttonSpacing;
        }
    }
    return layout;
}

QRectF outline(const Layout &layout, double progress)
{
    return lerp(layout.compactFrame, layout.expandedFrame, progress);
}

double compactCornerRadius(const Content &content)
{
    return trayCornerRadius(content.compactSize.height(), content.attached, false);
}

double expandedCornerRadius(const Content &content)
{
    return trayCornerRadius(content.expandedSize.height(), content.attached, true);
}

double cornerRadius(const Content &content, double progress)
{
    return lerp(compactCornerRadius(content), expandedCornerRadius(content), progress);
}

} // namespace TrayBody
