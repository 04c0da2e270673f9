#include "model/Thumbnail.h"

#include <algorithm>
#include <cmath>

namespace {
// w × (maxSide / w) can land a hair below maxSide (289 × (200 / 289) gives
// 199.99…); truncating that would lose a whole pixel.
constexpr double roundingSlack = 1e-6;

int scaledSide(int side, double scale)
{
    return std::max(1, int(std::floor(side * scale + roundingSlack)));
}
} // namespace

QImage makeThumbnail(const QImage &image, double maxSide)
{
    const int width = image.width();
    const int height = image.height();
    if (width < 1 || height < 1)
        return image;
    const double scale = std::min({maxSide / width, maxSide / height, 1.0});
    // Smoothing a whole screen down in one step has Qt share the work out to its own threads
    // and the caller (the main thread, as a capture is staged) wait for them; sampled first to
    // four times the size, only a small picture is smoothed, on the spot.
    const double sampled = scale * 4;
    const QImage source =
        sampled >= 1 ? image
                     : image.scaled(scaledSide(width, sampled), scaledSide(height, sampled),
                                    Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const QImage thumbnail = source
                                 .scaled(scaledSide(width, scale), scaledSide(height, scale),
                                         Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                 .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return thumbnail.isNull() ? image : thumbnail;
}
