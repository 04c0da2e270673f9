#include "tray/TrayBodyPainter.h"

#include "tray/CaptureTrayItemViewPictures.h"
#include "tray/RecordingDot.h"
#include "tray/TrayControlLayout.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPainter>

namespace TrayBody {

namespace {

constexpr double infoWidth = TrayInformation::width;
constexpr double infoSpacing = TrayInformation::spacing;

QColor secondaryText()
{
    return QColor(255, 255, 255, 140);
}

void paintOutline(QPainter &painter, const Content &content, const Layout &layout, double p)
{
    // The outline with its shadow; the two states' shadows cross-fade.
    const QRectF shape = outline(layout, p);
    const QRectF shadowed = shape.translated(0, 6);
    if (p < 1) {
        painter.setOpacity(1 - p);
        paintRoundedShadow(painter, shadowed, compactCornerRadius(content), content.attached, 6,
                           QColor(0, 0, 0, 51));
    }
    if (p > 0) {
        painter.setOpacity(p);
        paintRoundedShadow(painter, shadowed, expandedCornerRadius(content), content.attached, 14,
                           QColor(0, 0, 0, 89));
    }
    painter.setOpacity(1);
    painter.fillPath(trayOutlinePath(shape, cornerRadius(content, p), content.attached), Qt::black);
}

void paintBadge(QPainter &painter, const Content &content, const Layout &layout,
                const Moment &moment)
{
    // The count badge moves between the pill and the header beside the notch.
    std::optional<QRectF> badge;
    double badgeOpacity = 0;
    if (layout.compactBadge && layout.headerBadge) {
        badge = lerp(*layout.compactBadge, *layout.headerBadge, moment.progress);
        badgeOpacity = 1;
    } else if (layout.compactBadge) {
        badge = layout.compactBadge;
        badgeOpacity = moment.compactOpacity;
    } else if (layout.headerBadge) {
        badge = layout.headerBadge;
        badgeOpacity = moment.expandedOpacity;
    }
    if (badge && badgeOpacity > 0) {
        painter.setOpacity(badgeOpacity);
        painter.setFont(badgeFont());
        painter.setPen(QColor(255, 255, 255, 230));
        painter.drawText(*badge, Qt::AlignCenter, content.badgeText);
    }
}

void paintElapsed(QPainter &painter, const Content &content, const QRectF &row, bool compact)
{
    const double gap = compact ? 6 : 8;
    painter.setFont(elapsedFont(compact));
    painter.setPen(Qt::white);
    painter.drawText(row.adjusted(RecordingDot::diameter + gap, 0, 0, 0),
                     Qt::AlignLeft | Qt::AlignVCenter, content.elapsedText);
}

void paintInformation(QPainter &painter, const Content &content, const Layout &layout)
{
    if (!content.displayed) {
        painter.setFont(TrayInformation::emptyFont());
        painter.setPen(secondaryText());
        painter.drawText(layout.info, Qt::AlignLeft | Qt::AlignVCenter, emptyText());
        return;
    }
    const QFontMetricsF nameMetrics(TrayInformation::nameFont());
    painter.setFont(TrayInformation::nameFont());
    painter.setPen(Qt::white);
    painter.drawText(QRectF(layout.info.topLeft(), QSizeF(infoWidth, nameMetrics.height())),
                     Qt::AlignLeft | Qt::AlignVCenter, content.nameText);
    painter.setFont(TrayInformation::sizeFont());
    painter.setPen(secondaryText());
    const QRectF sizeLine(layout.info.left(),
                          layout.info.top() + nameMetrics.height() + infoSpacing, infoWidth,
                          QFontMetricsF(TrayInformation::sizeFont()).height());
    painter.drawText(sizeLine, Qt::AlignLeft | Qt::AlignVCenter, content.sizeText);
    if (!content.status)
        return;
    painter.setFont(TrayInformation::statusFont());
    painter.setPen(TrayInformation::statusColor(content.status->tone));
    const double lineHeight = QFontMetricsF(TrayInformation::statusFont()).height();
    double top = sizeLine.bottom() + infoSpacing;
    for (const QString &line : std::as_const(layout.statusLines)) {
        painter.drawText(QRectF(layout.info.left(), top, infoWidth, lineHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, line);
        top += lineHeight;
    }
}

} // namespace

QString emptyText()
{
    return QCoreApplication::translate("CaptureTrayView", "Staging Empty");
}

void paint(QPainter &painter, const QRect &bounds, bool compositing, const Content &content,
           const Layout &layout, const Moment &moment)
{
    painter.setRenderHint(QPainter::Antialiasing);
    if (!compositing)
        painter.fillRect(bounds, Qt::black);
    else
        paintOutline(painter, content, layout, moment.progress);

    paintBadge(painter, content, layout, moment);
    if (layout.compactRow && moment.compactOpacity > 0) {
        painter.setOpacity(moment.compactOpacity);
        paintElapsed(painter, content, *layout.compactRow, true);
    }
    if (moment.expandedOpacity <= 0)
        return;
    painter.setOpacity(moment.expandedOpacity);
    if (layout.expandedRow) {
        painter.save();
        const QPointF centre = layout.expandedRow->center();
        painter.translate(centre);
        painter.scale(recordingScale, recordingScale);
        painter.translate(-centre);
        paintElapsed(painter, content, *layout.expandedRow, false);
        painter.restore();
        return;
    }
    paintInformation(painter, content, layout);
}

} // namespace TrayBody
