#include "capture/SelectionOverlayWindow.h"

#include "model/Log.h"

#include <QCoreApplication>
#include <QPainter>
#include <QWindow>

namespace {

// The selection whose overlays are up, of either kind; main thread only.
std::weak_ptr<SelectionSessionBase> openSelection;

} // namespace

SelectionBackdrop::SelectionBackdrop(OverlayBackground background, QImage frozenImage, double scale,
                                     double dimAlpha)
    : m_background(frozenImage.isNull() ? OverlayBackground::liveDesktop : background),
      m_frozenImage(std::move(frozenImage)), m_scale(scale > 0 ? scale : 1.0),
      m_dim(QColor::fromRgbF(0, 0, 0, float(dimAlpha)))
{
}

void SelectionBackdrop::paint(QPainter &painter, const QRegion &area,
                              const std::optional<QRectF> &undimmed) const
{
    // Rectangle by rectangle: a pointer move repaints a few strips, never the whole display.
    for (const QRect &rect : area) {
        if (m_background == OverlayBackground::frozenImage)
            drawFrozen(painter, rect);
        painter.fillRect(rect, m_dim);
    }
    if (!undimmed)
        return;
    painter.save();
    painter.setClipRegion(area, Qt::IntersectClip);
    if (m_background == OverlayBackground::frozenImage) {
        drawFrozen(painter, *undimmed);
    } else {
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.fillRect(*undimmed, Qt::transparent);
    }
    painter.restore();
}

void SelectionBackdrop::drawFrozen(QPainter &painter, const QRectF &target) const
{
    const QRectF source(target.topLeft() * m_scale, target.size() * m_scale);
    painter.drawImage(target, m_frozenImage, source);
}

SelectionOverlayWindow::SelectionOverlayWindow(const platform::Display &display,
                                               std::shared_ptr<platform::OverlayWindows> overlays)
    : QWidget(nullptr, platform::OverlayWindows::windowFlags()), m_display(display),
      m_overlays(std::move(overlays))
{
    setAttribute(Qt::WA_NoSystemBackground);
}

SelectionOverlayWindow::~SelectionOverlayWindow() = default;

void SelectionOverlayWindow::setContentView(QWidget *view)
{
    delete m_contentView;
    m_contentView = view;
    if (!view)
        return;
    view->setParent(this);
    setFocusProxy(view);
}

void SelectionOverlayWindow::present(bool translucent)
{
    // Decides the window's visual, so it comes before the window exists.
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    const platform::OverlayPlacement placement = m_overlays->placement(m_display);
    if (placement.screen)
        setScreen(placement.screen);
    setGeometry(placement.geometry);
    if (m_contentView)
        m_contentView->setGeometry(QRect(QPoint(0, 0), placement.geometry.size()));
    show();
    m_overlays->opened(windowHandle());
    if (m_contentView)
        m_contentView->setFocus(Qt::ActiveWindowFocusReason);
}

void SelectionOverlayWindow::dismiss()
{
    if (!isVisible())
        return;
    hide();
    m_overlays->closed(windowHandle());
}

void SelectionOverlayWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_contentView)
        m_contentView->setGeometry(rect());
}

SelectionSessionBase::SelectionSessionBase(const char *name) : m_name(name) {}

SelectionSessionBase::~SelectionSessionBase()
{
    close();
}

void SelectionSessionBase::begin()
{
    if (auto previous = openSelection.lock(); previous && previous.get() != this)
        previous->end(SelectionEnd::superseded);
    openSelection = weak_from_this();
}

void SelectionSessionBase::endWhenDisplaysChange(platform::Displays &displays)
{
    QObject::disconnect(m_displaysConnection);
    m_displaysConnection = QObject::connect(&displays, &platform::Displays::displaysChanged,
                                            [weak = weak_from_this()] {
                                                if (auto session = weak.lock())
                                                    session->end(SelectionEnd::displaysChanged);
                                            });
}

QList<SelectionOverlayWindow *> SelectionSessionBase::panels() const
{
    QList<SelectionOverlayWindow *> panels;
    for (const auto &panel : m_panels)
        panels.append(panel.get());
    return panels;
}

SelectionOverlayWindow *
SelectionSessionBase::addPanel(std::unique_ptr<SelectionOverlayWindow> panel)
{
    m_panels.emplace_back(panel.release());
    return m_panels.back().get();
}

bool SelectionSessionBase::cancel()
{
    return fail(std::make_exception_ptr(CaptureError::cancelled()));
}

bool SelectionSessionBase::fail(std::exception_ptr error)
{
    if (!close())
        return false;
    m_error = std::move(error);
    resumeLater();
    return true;
}

void SelectionSessionBase::end(SelectionEnd reason)
{
    if (!close())
        return;
    switch (reason) {
    case SelectionEnd::superseded:
        qCInfo(Log::capture, "%s cancelled: a new selection started", m_name);
        break;
    case SelectionEnd::displaysChanged:
        qCInfo(Log::capture, "%s cancelled: the displays changed", m_name);
        break;
    case SelectionEnd::ownerGone:
        break;
    }
    m_error = std::make_exception_ptr(CaptureError::cancelled());
    resumeLater();
}

bool SelectionSessionBase::close()
{
    if (m_finished)
        return false;
    m_finished = true;
    QObject::disconnect(m_displaysConnection);
    // Every panel is off the screen before anyone hears of the outcome: the screenshot that
    // follows must not contain them.
    for (const auto &panel : m_panels)
        panel->dismiss();
    m_panels.clear();
    return true;
}

void SelectionSessionBase::resumeLater()
{
    if (!m_waiter)
        return; // nobody waits yet: the outcome is ready when they ask
    QCoreApplication *application = QCoreApplication::instance();
    if (!application) {
        std::exchange(m_waiter, {}).resume();
        return;
    }
    QMetaObject::invokeMethod(
        application,
        [self = shared_from_this()] {
            if (std::coroutine_handle<> waiter = std::exchange(self->m_waiter, {}))
                waiter.resume();
        },
        Qt::QueuedConnection);
}

void SelectionSessionBase::rethrowError() const
{
    if (m_error)
        std::rethrow_exception(m_error);
}

void SelectionSessionBase::DeleteLater::operator()(QObject *object) const
{
    // The panel may be inside one of its own event handlers.
    object->deleteLater();
}
