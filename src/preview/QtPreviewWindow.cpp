#include "preview/QtPreviewWindow.h"

#include "platform/Displays.h"
#include "platform/PanelWindows.h"
#include "platform/WindowMove.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSizeGrip>
#include <QVBoxLayout>
#include <QWindow>
#include <optional>

namespace {

constexpr QSize previewLeastSize(780, 540);

} // namespace

class PreviewPanelWidget final : public QWidget {
public:
    PreviewPanelWidget()
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    {
        setAttribute(Qt::WA_TranslucentBackground);
        setMinimumSize(previewLeastSize);
        setWindowTitle(QStringLiteral("Corvanta Preview"));
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        m_grip = new QSizeGrip(this);
        m_grip->resize(16, 16);
    }

    void setContent(QWidget *view)
    {
        if (m_content) {
            // It may be the view whose button asked for the change.
            m_content->hide();
            m_content->deleteLater();
        }
        m_content = view;
        if (view) {
            layout()->addWidget(view);
            view->show();
            m_grip->raise();
        }
    }

protected:
    // Dragging the background moves the window, as a title bar would. The window is moved here
    // rather than by the window manager: one that is handed the pointer after a click has ended
    // keeps the window on the pointer until the next click, and one asked while the button is
    // held cannot take the pointer from us.
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() != Qt::LeftButton)
            return;
        m_drag = Drag{.pressPoint = event->globalPosition(), .origin = pos()};
    }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (!m_drag || !(event->buttons() & Qt::LeftButton)) {
            m_drag.reset();
            return;
        }
        const QPointF travel = event->globalPosition() - m_drag->pressPoint;
        if (!m_drag->moving && travel.manhattanLength() < QApplication::startDragDistance())
            return;
        m_drag->moving = true;
        move(m_drag->origin + travel.toPoint());
    }
    void mouseReleaseEvent(QMouseEvent *) override { m_drag.reset(); }
    void resizeEvent(QResizeEvent *event) override
    {
        QWidget::resizeEvent(event);
        m_grip->move(width() - m_grip->width() - 4, height() - m_grip->height() - 4);
    }

private:
    QPointer<QWidget> m_content;
    QSizeGrip *m_grip = nullptr;
    struct Drag {
        QPointF pressPoint;
        QPoint origin;
        bool moving = false;
    };
    std::optional<Drag> m_drag;
};

QtPreviewWindow::QtPreviewWindow(platform::Displays &displays,
                                 std::shared_ptr<platform::PanelWindows> panels)
    : m_displays(displays), m_panels(std::move(panels)), m_widget(new PreviewPanelWidget),
      m_move(std::make_unique<platform::WindowMove>(m_widget))
{
    if (m_panels) {
        m_panels->showOnEveryWorkspace(m_widget);
        m_panels->keepAboveFloatingPanels(m_widget);
    }
}

QtPreviewWindow::~QtPreviewWindow()
{
    if (m_widget) {
        // A key typed into the window may be what closes it: it goes once that key is handled.
        m_widget->hide();
        m_widget->deleteLater();
    }
}

QWidget *QtPreviewWindow::widget() const
{
    return m_widget;
}

void QtPreviewWindow::setFrame(const QRectF &screenFrame, bool animate)
{
    if (!m_widget)
        return;
    m_move->moveTo(platform::screenToQtGeometry(screenFrame, m_displays.displays()), animate);
}

QRectF QtPreviewWindow::frame() const
{
    if (!m_widget)
        return {};
    return platform::qtGeometryToScreen(m_widget->geometry(), m_displays.displays());
}

void QtPreviewWindow::setLeastSize(const QSizeF &size)
{
    if (m_widget)
        m_widget->setMinimumSize(size.isEmpty() ? previewLeastSize
                                                : previewLeastSize.expandedTo(size.toSize()));
}

void QtPreviewWindow::setContent(QWidget *view)
{
    if (m_widget)
        m_widget->setContent(view);
    else
        delete view;
}

void QtPreviewWindow::present()
{
    if (!m_widget)
        return;
    m_widget->show();
    m_widget->raise();
    m_widget->activateWindow();
}

bool QtPreviewWindow::isVisible() const
{
    return m_widget && m_widget->isVisible();
}

bool QtPreviewWindow::holds(const QObject *target) const
{
    for (const QObject *object = target; object; object = object->parent()) {
        if (object == m_widget)
            return true;
        // The window's native handle receives keys too.
        if (m_widget && object == m_widget->windowHandle())
            return true;
        // A dialog of the preview is a window of its own: its keys are its own.
        if (object->isWidgetType() && static_cast<const QWidget *>(object)->isWindow())
            return false;
    }
    return false;
}
