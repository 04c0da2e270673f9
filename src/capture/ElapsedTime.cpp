#include "capture/ElapsedTime.h"

#include <algorithm>
#include <cmath>
#include <limits>

QString formatElapsedTime(double seconds)
{
    // A clock that went backwards or a broken duration must not print garbage;
    // an absurdly long one is capped rather than overflowing.
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    const double capped = std::min(seconds, double(std::numeric_limits<qint32>::max()));
    const qint64 total = qint64(capped);
    return QString::asprintf("%02lld:%02lld", total / 60, total % 60);
}
