#include "tray/CorvantaPanel.h"

#include "platform/Compositor.h"
#include "platform/PanelWindows.h"

#include <QPolygon>
#include <QVBoxLayout>

PanelHitTestingContainer::PanelHitTestingContainer(QWidget *parent) : QWidget(parent)
{
    // Clear wherever the content draws nothing.
    setAutoFillBackground(false);
    setAttribute(Qt::WA_NoSystemBackground);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

QPainterPath PanelHitTestingContainer::makeHitPath(const QRectF &rect, double cornerRadius)
{
    const double r = cornerRadius;
    const double k = r * 0.45;
    const double left = rect.left();
    const double right = rect.right();
    const double top = rect.top();
    const double bottom = rect.bottom();

    QPainterPath path;
    path.moveTo(left, top);
    path.lineTo(right, top);
    path.lineTo(right, bottom - r);
    path.cubicTo(QPointF(right, bottom - k), QPointF(right - k, bottom),
                 QPointF(right - r, bottom));
    path.lineTo(left + r, bottom);
    path.cubicTo(QPointF(left + k, bottom), QPointF(left, bottom - k), QPointF(left, bottom - r));
    path.lineTo(left, top);
    path.closeSubpath();
    return path;
}

QRegion PanelHitTestingContainer::hitRegion(const QPainterPath &path)
{
    return QRegion(path.toFillPolygon().toPolygon(), Qt::WindingFill);
}

QWidget *PanelHitTestingContainer::hitTest(QPointF point)
{
    if (!m_hitPathCache)
        m_hitPathCache = makeHitPath(QRectF(rect()), m_cornerRadius);
    if (!m_hitPathCache->contains(point))
        return nullptr;
    QWidget *child = childAt(point.toPoint());
    return child ? child : this;
}

void PanelHitTestingContainer::rebuildShape()
{
    m_hitPathCache.reset();
    // A child widget's mask clips its content and keeps Qt's own click delivery to the outline.
    setMask(shapeRegion());
    update();
}

QRegion PanelHitTestingContainer::shapeRegion() const
{
    return hitRegion(makeHitPath(QRectF(rect()), m_cornerRadius));
}

void PanelHitTestingContainer::setContent(QWidget *content)
{
    if (content == m_content)
        return;
    delete m_content;
    m_content = content;
    if (!content)
        return;
    // The content's own background stays clear; the outline decides what shows.
    content->setAutoFillBackground(false);
    layout()->addWidget(content);
}

void PanelHitTestingContainer::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    rebuildShape();
}

CorvantaPanel::CorvantaPanel(std::shared_ptr<platform::PanelWindows> panels,
                             const platform::Compositor *compositor)
    : QWidget(nullptr, platform::PanelWindows::windowFlags() | Qt::WindowDoesNotAcceptFocus |
                           Qt::NoDropShadowWindowHint),
      m_panels(std::move(panels)), m_compositor(compositor),
      m_container(new PanelHitTestingContainer(this))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    // A window that was never given a size would get a default one when first shown.
    setFrame(QRect());
    if (m_panels)
        m_panels->prepare(this, platform::PanelLevel::topmost);
}

void CorvantaPanel::setIgnoresMouseEvents(bool ignores)
{
    m_ignoresMouseEvents = ignores;
    m_container->setAttribute(Qt::WA_TransparentForMouseEvents, ignores);
    updateInputRegion();
}

void CorvantaPanel::applyShape()
{
    const bool compositing = m_compositor && m_compositor->isCompositing();
    // Without a compositor the clear parts of the window would show black.
    if (compositing)
        clearMask();
    else
        setMask(m_container->shapeRegion());
    updateInputRegion();
}

void CorvantaPanel::setFrame(const QRect &frame)
{
    setGeometry(frame);
    m_container->setGeometry(rect());
}

void CorvantaPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_container->setGeometry(rect());
    applyShape();
}

void CorvantaPanel::updateInputRegion()
{
    if (m_panels)
        m_panels->setInputRegion(this,
                                 m_ignoresMouseEvents ? QRegion() : m_container->shapeRegion());
}
