#include "tray/CaptureTrayItemView.h"

#include "tray/CaptureTrayItemViewPictures.h"
#include "tray/TrayActionButtonStyle.h"
#include "tray/TrayControlLayout.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace {

// The locale's long time format without its time zone: hours, minutes and seconds.
QString timeWithSeconds(const QTime &time)
{
    const QString format = QLocale().timeFormat(QLocale::LongFormat);
    QString kept;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        kept += c;
    }
    return QLocale().toString(time, kept.simplified());
}

QColor whiteAt(double opacity)
{
    QColor color(Qt::white);
    color.setAlphaF(float(opacity));
    return color;
}

QColor mix(const QColor &from, const QColor &to, double t)
{
    const auto lerp = [t](float a, float b) { return a + (b - a) * float(t); };
    QColor out;
    out.setRgbF(lerp(from.redF(), to.redF()), lerp(from.greenF(), to.greenF()),
                lerp(from.blueF(), to.blueF()), lerp(from.alphaF(), to.alphaF()));
    return out;
}

QString lookKey(const char *kind, QSizeF size, double radius, qreal ratio,
                const QColor &border = {})
{
    return QStringLiteral("%1:%2x%3:r%4@%5:%6")
        .arg(QLatin1String(kind))
        .arg(size.width())
        .arg(size.height())
        .arg(radius)
        .arg(ratio)
        .arg(border.isValid() ? border.rgba() : 0);
}

constexpr double cellRadius = 8;
constexpr double cellShadowBlur = 3;
constexpr int cellBorderRoom = 1;

} // namespace

QString captureAccessibilityLabel(const CaptureItem &item)
{
    const QString kind =
        item.isVideo() ? QCoreApplication::translate("CaptureTrayItemView", "Screen recording")
                       : QCoreApplication::translate("CaptureTrayItemView", "Screenshot");
    return QCoreApplication::translate("CaptureTrayItemView", "%1 from %2")
        .arg(kind, timeWithSeconds(item.createdAt().toLocalTime().time()));
}

// ---- TrayThumbnailButton

TrayThumbnailButton::TrayThumbnailButton(const CaptureItem &item, TrayThumbnailCache &pictures,
                                         QWidget *parent)
    : TrayBodyControl(parent), m_item(item), m_pictures(pictures),
      m_accent(QApplication::palette().color(QPalette::Highlight))
{
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
}

void TrayThumbnailButton::setItem(const CaptureItem &item)
{
    m_item = item;
    itemChanged();
    update();
}

void TrayThumbnailButton::setAccentColor(const QColor &color)
{
    if (color == m_accent)
        return;
    m_accent = color;
    update();
}

QPixmap TrayThumbnailButton::coveringPicture(QSizeF size, double radius) const
{
    const qreal ratio = devicePixelRatioF();
    return m_pictures.picture(
        *m_item, lookKey("fill", size, radius, ratio), [&](const QImage &thumbnail) {
            return QPixmap::fromImage(
                roundedThumbnail(thumbnail, size, radius, ThumbnailScaling::fill, ratio));
        });
}

bool TrayThumbnailButton::hitButton(const QPoint &position) const
{
    return pictureRect().contains(position);
}

void TrayThumbnailButton::setPointerOver(bool over)
{
    if (over == m_pointerOver)
        return;
    m_pointerOver = over;
    emit hoverChanged(over);
}

void TrayThumbnailButton::dragEnded()
{
    setPointerOver(pictureRect().contains(QPointF(mapFromGlobal(QCursor::pos()))));
}

void TrayThumbnailButton::enterEvent(QEnterEvent *event)
{
    TrayBodyControl::enterEvent(event);
    setPointerOver(pictureRect().contains(event->position()));
}

void TrayThumbnailButton::leaveEvent(QEvent *event)
{
    TrayBodyControl::leaveEvent(event);
    setPointerOver(false);
}

void TrayThumbnailButton::mousePressEvent(QMouseEvent *event)
{
    ++m_gesture;
    m_dragging = false;
    m_pressPosition.reset();
    if (event->button() == Qt::LeftButton && hitButton(event->position().toPoint())) {
        m_pressPosition = event->position().toPoint();
        // Judged meanwhile, so that a picture not yet known whole is decoded while the pointer
        // travels the drag distance.
        m_item->checkPicture();
    }
    TrayBodyControl::mousePressEvent(event);
}

void TrayThumbnailButton::mouseMoveEvent(QMouseEvent *event)
{
    setPointerOver(pictureRect().contains(event->position()));
    if (m_dragging) {
        event->accept();
        return;
    }
    if (m_pressPosition && (event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - *m_pressPosition).manhattanLength() >=
            QApplication::startDragDistance()) {
        // A drag is not a click: the release that ends it must not select.
        m_dragging = true;
        m_pressPosition.reset();
        setDown(false);
        event->accept();
        emit dragStarted();
        return;
    }
    TrayBodyControl::mouseMoveEvent(event);
}

void TrayThumbnailButton::mouseReleaseEvent(QMouseEvent *event)
{
    m_pressPosition.reset();
    if (m_dragging) {
        m_dragging = false;
        setDown(false);
        event->accept();
        return;
    }
    TrayBodyControl::mouseReleaseEvent(event);
}

// ---- CaptureTrayItemView

int CaptureTrayItemView::shadowRoom()
{
    return cellBorderRoom + shadowMargin(cellShadowBlur);
}

QSizeF CaptureTrayItemView::frameSize(bool isSelected)
{
    return isSelected ? QSizeF(80, 54) : QSizeF(54, 38);
}

CaptureTrayItemView::CaptureTrayItemView(const CaptureItem &item, bool isSelected,
                                         std::function<void()> onSelect,
                                         TrayThumbnailCache &pictures, QWidget *parent)
    : TrayThumbnailButton(item, pictures, parent), m_isSelected(isSelected)
{
    resize(sizeHint());
    // The system's small spinner turns one spoke every twelfth of a second.
    m_spinner.setInterval(83);
    connect(&m_spinner, &QTimer::timeout, this, [this] {
        m_spinnerStep = (m_spinnerStep + 1) % 12;
        update();
    });
    connect(this, &QAbstractButton::clicked, this, [onSelect = std::move(onSelect)] {
        if (onSelect)
            onSelect();
    });
    itemChanged();
}

bool CaptureTrayItemView::showsPlayBadge() const
{
    return item().isVideo();
}

bool CaptureTrayItemView::showsBusyLayer() const
{
    return item().state().isBusy();
}

QSize CaptureTrayItemView::sizeHint() const
{
    const QSizeF frame = frameSize(m_isSelected);
    return QSize(int(std::ceil(frame.width())) + 2 * shadowRoom(),
                 int(std::ceil(frame.height())) + 2 * shadowRoom());
}

QRectF CaptureTrayItemView::pictureRect() const
{
    return QRectF(QPointF(shadowRoom(), shadowRoom()), frameSize(m_isSelected));
}

void CaptureTrayItemView::itemChanged()
{
    setAccessibleName(captureAccessibilityLabel(item()));
    updateSpinner();
}

void CaptureTrayItemView::showEvent(QShowEvent *event)
{
    TrayThumbnailButton::showEvent(event);
    updateSpinner();
}

void CaptureTrayItemView::hideEvent(QHideEvent *event)
{
    TrayThumbnailButton::hideEvent(event);
    updateSpinner();
}

void CaptureTrayItemView::updateSpinner()
{
    // The spinner turns only while it can be seen.
    if (showsBusyLayer() && isVisible())
        m_spinner.start();
    else
        m_spinner.stop();
}

QPixmap CaptureTrayItemView::dragPicture()
{
    return coveringPicture(frameSize(true), cellRadius);
}

void CaptureTrayItemView::paintEvent(QPaintEvent *)
{
    if (contentOpacity() <= 0)
        return;
    const qreal ratio = devicePixelRatioF();
    const QSizeF frame = frameSize(m_isSelected);
    const QColor border = m_isSelected ? accentColor() : whiteAt(0.2);
    const double borderWidth = m_isSelected ? 2 : 1;
    // Picture, border and shadow are one layer, made once per capture and look.
    const QPixmap layer = pictures().picture(
        item(), lookKey("cell", frame, cellRadius, ratio, border), [&](const QImage &thumbnail) {
            const QSizeF tight = frame + QSizeF(2 * cellBorderRoom, 2 * cellBorderRoom);
            QImage picture((tight * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
            picture.setDevicePixelRatio(ratio);
            picture.fill(Qt::transparent);
            {
                QPainter p(&picture);
                p.setRenderHint(QPainter::Antialiasing);
                const QRectF at(QPointF(cellBorderRoom, cellBorderRoom), frame);
                p.drawImage(at.topLeft(), roundedThumbnail(thumbnail, frame, cellRadius,
                                                           ThumbnailScaling::fit, ratio));
                p.setPen(QPen(border, borderWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
                p.setBrush(Qt::NoBrush);
                p.drawPath(trayOutlinePath(at, cellRadius, false));
            }
            const QImage shadow = dropShadow(picture, cellShadowBlur, QColor(0, 0, 0, 77));
            QImage composed(shadow.size(), QImage::Format_ARGB32_Premultiplied);
            composed.setDevicePixelRatio(ratio);
            composed.fill(Qt::transparent);
            QPainter p(&composed);
            p.drawImage(QPointF(0, 1), shadow);
            const double margin = shadowMargin(cellShadowBlur);
            p.drawImage(QPointF(margin, margin), picture);
            p.end();
            return QPixmap::fromImage(composed);
        });

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(contentOpacity());
    painter.drawPixmap(QPointF(0, 0), layer);

    const QRectF at = pictureRect();
    if (showsPlayBadge()) {
        const double diameter = m_isSelected ? 20 : 16;
        const double glyph = m_isSelected ? 9 : 7;
        const QPointF centre = at.bottomRight() - QPointF(4 + diameter / 2, 4 + diameter / 2);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 166));
        painter.drawEllipse(centre, diameter / 2, diameter / 2);
        paintSymbol(painter, QStringLiteral("play.fill"),
                    QRectF(centre.x() - glyph / 2 + 0.5, centre.y() - glyph / 2, glyph, glyph),
                    Qt::white);
    }
    if (showsBusyLayer()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 128));
        painter.drawPath(trayOutlinePath(at, cellRadius, false));
        // The system spinner (32 points) at 0.6 of its size: twelve spokes, the leading one
        // brightest.
        const double outer = 16 * 0.6;
        const QPointF centre = at.center();
        for (int spoke = 0; spoke < 12; ++spoke) {
            const int age = (m_spinnerStep - spoke + 12) % 12;
            const double angle = spoke * M_PI / 6;
            const QPointF direction(std::sin(angle), -std::cos(angle));
            painter.setPen(
                QPen(whiteAt(1.0 - age * 0.07), outer * 0.2, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(centre + direction * outer * 0.5, centre + direction * outer);
        }
    }
}

// ---- CaptureTrayThumbnail

namespace {

constexpr QSizeF compactThumbnail(40, 26);
constexpr QSizeF largeThumbnail(80, 54);
constexpr double compactRadius = 5;
constexpr double largeRadius = 8;

} // namespace

QSizeF CaptureTrayThumbnail::frameSize(double morph)
{
    return compactThumbnail + (largeThumbnail - compactThumbnail) * morph;
}

CaptureTrayThumbnail::CaptureTrayThumbnail(const CaptureItem &item, TrayThumbnailCache &pictures,
                                           QWidget *parent)
    : TrayThumbnailButton(item, pictures, parent)
{
    setMorph(0);
}

void CaptureTrayThumbnail::setMorph(double morph)
{
    m_morph = std::clamp(morph, 0.0, 1.0);
    const QSizeF frame = frameSize(m_morph);
    resize(int(std::ceil(frame.width())) + 2 * borderRoom,
           int(std::ceil(frame.height())) + 2 * borderRoom);
    update();
}

QRectF CaptureTrayThumbnail::pictureRect() const
{
    return QRectF(QPointF(borderRoom, borderRoom), frameSize(m_morph));
}

QPixmap CaptureTrayThumbnail::dragPicture()
{
    return m_morph >= 0.5 ? coveringPicture(largeThumbnail, largeRadius)
                          : coveringPicture(compactThumbnail, compactRadius);
}

void CaptureTrayThumbnail::paintEvent(QPaintEvent *)
{
    if (contentOpacity() <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(contentOpacity());
    const QRectF frame = pictureRect();
    // Between the two looks the large picture is drawn shrunk.
    const QPixmap picture = dragPicture();
    painter.drawPixmap(frame, picture, QRectF(picture.rect()));
    const double radius = compactRadius + (largeRadius - compactRadius) * m_morph;
    const QColor border = mix(whiteAt(0.18), accentColor(), m_morph);
    painter.setPen(QPen(border, 1 + m_morph, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(trayOutlinePath(frame, radius, false));
}
