#pragma once

#include "capture/SelectionGeometry.h"
#include "platform/Displays.h"
#include "platform/OverlayWindows.h"

#include <QImage>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

class QPainter;

// What an overlay view paints beneath its own drawing: the desktop dimmed with black, with one
// rectangle left as it is. The desktop is the live one through a translucent window, or the
// display's frozen image where translucent pixels would turn black (no compositing manager).
class SelectionBackdrop {
public:
    SelectionBackdrop(OverlayBackground background, QImage frozenImage, double scale,
                      double dimAlpha);

    OverlayBackground background() const { return m_background; }
    bool isTranslucent() const { return m_background == OverlayBackground::liveDesktop; }

    // Paints the area (widget coordinates, the paint event's region); `undimmed` (widget
    // coordinates) shows the desktop undimmed. Leaves out what paintAhead() put into the
    // painter's image and nothing has painted over since.
    void paint(QPainter &painter, const QRegion &area, const std::optional<QRectF> &undimmed) const;

    // Paints the whole dimmed frozen image, nothing undimmed, into `target` (the memory of the
    // window's content; `area` is the widget rectangle it holds) on several threads, before the
    // window is first painted: at 4K a painter alone takes too long for the overlay to appear at
    // once. False, with nothing painted, for a translucent backdrop or a target that is not the
    // frozen image's size.
    bool paintAhead(QImage &target, const QRect &area) const;

private:
    void drawFrozen(QPainter &painter, const QRectF &target) const;

    OverlayBackground m_background;
    QImage m_frozenImage;
    double m_scale;
    QColor m_dim;
    // What paintAhead() painted that paint() has not painted again, and into which image.
    mutable QRegion m_paintedAhead;
    mutable const uchar *m_paintedAheadInto = nullptr;
};

// The overlay panel over one display: a borderless window above everything, holding one content
// view that fills it and takes the keyboard. Both selections use it.
class SelectionOverlayWindow : public QWidget {
    Q_OBJECT

public:
    SelectionOverlayWindow(const platform::Display &display,
                           std::shared_ptr<platform::OverlayWindows> overlays);
    ~SelectionOverlayWindow() override;

    const platform::Display &display() const { return m_display; }

    // The panel takes ownership of the view.
    void setContentView(QWidget *view);
    QWidget *contentView() const { return m_contentView; }

    // Makes the window, still hidden, and the memory its content is drawn into, so that
    // present() only has to fill it and put it on the screen. A hidden window is in no
    // screenshot. Translucent: as for present().
    void prepare(bool translucent);
    // Touches every page of that memory, on several threads: the first touch of a display-sized
    // buffer takes tens of milliseconds, which would otherwise fall on the overlay's first
    // paint. Touches nothing before prepare().
    void touchContentMemory();
    // What the window was made for (prepare() or present()); nothing before.
    std::optional<bool> preparedTranslucency() const { return m_preparedTranslucency; }
    // Shows the panel over its display, with the backdrop its content view paints beneath
    // everything. A translucent backdrop makes a translucent window: where the view paints
    // nothing, or paints translucently, the desktop shows through. An opaque one is painted into
    // the window before it appears.
    void present(const SelectionBackdrop &backdrop);
    // Hides the panel and waits until the window system has taken it off the screen.
    void dismiss();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // Places the window over its display and makes it, hidden.
    void makeWindow(bool translucent);
    // Runs `paint` on the image of the window's backing store (the window's size) between the
    // store's beginPaint(area) and endPaint(); nothing happens where the store has no image.
    template <typename Paint> void paintStore(const QRegion &area, Paint paint);

    platform::Display m_display;
    std::shared_ptr<platform::OverlayWindows> m_overlays;
    QPointer<QWidget> m_contentView;
    std::optional<bool> m_preparedTranslucency;
};

// Overlay panels made ahead of their selection's overlays, one per display.
using PreparedPanels = std::vector<std::unique_ptr<SelectionOverlayWindow>>;
