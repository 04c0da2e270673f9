#include "preview/AnnotationWindowController.h"

#include "platform/PanelWindows.h"
#include "preview/AnnotationEditorView.h"
#include "preview/PreviewGeometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

AnnotationWindowController::AnnotationWindowController(
    VisibleFrame visibleFrame, std::shared_ptr<platform::PanelWindows> panels, QObject *parent)
    : QObject(parent), m_visibleFrame(std::move(visibleFrame)), m_panels(std::move(panels))
{
}

AnnotationWindowController::~AnnotationWindowController()
{
    delete m_window;
}

QSizeF AnnotationWindowController::windowSize(const QRectF &visibleFrame)
{
    return QSizeF(std::min(0.85 * visibleFrame.width(), 1000.0),
                  std::min(0.85 * visibleFrame.height(), 750.0));
}

AnnotationEditorView *AnnotationWindowController::editor() const
{
    return m_window ? m_window->findChild<AnnotationEditorView *>() : nullptr;
}

void AnnotationWindowController::show(const CaptureItem &item,
                                      std::function<void(const QImage &)> onSave)
{
    m_onSaveCallback = std::move(onSave);
    if (!m_window) {
        const QRectF visible =
            (m_visibleFrame ? m_visibleFrame() : std::nullopt).value_or(previewFallbackFrame);
        auto *window = new QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->setWindowTitle(QStringLiteral("Markup — ") + item.fileName());
        // The editor's controls need all of its least size.
        window->setMinimumSize(QSize(700, 500).expandedTo(AnnotationEditorView::minimumEditorSize));
        window->resize(windowSize(visible).toSize());
        auto *layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        // Centred on the screen the way the window system centres windows.
        if (QScreen *screen = QGuiApplication::primaryScreen()) {
            const QRect available = screen->availableGeometry();
            window->move(available.center() - QPoint(window->width() / 2, window->height() / 2));
        }
        if (m_panels)
            m_panels->keepAboveFloatingPanels(window);
        m_window = window;
    }

    QPointer<AnnotationWindowController> self(this);
    auto *editor = new AnnotationEditorView(
        item,
        [self](const QImage &image) {
            if (!self)
                return;
            if (self->m_onSaveCallback)
                self->m_onSaveCallback(image);
            self->close();
        },
        [self] {
            if (self)
                self->close();
        });
    if (AnnotationEditorView *previous = this->editor()) {
        previous->hide();
        previous->setParent(nullptr);
        previous->deleteLater();
    }
    m_window->layout()->addWidget(editor);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    editor->setFocus();
}

void AnnotationWindowController::close()
{
    if (m_window) {
        // The editor whose callback closes the window is still on the stack.
        m_window->hide();
        m_window->deleteLater();
        m_window = nullptr;
    }
    m_onSaveCallback = nullptr;
}
