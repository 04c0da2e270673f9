#pragma once

#include "capture/RecordingModeSelecting.h"
#include "platform/HoverButton.h"

#include <QAbstractButton>
#include <QColor>
#include <QSize>
#include <QWidget>
#include <functional>

class QPainter;
class QVariantAnimation;

// One choice of the recording mode chooser: an icon over a title on a rounded tile that
// brightens and grows a little while the pointer is over it.
class ModeButton : public platform::HoverButton {
    Q_OBJECT

public:
    enum class Icon : quint8 { display, window, selection };

    // The tile, in points. The widget is a little larger, so that the enlarged tile still fits.
    static constexpr QSize tileSize{80, 72};
    static constexpr int growthMargin = 2;
    static constexpr double hoveredScale = 1.05;
    static constexpr int hoverAnimationMs = 150;

    ModeButton(Icon icon, const QString &title, QWidget *parent = nullptr);
    ~ModeButton() override;

    Icon icon() const { return m_icon; }
    double currentScale() const;
    double backgroundOpacity() const;
    QColor foregroundColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &position) const override;

private:
    // The tile as drawn now, in widget coordinates.
    QRectF tileRect() const;

    Icon m_icon;
};

// Draws a mode's icon, in `colour`, centred in `box`.
void paintModeIcon(QPainter &painter, ModeButton::Icon icon, const QRectF &box,
                   const QColor &colour);

// The chooser's content: the title over the three choices on a dark rounded card. A choice runs
// onSelect; the view itself has nothing that cancels (the chooser's event watch does).
class ModeSelectorView : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize viewSize{340, 130};
    static constexpr int cornerRadius = 16;

    explicit ModeSelectorView(QWidget *parent = nullptr);

    std::function<void(RecordingSelectionMode)> onSelect;
    std::function<void()> onCancel;

    ModeButton *button(RecordingSelectionMode mode) const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ModeButton *m_buttons[3] = {};
};
