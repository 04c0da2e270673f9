#pragma once

#include <QEasingCurve>

namespace platform {

// A spring of unit mass let go at rest at 0 and pulled towards 1. `response` is the period of
// its undamped swing in seconds (the stiffness is (2π / response)²) and `dampingFraction` the
// share of critical damping that holds it back: below 1 it overshoots, the further and the
// longer the smaller it is; from 1 on it creeps up to 1 without passing it. A spring without a
// positive, finite response and damping jumps: it is at 1 at once and its animation takes no
// time.
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
