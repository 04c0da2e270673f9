#pragma once

#include "capture/CaptureNeighbours.h"
#include "model/CaptureItem.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <functional>
#include <memory>
#include <optional>

class AnnotationEditorView;
class QWidget;

namespace platform {
class PanelWindows;
} // namespace platform

// Shows the markup editor for one capture in a window of its own and hands the flattened image
// to a callback. The markup users reach runs inside the preview; this window is opened by
// nothing, but closed with the preview before every capture. Main thread only.
class AnnotationWindowController final : public QObject, public ClosableWindow {
    Q_OBJECT

public:
    using VisibleFrame = std::function<std::optional<QRectF>()>;

    // The window is kept above floating panels when `panels` is given.
    explicit AnnotationWindowController(VisibleFrame visibleFrame = {},
                                        std::shared_ptr<platform::PanelWindows> panels = {},
                                        QObject *parent = nullptr);
    ~AnnotationWindowController() override;

    void show(const CaptureItem &item, std::function<void(const QImage &)> onSave);
    void close() override;

    QWidget *window() const { return m_window; }
    AnnotationEditorView *editor() const;

    // The new window's content size for a visible frame (points).
    static QSizeF windowSize(const QRectF &visibleFrame);

private:
    VisibleFrame m_visibleFrame;
    std::shared_ptr<platform::PanelWindows> m_panels;
    QPointer<QWidget> m_window;
    std::function<void(const QImage &)> m_onSaveCallback;
};
