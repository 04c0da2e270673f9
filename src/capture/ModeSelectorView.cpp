#include "capture/ModeSelectorView.h"

#include <QBoxLayout>
#include <QEasingCurve>
#include <QEnterEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

namespace {

// The tile's look at rest and while hovered.
constexpr double restingBackground = 0.05;
constexpr double hoveredBackground = 0.15;
constexpr double restingForeground = 0.7;
constexpr int tileCornerRadius = 12;
constexpr int iconHeight = 22;
constexpr int iconTitleSpacing = 10;
constexpr int titlePixelSize = 12;

constexpr int viewPadding = 24;
constexpr int stackSpacing = 16;
constexpr int headingPixelSize = 14;
constexpr double headingOpacity = 0.85;
constexpr double cardGrey = 0.12;
constexpr double cardOpacity = 0.95;
constexpr double cardStrokeOpacity = 0.15;

double mix(double from, double to, double progress)
{
    return from + (to - from) * progress;
}

QColor white(double alpha)
{
    return QColor::fromRgbF(1, 1, 1, float(alpha));
}

QFont mediumFont(int pixelSize, QFont::Weight weight)
{
    QFont font;
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

// Ease-out as the platform's animations define it: a cubic Bézier through (0.58, 1).
QEasingCurve easeOut()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

} // namespace

ModeButton::ModeButton(Icon icon, const QString &title, QWidget *parent)
    : HoverButton(hoverAnimationMs, easeOut(), parent), m_icon(icon)
{
    setText(title);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    setFixedSize(sizeHint());
}

ModeButton::~ModeButton() = default;

QSize ModeButton::sizeHint() const
{
    return tileSize + QSize(2 * growthMargin, 2 * growthMargin);
}

double ModeButton::currentScale() const
{
    return mix(1.0, hoveredScale, hoverProgress());
}

double ModeButton::backgroundOpacity() const
{
    return mix(restingBackground, hoveredBackground, hoverProgress());
}

QColor ModeButton::foregroundColor() const
{
    return white(mix(restingForeground, 1.0, hoverProgress()));
}

QRectF ModeButton::tileRect() const
{
    const QPointF centre = QRectF(rect()).center();
    const QSizeF size = QSizeF(tileSize) * currentScale();
    return QRectF(centre.x() - size.width() / 2, centre.y() - size.height() / 2, size.width(),
                  size.height());
}

bool ModeButton::hitButton(const QPoint &position) const
{
    return tileRect().contains(position);
}

void ModeButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    painter.translate(centre);
    painter.scale(currentScale(), currentScale());
    painter.translate(-centre);

    const QRectF tile(centre.x() - tileSize.width() / 2.0, centre.y() - tileSize.height() / 2.0,
                      tileSize.width(), tileSize.height());
    painter.setPen(Qt::NoPen);
    painter.setBrush(white(backgroundOpacity()));
    painter.drawRoundedRect(tile, tileCornerRadius, tileCornerRadius);

    const QFont titleFont = mediumFont(titlePixelSize, QFont::Medium);
    const double titleHeight = QFontMetricsF(titleFont).height();
    const double stackHeight = iconHeight + iconTitleSpacing + titleHeight;
    const double top = tile.top() + (tile.height() - stackHeight) / 2;
    const QColor foreground = foregroundColor();
    paintModeIcon(painter, m_icon, QRectF(tile.left(), top, tile.width(), iconHeight), foreground);

    painter.setFont(titleFont);
    painter.setPen(foreground);
    painter.drawText(
        QRectF(tile.left(), top + iconHeight + iconTitleSpacing, tile.width(), titleHeight),
        Qt::AlignCenter, text());
}

void paintModeIcon(QPainter &painter, ModeButton::Icon icon, const QRectF &box,
                   const QColor &colour)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(colour, 1.8);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const double height = box.height();
    const QPointF centre = box.center();

    switch (icon) {
    case ModeButton::Icon::display: {
        // A monitor on its stand.
        const QRectF screen(centre.x() - height * 0.6, box.top() + 1, height * 1.2, height * 0.7);
        painter.drawRoundedRect(screen, 2, 2);
        const double standTop = screen.bottom();
        painter.drawLine(QPointF(centre.x(), standTop), QPointF(centre.x(), box.bottom() - 2));
        painter.drawLine(QPointF(centre.x() - height * 0.25, box.bottom() - 1),
                         QPointF(centre.x() + height * 0.25, box.bottom() - 1));
        break;
    }
    case ModeButton::Icon::window: {
        // A window with its title bar and three buttons.
        const QRectF frame(centre.x() - height * 0.6, box.top() + 2, height * 1.2, height - 4);
        painter.drawRoundedRect(frame, 3, 3);
        const double barY = frame.top() + frame.height() * 0.3;
        painter.drawLine(QPointF(frame.left(), barY), QPointF(frame.right(), barY));
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        const double dotY = (frame.top() + barY) / 2;
        for (int dot = 0; dot < 3; ++dot)
            painter.drawEllipse(QPointF(frame.left() + 3.5 + dot * 3.5, dotY), 1.1, 1.1);
        break;
    }
    case ModeButton::Icon::selection: {
        // A dashed selection with a handle at two opposite corners.
        const QRectF area(centre.x() - height * 0.55, box.top() + 3, height * 1.1, height - 6);
        QPen dashed = pen;
        dashed.setStyle(Qt::DashLine);
        dashed.setWidthF(1.5);
        painter.setPen(dashed);
        painter.drawRect(area);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        const QSizeF handle(4.5, 4.5);
        const QPointF offset(handle.width() / 2, handle.height() / 2);
        painter.drawRect(QRectF(area.topLeft() - offset, handle));
        painter.drawRect(QRectF(area.bottomRight() - offset, handle));
        break;
    }
    }
    painter.restore();
}

ModeSelectorView::ModeSelectorView(QWidget *parent) : QWidget(parent)
{
    setFixedSize(viewSize);
    setAttribute(Qt::WA_TranslucentBackground);

    auto *heading = new QLabel(QStringLiteral("Select Recording Mode"), this);
    heading->setFont(mediumFont(headingPixelSize, QFont::DemiBold));
    QPalette palette = heading->palette();
    palette.setColor(QPalette::WindowText, white(headingOpacity));
    heading->setPalette(palette);
    heading->setAlignment(Qt::AlignCenter);

    // The tiles carry their growth margin; the gaps between the tiles stay as designed.
    auto *row = new QHBoxLayout;
    row->setSpacing(stackSpacing - 2 * ModeButton::growthMargin);
    row->addStretch();
    const struct {
        RecordingSelectionMode mode;
        ModeButton::Icon icon;
        const char *title;
    } choices[] = {
        {RecordingSelectionMode::fullScreen, ModeButton::Icon::display, "Screen"},
        {RecordingSelectionMode::window, ModeButton::Icon::window, "Window"},
        {RecordingSelectionMode::area, ModeButton::Icon::selection, "Area"},
    };
    for (const auto &choice : choices) {
        auto *button = new ModeButton(choice.icon, QString::fromUtf8(choice.title), this);
        m_buttons[int(choice.mode)] = button;
        row->addWidget(button);
        connect(button, &QAbstractButton::clicked, this, [this, mode = choice.mode] {
            if (onSelect)
                onSelect(mode);
        });
    }
    row->addStretch();

    // The stack is centred in the card; the card is lower than the stack's padding would make it,
    // so the padding holds at the sides only.
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(viewPadding, 0, viewPadding, 0);
    stack->setSpacing(stackSpacing - ModeButton::growthMargin);
    stack->addStretch();
    stack->addWidget(heading);
    stack->addLayout(row);
    stack->addStretch();
}

ModeButton *ModeSelectorView::button(RecordingSelectionMode mode) const
{
    return m_buttons[int(mode)];
}

void ModeSelectorView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF card = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(white(cardStrokeOpacity), 1));
    painter.setBrush(QColor::fromRgbF(cardGrey, cardGrey, cardGrey, cardOpacity));
    painter.drawRoundedRect(card, cornerRadius, cornerRadius);
}
