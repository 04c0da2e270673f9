#pragma once

#include "preview/PreviewWindow.h"

#include <QPointer>
#include <memory>

namespace platform {
class Displays;
class PanelWindows;
class WindowMove;
} // namespace platform

class PreviewPanelWidget;

// The preview's window on the desktop: undecorated, above normal windows, on every workspace,
// dragged by its background and resized from its corner; it takes the keyboard when shown
// without raising the program's other windows.
class QtPreviewWindow final : public PreviewWindow {
public:
    QtPreviewWindow(platform::Displays &displays, std::shared_ptr<platform::PanelWindows> panels);
    ~QtPreviewWindow() override;

    void setFrame(const QRectF &screenFrame, bool animate) override;
    QRectF frame() const override;
    void setLeastSize(const QSizeF &size) override;
    void setContent(QWidget *view) override;
    void present() override;
    bool isVisible() const override;
    bool holds(const QObject *target) const override;

    QWidget *widget() const;

private:
    platform::Displays &m_displays;
    std::shared_ptr<platform::PanelWindows> m_panels;
    QPointer<PreviewPanelWidget> m_widget;
    std::unique_ptr<platform::WindowMove> m_move;
};
