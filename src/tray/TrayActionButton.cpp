#include "tray/TrayActionButton.h"

#include "tray/TrayActionButtonStyle.h"

#include <QEnterEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

QString traySymbolName(TrayButtonID button)
{
    switch (button) {
    case TrayButtonID::copy:
        return QStringLiteral("doc.on.clipboard");
    case TrayButtonID::save:
        return QStringLiteral("arrow.down.to.line.compact");
    case TrayButtonID::open:
        return QStringLiteral("eye");
    case TrayButtonID::annotate:
        return QStringLiteral("pencil.tip.crop.circle");
    case TrayButtonID::ocr:
        return QStringLiteral("text.viewfinder");
    case TrayButtonID::pin:
        return QStringLiteral("pin.fill");
    case TrayButtonID::delete_:
        return QStringLiteral("trash");
    }
    return {};
}

QList<TrayButtonID> visibleTrayButtons(bool hasItems, const QSet<QString> &disabled)
{
    QList<TrayButtonID> buttons;
    if (!hasItems)
        return buttons;
    for (TrayButtonID button : allCases<TrayButtonID>()) {
        if (!disabled.contains(rawValue(button)))
            buttons << button;
    }
    return buttons;
}

TrayActionButton::TrayActionButton(const QString &icon, std::function<void()> action,
                                   QWidget *parent)
    : TrayBodyControl(hoverSpring.durationMs(), platform::springCurve<hoverSpring>(), parent),
      m_icon(icon)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    resize(sizeHint());
    connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] {
        if (action)
            action();
    });
}

QSize TrayActionButton::sizeHint() const
{
    return {side + 2 * margin, side + 2 * margin};
}

bool TrayActionButton::hitButton(const QPoint &position) const
{
    return QRect(margin, margin, side, side).contains(position);
}

void TrayActionButton::paintEvent(QPaintEvent *)
{
    if (contentOpacity() <= 0)
        return;
    const double hover = hoverProgress();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(contentOpacity());
    const QPointF centre = QRectF(rect()).center();
    const double scale = 1.0 + 0.05 * hover;
    painter.translate(centre);
    painter.scale(scale, scale);
    painter.translate(-centre);

    const QRectF plate(margin, margin, side, side);
    QColor plateColor(Qt::white);
    plateColor.setAlphaF(float(std::clamp(0.08 + 0.07 * hover, 0.0, 1.0)));
    painter.setPen(Qt::NoPen);
    painter.setBrush(plateColor);
    painter.drawRoundedRect(plate, 8, 8);

    QColor symbolColor(Qt::white);
    symbolColor.setAlphaF(float(std::clamp(0.85 + 0.15 * hover, 0.0, 1.0)));
    const double glyph = 16;
    paintSymbol(painter, m_icon,
                QRectF(centre.x() - glyph / 2, centre.y() - glyph / 2, glyph, glyph), symbolColor,
                1.5);
}

namespace {

QFont stopFont()
{
    return trayFont(13, QFont::Bold);
}

constexpr double cancelGlyph = 12;

} // namespace

TrayRecordingButton::TrayRecordingButton(Kind kind, QWidget *parent)
    : TrayBodyControl(parent), m_kind(kind)
{
    setFocusPolicy(Qt::NoFocus);
    if (kind == Kind::stop)
        setText(tr("Stop Recording"));
    resize(sizeHint());
}

QSize TrayRecordingButton::sizeHint() const
{
    if (m_kind == Kind::cancel) {
        const int side = int(std::ceil(cancelGlyph + 16));
        return {side, side};
    }
    const QFontMetricsF metrics(stopFont());
    return QSizeF(metrics.horizontalAdvance(text()) + 32, metrics.height() + 16)
        .toSize()
        .expandedTo(QSize(1, 1));
}

void TrayRecordingButton::paintEvent(QPaintEvent *)
{
    if (contentOpacity() <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(contentOpacity());
    painter.setPen(Qt::NoPen);
    const QRectF bounds = rect();
    if (m_kind == Kind::stop) {
        painter.setBrush(QColor(255, 59, 48));
        painter.drawRoundedRect(bounds, bounds.height() / 2, bounds.height() / 2);
        painter.setFont(stopFont());
        painter.setPen(Qt::white);
        painter.drawText(bounds, Qt::AlignCenter, text());
        return;
    }
    QColor disc(Qt::white);
    disc.setAlphaF(0.1f);
    painter.setBrush(disc);
    painter.drawEllipse(bounds);
    QColor cross(Qt::white);
    cross.setAlphaF(0.8f);
    const QPointF centre = bounds.center();
    paintSymbol(painter, QStringLiteral("xmark"),
                QRectF(centre.x() - cancelGlyph / 2, centre.y() - cancelGlyph / 2, cancelGlyph,
                       cancelGlyph),
                cross, 2.2);
}
