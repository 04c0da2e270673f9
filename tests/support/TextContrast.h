#pragma once

#include <QColor>
#include <QHash>
#include <QImage>
#include <QRect>
#include <QWidget>
#include <algorithm>
#include <cmath>

// How readable the text drawn in `area` (the widget's own rectangle when empty) is, measured on
// the pixels of its window as the user sees them: the contrast ratio (1 to 21, 4.5 is the usual
// least for body text) between the most common colour there, the background, and the pixel
// farthest from it, the ink.
inline double relativeLuminance(QRgb pixel)
{
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(pixel)) + 0.7152 * channel(qGreen(pixel)) +
           0.0722 * channel(qBlue(pixel));
}

inline double contrastRatio(QRgb a, QRgb b)
{
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The pixels of `area` of the widget as its window shows them.
inline QImage shownPixels(QWidget *widget, const QRect &area)
{
    QWidget *window = widget->window();
    const QRect inWindow(widget->mapTo(window, area.topLeft()), area.size());
    return window->grab(inWindow).toImage().convertToFormat(QImage::Format_RGB32);
}

inline double contrastOfText(QWidget *widget, QRect area = {})
{
    if (area.isEmpty())
        area = widget->rect();
    const QImage image = shownPixels(widget, area);
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    }
    QRgb background = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    }
    double best = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, contrastRatio(background, it.key()));
    return best;
}
