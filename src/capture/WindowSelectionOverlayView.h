#pragma once

#include "capture/SelectionOverlayWindow.h"
#include "platform/Displays.h"
#include "platform/WindowList.h"

#include <QFont>
#include <QList>
#include <QWidget>
#include <functional>
#include <optional>

// The content of a window-selection panel: the dimmed desktop with the window under the pointer
// undimmed, framed in the accent colour and named by a label. A click picks the window under the
// pointer, a click on no window or Escape cancels.
class WindowSelectionOverlayView : public QWidget {
    Q_OBJECT

public:
    // `flipHeight` is H of the flip between screen and capture coordinates. `frozenImage` (null
    // when none was taken) stands in for the live desktop where `background` says so.
    WindowSelectionOverlayView(const platform::Display &display, double flipHeight,
                               OverlayBackground background, QImage frozenImage,
                               QWidget *parent = nullptr);

    // The candidates in the window list's order (topmost first), the same for every display.
    void setWindowsToSelect(QList<platform::WindowInfo> windows);
    const QList<platform::WindowInfo> &windowsToSelect() const { return m_windowsToSelect; }
    const std::optional<platform::WindowInfo> &hoveredWindow() const { return m_hoveredWindow; }
    const SelectionBackdrop &backdrop() const { return m_backdrop; }

    std::function<void(const platform::WindowInfo &)> onSelected;
    std::function<void()> onCancelled;

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // The first candidate, in list order, under a point of this view (widget coordinates).
    std::optional<platform::WindowInfo> windowAt(QPointF position) const;
    void updateHoveredWindow(QPointF position);
    void handleClick(QPointF position);
    // The hovered window's frame in widget coordinates.
    std::optional<QRectF> highlight() const;
    // The highlight and its label with room for the stroke, in widget coordinates.
    QRegion highlightArea() const;
    QSizeF labelTextSize(const QString &text) const;
    QRectF labelBox(const QRectF &highlight, const QSizeF &textSize) const;

    platform::Display m_display;
    double m_flipHeight;
    SelectionBackdrop m_backdrop;
    QFont m_labelFont;
    QList<platform::WindowInfo> m_windowsToSelect;
    std::optional<platform::WindowInfo> m_hoveredWindow;
};
