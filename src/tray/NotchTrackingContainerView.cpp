#include "tray/NotchTrackingContainerView.h"

#include "model/CaptureQueue.h"
#include "model/SettingsStore.h"
#include "platform/Log.h"
#include "platform/PanelWindows.h"
#include "tray/CaptureTrayView.h"
#include "tray/TrayControlLayout.h"
#include "tray/TrayState.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QRegion>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <QWindow>

namespace {

// The drop's types as one line: ["text/uri-list", "text/plain"].
QString describeTypes(const QStringList &types)
{
    QStringList quoted;
    for (const QString &type : types)
        quoted << QLatin1Char('"') + type + QLatin1Char('"');
    return QLatin1Char('[') + quoted.join(QLatin1String(", ")) + QLatin1Char(']');
}

QRegion regionOf(const QList<QRectF> &rects)
{
    QRegion region;
    for (const QRectF &rect : rects)
        region += rect.toAlignedRect();
    return region;
}

} // namespace

NotchTrackingContainerView::NotchTrackingContainerView(
    const TrayState &state, const SettingsStore &settings, const CaptureQueue &queue,
    std::function<void(const CaptureItem &)> deleteCapture,
    std::shared_ptr<platform::PanelWindows> panels, QWidget *parent)
    : QWidget(parent, parent ? Qt::WindowFlags() : platform::PanelWindows::windowFlags()),
      m_state(state), m_settings(settings), m_queue(queue),
      m_deleteCapture(std::move(deleteCapture)), m_panels(std::move(panels))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    // The panel is never the active window, yet a cut-off text shows in full on hover.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setAcceptDrops(true);
}

NotchTrackingContainerView::~NotchTrackingContainerView() = default;

void NotchTrackingContainerView::setTrayView(CaptureTrayView *view)
{
    m_view = view;
    if (m_view)
        m_view->setGeometry(rect());
}

CaptureTrayView *NotchTrackingContainerView::trayView() const
{
    return m_view;
}

QList<QRectF> NotchTrackingContainerView::interactiveRects() const
{
    const TrayPosition position = m_settings.trayPosition();
    const TrayInteractionState state = m_state.interactionState();
    return trayInteractiveRects(
        QSizeF(size()), state, m_state.visibleContentSize(state, position),
        m_state.visibleContentSize(TrayInteractionState::expanded, position),
        m_state.hasNotch() && position == TrayPosition::notch, m_state.notchWidth(),
        m_state.notchHeight(), position);
}

bool NotchTrackingContainerView::isInteractive(QPointF position) const
{
    for (const QRectF &rect : interactiveRects()) {
        if (rect.contains(position))
            return true;
    }
    return false;
}

void NotchTrackingContainerView::refreshInteractiveArea()
{
    if (m_panels)
        m_panels->setInputRegion(this, regionOf(interactiveRects()));
    if (m_state.isCompositing()) {
        if (!mask().isEmpty())
            clearMask();
        return;
    }
    // Without a compositor whatever the tray does not draw would show as a black box (the
    // shadow too): the window takes the tray's outline as its shape.
    const TrayInteractionState state = m_state.interactionState();
    const bool expanded = state == TrayInteractionState::expanded;
    const TrayPosition position = m_settings.trayPosition();
    const bool attached = m_state.hasNotch() && position == TrayPosition::notch;
    const QRectF outline = trayOutlineRect(
        QSizeF(size()),
        m_state.visibleContentSize(expanded ? state : TrayInteractionState::compact), position);
    const QPainterPath path =
        trayOutlinePath(outline, trayCornerRadius(outline.height(), attached, expanded), attached);
    QRegion shape(path.toFillPolygon().toPolygon());
    // An empty mask would mean no mask at all, the whole panel showing.
    if (shape.isEmpty())
        shape = QRegion(0, 0, 1, 1);
    setMask(shape);
}

void NotchTrackingContainerView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_view)
        m_view->setGeometry(rect());
    refreshInteractiveArea();
}

bool NotchTrackingContainerView::event(QEvent *event)
{
    if (event->type() == QEvent::WinIdChange || event->type() == QEvent::Show)
        watchWindow();
    return QWidget::event(event);
}

void NotchTrackingContainerView::watchWindow()
{
    QWindow *window = windowHandle();
    if (!window || window == m_watchedWindow)
        return;
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
    m_watchedWindow = window;
    window->installEventFilter(this);
}

bool NotchTrackingContainerView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_watchedWindow)
        return filterWindowEvent(watched, event);
    return QWidget::eventFilter(watched, event);
}

bool NotchTrackingContainerView::filterWindowEvent(QObject *window, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        const QPointF position = mouse->position();
        // Off the tray the panel has no view to take the press.
        if (!isInteractive(position))
            return true;
        if (event->type() != QEvent::MouseButtonPress || mouse->button() != Qt::LeftButton ||
            m_deliveringPress)
            return false;
        // The stop and cancel buttons act on their own; asked before the press can change them.
        const bool ownedByControl = m_view && m_view->ownsClick(position.toPoint());
        QPointer<NotchTrackingContainerView> self(this);
        // The tray's own content handles the press first, then it counts as a tray click.
        m_deliveringPress = true;
        static_cast<QObject *>(window)->event(event);
        if (!self)
            return true;
        m_deliveringPress = false;
        if (!ownedByControl && onClick) {
            const std::function<void()> click = onClick;
            click();
        }
        return true;
    }
    case QEvent::Wheel:
        return !isInteractive(static_cast<QWheelEvent *>(event)->position());
    default:
        return false;
    }
}

void NotchTrackingContainerView::dragEnterEvent(QDragEnterEvent *event)
{
    dragMoveEvent(event);
}

// Any drag over the tray is taken as a copy; what it carries is judged when it drops.
void NotchTrackingContainerView::dragMoveEvent(QDragMoveEvent *event)
{
    if (!isInteractive(event->position())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void NotchTrackingContainerView::dropEvent(QDropEvent *event)
{
    if (!isInteractive(event->position()) || !performDrop(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

bool NotchTrackingContainerView::performDrop(const QMimeData *data)
{
    qCInfo(Log::queue, "Drag performed with types: %s",
           qUtf8Printable(describeTypes(data ? data->formats() : QStringList())));
    if (!data)
        return false;

    const QList<CaptureItem> items = m_queue.items();
    // The deletion runs after the drop has been answered.
    const auto deleteLater = [this](const CaptureItem &item) {
        QTimer::singleShot(0, this, [this, item] {
            if (m_deleteCapture)
                m_deleteCapture(item);
        });
    };

    const QList<QUrl> urls = data->urls();
    if (!urls.isEmpty()) {
        const QString name = urls.first().fileName();
        qCInfo(Log::queue, "Drag URL filename: %s", qUtf8Printable(name));
        // A dragged-out copy carries the capture's name; a name that merely contains it (a
        // copy renamed on the way) counts too.
        for (const CaptureItem &item : items) {
            const QString fileName = item.fileName();
            if (!fileName.isEmpty() && (name == fileName || name.contains(fileName))) {
                deleteLater(item);
                return true;
            }
        }
    }

    if (!data->hasText())
        return false;
    const QString text = data->text();
    for (const CaptureItem &item : items) {
        const QString fileName = item.fileName();
        if (!fileName.isEmpty() && text.contains(fileName)) {
            deleteLater(item);
            return true;
        }
    }
    return false;
}
