#include "capture/RecordingHUDView.h"

#include "capture/ElapsedTime.h"
#include "capture/ScreenRecording.h"

#include <QAbstractButton>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QSequentialAnimationGroup>

namespace {

// The platform's red (the dot and the "Finish" button).
const QColor recordingRed(255, 59, 48);

constexpr int blinkMilliseconds = 800;
constexpr qreal dimmedDotOpacity = 0.2;

QFont systemFont(int pixelSize, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

// One line of text, cut with an ellipsis when the row leaves it too little room.
class ElidedLabel : public QWidget {
public:
    ElidedLabel(QString text, QWidget *parent) : QWidget(parent), m_text(std::move(text))
    {
        setFont(systemFont(11, QFont::Medium));
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override
    {
        const QFontMetrics metrics(font());
        return {metrics.horizontalAdvance(m_text), metrics.height()};
    }
    QSize minimumSizeHint() const override { return {0, QFontMetrics(font()).height()}; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(QColor(255, 255, 255, qRound(255 * 0.6)));
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(m_text, Qt::ElideRight, width()));
    }

private:
    QString m_text;
};

// Red capsule with a stop glyph and "Finish".
class FinishButton : public QAbstractButton {
public:
    explicit FinishButton(QWidget *parent) : QAbstractButton(parent)
    {
        setText(QStringLiteral("Finish"));
        setFont(systemFont(12, QFont::DemiBold));
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
    }
    QSize sizeHint() const override
    {
        const QFontMetrics metrics(font());
        return {padX + glyph + spacing + metrics.horizontalAdvance(text()) + padX,
                padY + std::max(glyph, metrics.height()) + padY};
    }

protected:
    bool hitButton(const QPoint &pos) const override { return capsule().contains(pos); }
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(isDown() ? recordingRed.darker(120) : recordingRed);
        painter.drawPath(capsule());

        const QRectF square(padX, (height() - glyph) / 2.0, glyph, glyph);
        painter.setBrush(Qt::white);
        painter.drawRoundedRect(square, 1.5, 1.5);
        painter.setPen(Qt::white);
        painter.drawText(QRectF(square.right() + spacing, 0, width(), height()),
                         Qt::AlignLeft | Qt::AlignVCenter, text());
    }

private:
    static constexpr int padX = 10;
    static constexpr int padY = 5;
    static constexpr int glyph = 8;
    static constexpr int spacing = 5;

    QPainterPath capsule() const
    {
        QPainterPath path;
        const qreal radius = height() / 2.0;
        path.addRoundedRect(QRectF(rect()), radius, radius);
        return path;
    }
};

// Round close button with an x glyph.
class CloseButton : public QAbstractButton {
public:
    explicit CloseButton(QWidget *parent) : QAbstractButton(parent)
    {
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
        setFixedSize(side, side);
    }
    QSize sizeHint() const override { return {side, side}; }

protected:
    bool hitButton(const QPoint &pos) const override
    {
        const QPointF offset = QPointF(pos) - QRectF(rect()).center();
        return offset.x() * offset.x() + offset.y() * offset.y() <= side * side / 4.0;
    }
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, isDown() ? 51 : 26));
        painter.drawEllipse(QRectF(rect()));

        painter.setPen(
            QPen(QColor(255, 255, 255, qRound(255 * 0.7)), 1.8, Qt::SolidLine, Qt::RoundCap));
        const QRectF cross(pad, pad, glyph, glyph);
        painter.drawLine(cross.topLeft(), cross.bottomRight());
        painter.drawLine(cross.topRight(), cross.bottomLeft());
    }

private:
    static constexpr int pad = 6;
    static constexpr int glyph = 9;
    static constexpr int side = pad + glyph + pad;
};

} // namespace

RecordingHUDView::RecordingHUDView(const QString &modeLabel, ScreenRecording *service,
                                   std::function<void()> onStop, std::function<void()> onCancel,
                                   QWidget *parent)
    : QWidget(parent), m_modeLabel(modeLabel), m_service(service), m_onStop(std::move(onStop)),
      m_onCancel(std::move(onCancel))
{
    setFixedSize(280, 48);
    setAttribute(Qt::WA_TranslucentBackground);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(14, 8, 14, 8);
    row->setSpacing(12);

    m_dot = new QWidget(this);
    m_dot->setFixedSize(10, 10);
    row->addWidget(m_dot, 0, Qt::AlignVCenter);

    m_elapsedLabel = new QLabel(this);
    QFont timeFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    timeFont.setPixelSize(14);
    timeFont.setBold(true);
    m_elapsedLabel->setFont(timeFont);
    m_elapsedLabel->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    row->addWidget(m_elapsedLabel, 0, Qt::AlignVCenter);

    row->addWidget(new ElidedLabel(modeLabel, this), 0, Qt::AlignVCenter);
    row->addStretch(1);

    m_finishButton = new FinishButton(this);
    connect(m_finishButton, &QAbstractButton::clicked, this, [this] {
        if (m_onStop)
            m_onStop();
    });
    row->addWidget(m_finishButton, 0, Qt::AlignVCenter);

    m_closeButton = new CloseButton(this);
    connect(m_closeButton, &QAbstractButton::clicked, this, [this] {
        if (m_onCancel)
            m_onCancel();
    });
    row->addWidget(m_closeButton, 0, Qt::AlignVCenter);

    if (m_service) {
        connect(m_service, &ScreenRecording::durationChanged, this,
                &RecordingHUDView::updateElapsed);
    }
    updateElapsed(m_service ? m_service->duration() : 0);

    // Full to dimmed and back, 0.8 s each way, for as long as the view lives.
    auto *blink = new QSequentialAnimationGroup(this);
    for (const auto &[from, to] : {std::pair{1.0, dimmedDotOpacity}, {dimmedDotOpacity, 1.0}}) {
        auto *step = new QPropertyAnimation(this, "dotOpacity", blink);
        step->setStartValue(from);
        step->setEndValue(to);
        step->setDuration(blinkMilliseconds);
        step->setEasingCurve(QEasingCurve::InOutQuad);
        blink->addAnimation(step);
    }
    blink->setLoopCount(-1);
    m_blink = blink;
}

RecordingHUDView::~RecordingHUDView() = default;

QString RecordingHUDView::elapsedText() const
{
    return m_elapsedLabel->text();
}

void RecordingHUDView::updateElapsed(double duration)
{
    m_elapsedLabel->setText(formatElapsedTime(duration));
}

void RecordingHUDView::setDotOpacity(qreal opacity)
{
    m_dotOpacity = opacity;
    update(m_dot->geometry());
}

QRectF RecordingHUDView::capsuleRect() const
{
    // The row's own height plus its margins, centred in the fixed frame.
    const int height = std::min(this->height(), layout()->sizeHint().height());
    return {0, (this->height() - height) / 2.0, qreal(width()), qreal(height)};
}

QRegion RecordingHUDView::capsuleRegion() const
{
    QPainterPath path;
    const QRectF capsule = capsuleRect();
    path.addRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    return QRegion(path.toFillPolygon().toPolygon());
}

void RecordingHUDView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_isBlinking) {
        m_isBlinking = true;
        m_blink->start();
    }
}

void RecordingHUDView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF capsule = capsuleRect().adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = capsule.height() / 2;
    painter.setPen(QPen(QColor(255, 255, 255, qRound(255 * 0.15)), 1));
    painter.setBrush(QColor::fromRgbF(0.12f, 0.12f, 0.12f, 0.92f));
    painter.drawRoundedRect(capsule, radius, radius);

    painter.setPen(Qt::NoPen);
    painter.setOpacity(m_dotOpacity);
    painter.setBrush(recordingRed);
    painter.drawEllipse(QRectF(m_dot->geometry()));
}

void RecordingHUDView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_dragOffset = event->globalPosition().toPoint() - window()->pos();
}

void RecordingHUDView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragOffset)
        return QWidget::mouseMoveEvent(event);
    window()->move(event->globalPosition().toPoint() - *m_dragOffset);
}

void RecordingHUDView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_dragOffset.reset();
    QWidget::mouseReleaseEvent(event);
}
