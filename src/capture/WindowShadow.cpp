#include "capture/WindowShadow.h"

#include "platform/Background.h"
#include "platform/Displays.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

namespace {

// Close to what desktop compositors draw for a focused window.
constexpr double shadowOffsetY = 10.0;    // points the shadow sits below the window
constexpr double shadowBlurRadius = 12.0; // points per box pass; three passes reach 36 points
constexpr double shadowOpacity = 0.5;     // at the shadow's core
constexpr int blurPasses = 3;             // three box blurs come close to a Gaussian
// From about a 1080p canvas up, the rows are shared out among a few threads.
constexpr qint64 bandedPixels = 2'000'000;
constexpr int maxBands = 4;

// One running-sum box blur of radius `radius` over the values; outside counts as zero.
void boxBlur(std::vector<float> &values, int radius)
{
    const int n = int(values.size());
    if (radius <= 0 || n == 0)
        return;
    std::vector<double> prefix(size_t(n) + 1, 0.0);
    for (int i = 0; i < n; ++i)
        prefix[size_t(i) + 1] = prefix[size_t(i)] + values[size_t(i)];
    const double width = 2.0 * radius + 1.0;
    for (int i = 0; i < n; ++i) {
        const int low = std::max(0, i - radius);
        const int high = std::min(n, i + radius + 1);
        values[size_t(i)] = float((prefix[size_t(high)] - prefix[size_t(low)]) / width);
    }
}

// The blurred edge profile of a rectangle along one axis: blurring a rectangle with a
// separable kernel gives the product of the blurred profiles of its two sides, so the whole
// shadow costs two short arrays instead of a blur over every pixel.
std::vector<float> blurredSpan(int length, int from, int to, int radius)
{
    std::vector<float> values(size_t(std::max(length, 0)), 0.0f);
    for (int i = std::max(from, 0); i < std::min(to, length); ++i)
        values[size_t(i)] = 1.0f;
    for (int pass = 0; pass < blurPasses; ++pass)
        boxBlur(values, radius);
    return values;
}

} // namespace

QSize shadowedWindowSize(const QSizeF &framePoints, double scale)
{
    return platform::pixelSize(framePoints + QSizeF(2 * windowShadowMargin, 2 * windowShadowMargin),
                               scale);
}

QImage withWindowShadow(const QImage &window, QSize canvasSize, double scale)
{
    if (window.isNull() || canvasSize.isEmpty())
        return {};
    if (!(scale > 0.0) || !std::isfinite(scale))
        scale = 1.0;

    QImage content = window;
    const int margin = int(windowShadowMargin * scale);
    const QSize inner(std::max(1, canvasSize.width() - 2 * margin),
                      std::max(1, canvasSize.height() - 2 * margin));
    if (content.width() > inner.width() || content.height() > inner.height())
        content = content.scaled(inner, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const QRect placed(QPoint((canvasSize.width() - content.width()) / 2,
                              (canvasSize.height() - content.height()) / 2),
                       content.size());

    const int radius = int(std::lround(shadowBlurRadius * scale));
    const int offset = int(std::lround(shadowOffsetY * scale));
    const std::vector<float> across =
        blurredSpan(canvasSize.width(), placed.left(), placed.right() + 1, radius);
    const std::vector<float> down = blurredSpan(canvasSize.height(), placed.top() + offset,
                                                placed.bottom() + 1 + offset, radius);

    QImage canvas(canvasSize, QImage::Format_ARGB32_Premultiplied);
    const bool opaqueWindow = !content.hasAlphaChannel();
    if (opaqueWindow)
        content = content.convertToFormat(QImage::Format_RGB32);
    uchar *const canvasBits = canvas.bits();
    const qsizetype canvasStride = canvas.bytesPerLine();
    const uchar *const contentBits = content.constBits();
    const qsizetype contentStride = content.bytesPerLine();
    const int width = canvasSize.width();

    const auto drawRows = [&](int fromRow, int toRow) {
        for (int y = fromRow; y < toRow; ++y) {
            auto *row = reinterpret_cast<quint32 *>(canvasBits + y * canvasStride);
            const float rowAlpha = float(shadowOpacity * 255.0) * down[size_t(y)];
            const bool windowRow = opaqueWindow && y >= placed.top() && y <= placed.bottom();
            // An opaque window hides the shadow under it: only the margins are worked out
            // there.
            const int skipFrom = windowRow ? placed.left() : width;
            const int skipTo = windowRow ? placed.right() + 1 : width;
            // Premultiplied black: the alpha alone.
            for (int x = 0; x < skipFrom; ++x)
                row[x] = quint32(rowAlpha * across[size_t(x)] + 0.5f) << 24;
            for (int x = skipTo; x < width; ++x)
                row[x] = quint32(rowAlpha * across[size_t(x)] + 0.5f) << 24;
            if (windowRow) {
                const auto *source = reinterpret_cast<const quint32 *>(
                    contentBits + (y - placed.top()) * contentStride);
                quint32 *target = row + placed.left();
                for (int x = 0; x < placed.width(); ++x)
                    target[x] = source[x] | 0xff000000u;
            }
        }
    };
    // A large canvas is mostly the cost of touching fresh memory, which bands on a few threads
    // share out; a small one is not worth the threads.
    const int bands = canvasSize.width() * qint64(canvasSize.height()) < bandedPixels
                          ? 1
                          : std::clamp(int(std::thread::hardware_concurrency()), 1, maxBands);
    platform::runInBands(bands, [&](int band) {
        const platform::BandRows rows = platform::bandRows(canvasSize.height(), bands, band);
        drawRows(rows.first, rows.first + rows.count);
    });
    if (!opaqueWindow) {
        QPainter painter(&canvas);
        painter.drawImage(placed.topLeft(), content);
    }
    return canvas;
}
