#include "pins/PinContentView.h"

#include "model/SettingsStore.h"
#include "model/StartTask.h"
#include "pins/PinActions.h"
#include "pins/PinGeometry.h"
#include "pins/PinWindowModel.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QHelpEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QTimer>
#include <QToolTip>

namespace {

constexpr double buttonSide = 25.0; // an 11-point symbol padded by 6 on every side
constexpr double buttonSpacing = 6.0;
constexpr double overlayPadding = 8.0;
constexpr int copiedFeedbackMs = 1200;
constexpr int overlayFadeMs = 150;
// The buttons grow into place from this share of their size as they fade in.
constexpr double overlayStartScale = 0.95;

using PinCardDrawing::Symbol;

} // namespace

PinContentView::PinContentView(PinWindowModel &controller, QWidget *parent)
    : QWidget(parent), m_controller(controller)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
    connect(&controller, &PinWindowModel::changed, this, qOverload<>(&QWidget::update));
    m_overlayFade.setDuration(overlayFadeMs);
    m_overlayFade.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&m_overlayFade, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_overlayShown = value.toDouble();
        update();
    });
}

QString PinContentView::helpText(Button button)
{
    switch (button) {
    case Button::ghost:
        return QStringLiteral("Ghost Mode");
    case Button::copy:
        return QStringLiteral("Copy");
    case Button::save:
        return QStringLiteral("Save Image");
    case Button::reveal:
        return QStringLiteral("Show in Folder");
    case Button::open:
        return QStringLiteral("Open");
    case Button::close:
        return QStringLiteral("Close Pin");
    }
    return {};
}

QList<PinContentView::Button> PinContentView::buttons() const
{
    const bool image = m_controller.item()->isImage();
    return {Button::ghost, Button::copy, image ? Button::save : Button::reveal, Button::open,
            Button::close};
}

QList<QRectF> PinContentView::buttonRects() const
{
    const qsizetype count = buttons().size();
    QList<QRectF> rects;
    const double rowWidth = count * buttonSide + (count - 1) * buttonSpacing;
    const double left = width() - overlayPadding - rowWidth;
    for (qsizetype i = 0; i < count; ++i)
        rects.append(QRectF(left + i * (buttonSide + buttonSpacing), overlayPadding, buttonSide,
                            buttonSide));
    return rects;
}

QStringList PinContentView::contextMenuItems() const
{
    const PinItemPtr &item = m_controller.item();
    QStringList entries{QStringLiteral("Copy")};
    if (item->isImage())
        entries << QStringLiteral("Save Image...");
    else
        entries << QStringLiteral("Open") << QStringLiteral("Show in Folder");
    entries << (m_controller.isGhostMode() ? QStringLiteral("Solid Mode")
                                           : QStringLiteral("Ghost Mode"))
            << QString() << QStringLiteral("Close Pin");
    return entries;
}

std::optional<QString> PinContentView::infoText() const
{
    const PinItemPtr &item = m_controller.item();
    const std::optional<QString> size = item->fileSizeText();
    if (!size)
        return std::nullopt;
    return item->kindText() + QStringLiteral(" • ") + *size;
}

QColor PinContentView::borderColor() const
{
    const SettingsStore &settings = m_controller.settings();
    return PinCardDrawing::borderColor(settings.pinBorderColor(), settings.accentTheme());
}

void PinContentView::trigger(Button button)
{
    PinWindowModel &controller = m_controller;
    const PinItemPtr item = controller.item();
    switch (button) {
    case Button::ghost:
        controller.toggleGhostMode();
        break;
    case Button::copy:
        copyItem();
        break;
    case Button::save:
        startTask(controller.actions().saveAs(item, this));
        break;
    case Button::reveal:
        controller.actions().reveal(*item);
        break;
    case Button::open:
        startTask(controller.actions().open(item));
        break;
    case Button::close:
        controller.requestClose();
        break;
    }
}

void PinContentView::copyItem()
{
    startTask(m_controller.actions().copy(m_controller.item()));
    m_justCopied = true;
    update();
    if (m_controller.settings().pinCloseOnCopy()) {
        trigger(Button::close);
        return;
    }
    // The first copy's reset clears the checkmark; a second copy does not lengthen it.
    QPointer<PinContentView> self(this);
    QTimer::singleShot(copiedFeedbackMs, this, [self] {
        if (self) {
            self->m_justCopied = false;
            self->update();
        }
    });
}

void PinContentView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const SettingsStore &settings = m_controller.settings();
    const double radius = usablePinCornerRadius(settings.pinCornerRadius());
    const QImage image = m_controller.displayImage();
    QRectF target = rect();
    if (!image.isNull()) {
        const QSizeF size = QSizeF(image.size()) / image.devicePixelRatio();
        const QSizeF fitted = size.scaled(target.size(), Qt::KeepAspectRatio);
        target = QRectF(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2),
                        fitted);
    }
    QPainterPath shape;
    shape.addRoundedRect(target, radius, radius);
    painter.setOpacity(m_controller.pictureOpacity());
    painter.save();
    painter.setClipPath(shape);
    if (image.isNull())
        painter.fillRect(target, QColor(128, 128, 128));
    else
        painter.drawImage(target, image);
    painter.restore();
    const double borderWidth = usablePinBorderWidth(settings.pinBorderWidth());
    if (borderWidth > 0) {
        QColor border = borderColor();
        border.setAlphaF(0.5f);
        painter.setPen(QPen(border, borderWidth));
        painter.drawPath(shape);
    }
    if (m_overlayShown > 0)
        paintOverlay(painter);
}

void PinContentView::paintOverlay(QPainter &painter)
{
    const QList<Button> shown = buttons();
    const QList<QRectF> rects = buttonRects();
    const std::optional<QString> info = infoText();
    QFont font = painter.font();
    font.setPointSizeF(10);
    font.setWeight(QFont::Medium);
    painter.setFont(font);
    QRectF label;
    if (info) {
        const QFontMetricsF metrics(font);
        const QSizeF textSize(metrics.horizontalAdvance(*info) + 16, metrics.height() + 6);
        label = QRectF(
            QPointF(width() - overlayPadding - textSize.width(), overlayPadding + buttonSide + 6),
            textSize);
    }
    QRectF overlay = label;
    for (const QRectF &rect : rects)
        overlay |= rect;
    const QPointF centre = overlay.center();
    const double scale = overlayStartScale + (1 - overlayStartScale) * m_overlayShown;
    painter.save();
    painter.setOpacity(m_overlayShown);
    painter.translate(centre);
    painter.scale(scale, scale);
    painter.translate(-centre);
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const Button button = shown[i];
        QColor background(0, 0, 0, int(255 * 0.65));
        if (button == Button::close)
            background = QColor(255, 59, 48, int(255 * 0.85));
        painter.setPen(Qt::NoPen);
        painter.setBrush(background);
        painter.drawEllipse(rects[i]);
        Symbol symbol = Symbol::copy;
        QColor foreground = Qt::white;
        switch (button) {
        case Button::ghost:
            symbol = m_controller.isGhostMode() ? Symbol::eyeSlash : Symbol::eye;
            break;
        case Button::copy:
            symbol = m_justCopied ? Symbol::checkmark : Symbol::copy;
            if (m_justCopied)
                foreground = QColor(52, 199, 89);
            break;
        case Button::save:
            symbol = Symbol::save;
            break;
        case Button::reveal:
            symbol = Symbol::folder;
            break;
        case Button::open:
            symbol = Symbol::open;
            break;
        case Button::close:
            symbol = Symbol::close;
            break;
        }
        PinCardDrawing::drawSymbol(painter, symbol, rects[i].adjusted(6, 6, -6, -6), foreground);
    }
    if (info) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, int(255 * 0.65)));
        painter.drawRoundedRect(label, label.height() / 2, label.height() / 2);
        painter.setPen(Qt::white);
        painter.drawText(label, Qt::AlignCenter, *info);
    }
    painter.restore();
}

void PinContentView::enterEvent(QEnterEvent *)
{
    setHovering(true);
}

void PinContentView::leaveEvent(QEvent *)
{
    setHovering(false);
}

void PinContentView::setHovering(bool hovering)
{
    if (m_hovering == hovering)
        return;
    m_hovering = hovering;
    m_overlayFade.stop();
    m_overlayFade.setStartValue(m_overlayShown);
    m_overlayFade.setEndValue(hovering ? 1.0 : 0.0);
    m_overlayFade.start();
}

bool PinContentView::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const QList<QRectF> rects = buttonRects();
    const QList<Button> shown = buttons();
    for (qsizetype i = 0; m_hovering && i < rects.size(); ++i) {
        if (rects[i].contains(help->pos())) {
            QToolTip::showText(help->globalPos(), helpText(shown[i]), this,
                               rects[i].toAlignedRect());
            return true;
        }
    }
    QToolTip::hideText();
    event->ignore();
    return true;
}

void PinContentView::mousePressEvent(QMouseEvent *event)
{
    m_awaitingDrag = false;
    if (event->button() == Qt::LeftButton) {
        m_pressPoint = event->position();
        // Judged meanwhile, so that the drag's file is soon made.
        m_controller.item()->checkPicture();
    }
}

void PinContentView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressPoint || !(event->buttons() & Qt::LeftButton) ||
        (event->position() - *m_pressPoint).manhattanLength() < QApplication::startDragDistance())
        return;
    m_pressPoint.reset();
    // The drag's file is made away from the main thread; the drag starts once it is there,
    // unless the button was let go meanwhile.
    const quint64 turn = ++m_dragTurn;
    m_awaitingDrag = true;
    PinActions::dragData(m_controller.item(), this, {}, [this, turn](QMimeData *data) {
        std::unique_ptr<QMimeData> owned(data);
        if (!m_awaitingDrag || m_dragTurn != turn || !owned)
            return;
        m_awaitingDrag = false;
        auto *drag = new QDrag(this);
        drag->setMimeData(owned.release());
        drag->exec(Qt::CopyAction);
    });
}

void PinContentView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_awaitingDrag = false;
    if (event->button() != Qt::LeftButton || !m_pressPoint)
        return;
    m_pressPoint.reset();
    if (!m_hovering)
        return;
    const QList<QRectF> rects = buttonRects();
    const QList<Button> shown = buttons();
    for (qsizetype i = 0; i < rects.size(); ++i) {
        if (rects[i].contains(event->position())) {
            trigger(shown[i]);
            return;
        }
    }
}

void PinContentView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        trigger(Button::open);
}

void PinContentView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu;
    const bool image = m_controller.item()->isImage();
    menu.addAction(QStringLiteral("Copy"), this, [this] { trigger(Button::copy); });
    if (image) {
        menu.addAction(QStringLiteral("Save Image..."), this, [this] { trigger(Button::save); });
    } else {
        menu.addAction(QStringLiteral("Open"), this, [this] { trigger(Button::open); });
        menu.addAction(QStringLiteral("Show in Folder"), this, [this] { trigger(Button::reveal); });
    }
    menu.addAction(m_controller.isGhostMode() ? QStringLiteral("Solid Mode")
                                              : QStringLiteral("Ghost Mode"),
                   this, [this] { trigger(Button::ghost); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("Close Pin"), this, [this] { trigger(Button::close); });
    menu.exec(event->globalPos());
}
