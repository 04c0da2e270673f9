#pragma once

#include "model/CaptureItem.h"
#include "tray/TrayActionButtonStyle.h"

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>
#include <QPoint>
#include <QTimer>
#include <functional>
#include <optional>

class TrayThumbnailCache;

// "Screenshot from 14:05:09" / "Screen recording from 14:05:09": the time of creation in the
// user's locale, with seconds, never the date.
QString captureAccessibilityLabel(const CaptureItem &item);

// A thumbnail of one staged capture that the tray reacts to: a click, the pointer coming onto
// and leaving the picture, and the start of a drag. The capture it shows is replaced in place
// when the queue changes, so the widget (and a drag it started) outlives such changes.
class TrayThumbnailButton : public TrayBodyControl<QAbstractButton> {
    Q_OBJECT

public:
    TrayThumbnailButton(const CaptureItem &item, TrayThumbnailCache &pictures,
                        QWidget *parent = nullptr);

    const CaptureItem &item() const { return *m_item; }
    QUuid itemID() const { return m_item->id(); }
    void setItem(const CaptureItem &item);
    void setAccentColor(const QColor &color);
    bool isPointerOver() const { return m_pointerOver; }
    // What a drag of this thumbnail shows under the pointer.
    virtual QPixmap dragPicture() = 0;
    // Whether the pointer, its button held, has moved far enough from the press to drag.
    bool isDragging() const { return m_dragging; }
    // Counts the presses: a drag belongs to the press that began it, and to no later one.
    quint64 gesture() const { return m_gesture; }
    // A drag out of the program takes the pointer along and ends with no leave event here: once
    // it is over, the pointer's place says whether it is still on the picture.
    void dragEnded();

signals:
    // The pointer came onto (true) or left (false) the picture.
    void hoverChanged(bool hovering);
    // The pointer moved far enough with the button held: the owner runs the drag now.
    void dragStarted();

protected:
    // Where the picture is inside the widget; hover, clicks and drags count only there.
    virtual QRectF pictureRect() const = 0;
    virtual void itemChanged() {}
    TrayThumbnailCache &pictures() const { return m_pictures; }
    QColor accentColor() const { return m_accent; }
    // The capture's thumbnail covering a frame of `size` with corners of `radius`.
    QPixmap coveringPicture(QSizeF size, double radius) const;

    bool hitButton(const QPoint &position) const override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void setPointerOver(bool over);

    std::optional<CaptureItem> m_item;
    TrayThumbnailCache &m_pictures;
    QColor m_accent;
    bool m_pointerOver = false;
    std::optional<QPoint> m_pressPosition;
    bool m_dragging = false;
    quint64 m_gesture = 0;
};

// The small clickable thumbnail of an unselected capture in the expanded tray's strip: the
// picture fitted into a rounded frame with a thin border and a soft shadow, a play badge on
// recordings, and a dimmed layer with a spinner while an action on the capture runs. A click
// calls `onSelect`; the cell has no hover behaviour of its own.
class CaptureTrayItemView final : public TrayThumbnailButton {
    Q_OBJECT

public:
    // The room around the frame that its shadow takes.
    static int shadowRoom();
    static QSizeF frameSize(bool isSelected);

    CaptureTrayItemView(const CaptureItem &item, bool isSelected, std::function<void()> onSelect,
                        TrayThumbnailCache &pictures, QWidget *parent = nullptr);

    bool isSelected() const { return m_isSelected; }
    bool showsPlayBadge() const;
    bool showsBusyLayer() const;
    QPixmap dragPicture() override;
    QSize sizeHint() const override;

protected:
    QRectF pictureRect() const override;
    void itemChanged() override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void updateSpinner();

    bool m_isSelected;
    QTimer m_spinner;
    int m_spinnerStep = 0;
};

// The capture the tray displays: the compact body's small pill thumbnail (morph 0: 40 × 26,
// radius 5, a faint white border) or the strip's large one (morph 1: 80 × 54, radius 8, an
// accent border), and anything in between while the tray grows or shrinks. The picture covers
// the frame, cropping the overflow.
class CaptureTrayThumbnail final : public TrayThumbnailButton {
    Q_OBJECT

public:
    // The border pokes out of the frame by half its width.
    static constexpr int borderRoom = 1;
    static QSizeF frameSize(double morph);

    CaptureTrayThumbnail(const CaptureItem &item, TrayThumbnailCache &pictures,
                         QWidget *parent = nullptr);

    double morph() const { return m_morph; }
    void setMorph(double morph);
    QPixmap dragPicture() override;

protected:
    QRectF pictureRect() const override;
    void paintEvent(QPaintEvent *event) override;

private:
    double m_morph = 0;
};
