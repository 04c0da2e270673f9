#pragma once

#include <QEasingCurve>

namespace platform {

// A spring of unit mass let go at rest at 0 and pulled towards 1. `response` is the period of
// its undamped swing in seconds (the stiffness is (2π / response)²) and `dampingFraction`, above
// 0 and below 1, the share of critical damping that holds it back: the smaller, the further it
// overshoots and the longer it swings.
struct Spring {
    double response = 0.0;
    double dampingFraction = 0.0;

    // Where the spring is `seconds` after it was let go.
    double value(double seconds) const;
    // How long an animation runs it: until the swing stays within 0.1 % of 1 for good.
    int durationMs() const;
    // The spring over that duration, at the share `progress` of it: 0 at the start, exactly 1
    // from the end on.
    double valueForProgress(double progress) const;
};

// The spring as a curve for Qt's animations, which take a plain function as a curve of their
// own: one for each spring.
template <Spring spring> QEasingCurve springCurve()
{
    QEasingCurve curve;
    curve.setCustomType([](qreal progress) { return spring.valueForProgress(progress); });
    return curve;
}

} // namespace platform
