#include "platform/Spring.h"

#include <cmath>
#include <numbers>

namespace platform {

namespace {

// What is left of the swing when an animation of the spring ends.
constexpr double settledWithin = 0.001;

} // namespace

double Spring::value(double seconds) const
{
    const double omega = 2 * std::numbers::pi / response;
    const double decay = dampingFraction * omega;
    const double omegaD = omega * std::sqrt(1 - dampingFraction * dampingFraction);
    return 1 - std::exp(-decay * seconds) *
                   (std::cos(omegaD * seconds) + decay / omegaD * std::sin(omegaD * seconds));
}

int Spring::durationMs() const
{
    // The swing never leaves its envelope e^(−ζωt) / √(1 − ζ²).
    const double omega = 2 * std::numbers::pi / response;
    const double envelope = 1 / std::sqrt(1 - dampingFraction * dampingFraction);
    const double seconds = std::log(envelope / settledWithin) / (dampingFraction * omega);
    return int(std::ceil(seconds * 1000));
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
