#include "platform/Spring.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace platform {

namespace {

// What is left of the swing when an animation of the spring ends.
constexpr double settledWithin = 0.001;
// The longest animation a duration in whole milliseconds can tell.
constexpr double longestSeconds = std::numeric_limits<int>::max() / 1000.0;

int toMilliseconds(double seconds)
{
    if (!(seconds < longestSeconds))
        return std::numeric_limits<int>::max();
    return int(std::ceil(seconds * 1000));
}

// The share of the way a spring damped critically or more has still to go: it only shrinks,
// never passing 1. Over-damped, it is the sum of a slow and a fast decay whose rates multiply to
// ω², each taken as a multiple of ω so that a large ζ overflows nothing.
double restOfTheWay(double omega, double zeta, double seconds)
{
    if (seconds <= 0)
        return 1;
    const double u = omega * seconds;
    if (zeta == 1)
        return std::isinf(u) ? 0 : std::exp(-u) * (1 + u);
    const double spread = std::sqrt(zeta - 1) * std::sqrt(zeta + 1);
    const double fast = zeta + spread; // its rate over ω, and ω over the slow one's
    return (std::exp(-seconds * (omega / fast)) - std::exp(-u * fast) / (fast * fast)) *
           (zeta / spread + 1) / 2;
}

// Whether the spring has no swing to tell: it is at 1 at once.
bool jumps(const Spring &spring)
{
    const double omega = 2 * std::numbers::pi / spring.response;
    return !(spring.response > 0 && spring.dampingFraction > 0 && std::isfinite(omega) &&
             omega > 0 && std::isfinite(spring.dampingFraction));
}

} // namespace

double Spring::value(double seconds) const
{
    if (jumps(*this))
        return 1;
    const double omega = 2 * std::numbers::pi / response;
    if (dampingFraction >= 1)
        return 1 - restOfTheWay(omega, dampingFraction, seconds);
    const double decay = dampingFraction * omega;
    const double omegaD = omega * std::sqrt(1 - dampingFraction * dampingFraction);
    return 1 - std::exp(-decay * seconds) *
                   (std::cos(omegaD * seconds) + decay / omegaD * std::sin(omegaD * seconds));
}

int Spring::durationMs() const
{
    if (jumps(*this))
        return 0;
    const double omega = 2 * std::numbers::pi / response;
    if (dampingFraction < 1) {
        // The swing never leaves its envelope e^(−ζωt) / √(1 − ζ²).
        const double envelope = 1 / std::sqrt(1 - dampingFraction * dampingFraction);
        return toMilliseconds(std::log(envelope / settledWithin) / (dampingFraction * omega));
    }
    // The rest of the way only shrinks: halve the span where it reaches settledWithin until the
    // span is far below a millisecond.
    double early = 0;
    double late = 1 / omega;
    while (restOfTheWay(omega, dampingFraction, late) > settledWithin) {
        if (late >= longestSeconds)
            return std::numeric_limits<int>::max();
        early = late;
        late *= 2;
    }
    while (late - early > 1e-7 * late) {
        const double middle = (early + late) / 2;
        (restOfTheWay(omega, dampingFraction, middle) > settledWithin ? early : late) = middle;
    }
    return toMilliseconds(late);
}

double Spring::valueForProgress(double progress) const
{
    if (progress <= 0)
        return 0;
    if (progress >= 1)
        return 1;
    return value(progress * durationMs() / 1000.0);
}

} // namespace platform
