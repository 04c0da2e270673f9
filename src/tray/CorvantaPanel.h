#pragma once

#include <QPainterPath>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <memory>
#include <optional>

namespace platform {
class Compositor;
class PanelWindows;
} // namespace platform

// The content of the notch panel: takes clicks only inside its outline (flat top edge, rounded
// bottom corners) and clips what it shows to that outline. Holds one content widget that fills
// it.
class PanelHitTestingContainer : public QWidget {
    Q_OBJECT

public:
    explicit PanelHitTestingContainer(QWidget *parent = nullptr);

    double cornerRadius() const { return m_cornerRadius; }
    // Takes effect with the next rebuildShape() or resize.
    void setCornerRadius(double radius) { m_cornerRadius = radius; }

    // The outline of a rectangle in widget coordinates (y downwards): square top corners, the
    // bottom corners rounded with cubic curves whose control points lie radius × 0.45 from the
    // ends.
    static QPainterPath makeHitPath(const QRectF &rect, double cornerRadius);
    // The outline as a region of whole pixels, for masks and input regions.
    static QRegion hitRegion(const QPainterPath &path);

    // The widget a click at `point` (widget coordinates) goes to: the deepest child there, or
    // this container; nothing outside the outline.
    QWidget *hitTest(QPointF point);

    // Forgets the cached outline and clips to the outline of the current bounds.
    void rebuildShape();
    QRegion shapeRegion() const;

    // Replaces (and deletes) the shown content; null shows nothing.
    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    double m_cornerRadius = 14;
    std::optional<QPainterPath> m_hitPathCache;
    QPointer<QWidget> m_content;
};

// The notch panel's window: borderless, always above everything, never activated or focused,
// clear where nothing is drawn. Its content is one PanelHitTestingContainer that fills it.
class CorvantaPanel : public QWidget {
    Q_OBJECT

public:
    // `panels` may be null (plain Qt window flags only); a null compositor counts as none, so
    // the window is shaped to its outline.
    CorvantaPanel(std::shared_ptr<platform::PanelWindows> panels,
                  const platform::Compositor *compositor);

    PanelHitTestingContainer *container() const { return m_container; }

    bool ignoresMouseEvents() const { return m_ignoresMouseEvents; }
    // Ignoring, the panel takes no pointer input at all; otherwise only inside the outline.
    void setIgnoresMouseEvents(bool ignores);
    // Clips the window to the container's outline and lets pointer input in only there.
    void applyShape();

    // Sets the window's frame (global Qt coordinates) and fits the container at once, also
    // while the window is hidden.
    void setFrame(const QRect &frame);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateInputRegion();

    std::shared_ptr<platform::PanelWindows> m_panels;
    const platform::Compositor *m_compositor;
    PanelHitTestingContainer *m_container;
    bool m_ignoresMouseEvents = false;
};
