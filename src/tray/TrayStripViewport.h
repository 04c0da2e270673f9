#pragma once

#include <QWheelEvent>
#include <QWidget>
#include <algorithm>
#include <cmath>

// A horizontally scrolling window onto the thumbnails, without scroll bars; the wheel or a
// swipe moves it.
class TrayStripViewport final : public QWidget {
public:
    explicit TrayStripViewport(QWidget *parent) : QWidget(parent), content(new QWidget(this)) {}

    void setContentWidth(double width)
    {
        m_contentWidth = width;
        clampOffset();
    }
    double offset() const { return m_offset; }

    QWidget *const content;

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QWidget::resizeEvent(event);
        clampOffset();
    }
    void wheelEvent(QWheelEvent *event) override
    {
        const QPoint pixels = event->pixelDelta();
        const QPoint steps = event->angleDelta() / 3;
        const QPoint delta = pixels.isNull() ? steps : pixels;
        const int along = delta.x() != 0 ? delta.x() : delta.y();
        if (m_contentWidth <= width() || along == 0) {
            event->ignore();
            return;
        }
        m_offset -= along;
        clampOffset();
        event->accept();
    }

private:
    void clampOffset()
    {
        m_offset = std::clamp(m_offset, 0.0, std::max(0.0, m_contentWidth - width()));
        content->setGeometry(int(-std::round(m_offset)), 0,
                             int(std::ceil(std::max(m_contentWidth, double(width())))), height());
    }

    double m_contentWidth = 0;
    double m_offset = 0;
};
