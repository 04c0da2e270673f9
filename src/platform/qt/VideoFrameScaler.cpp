#include "platform/qt/VideoFrameScaler.h"

#include <QVideoFrame>
#include <QVideoFrameFormat>
#include <algorithm>
#include <thread>

namespace platform {

namespace {

AVPixelFormat avFormat(QVideoFrameFormat::PixelFormat format)
{
    switch (format) {
    case QVideoFrameFormat::Format_YUV420P:
        return AV_PIX_FMT_YUV420P;
    case QVideoFrameFormat::Format_YUV422P:
        return AV_PIX_FMT_YUV422P;
    case QVideoFrameFormat::Format_NV12:
        return AV_PIX_FMT_NV12;
    case QVideoFrameFormat::Format_NV21:
        return AV_PIX_FMT_NV21;
    case QVideoFrameFormat::Format_YUV420P10:
        return AV_PIX_FMT_YUV420P10LE;
    case QVideoFrameFormat::Format_P010:
        return AV_PIX_FMT_P010LE;
    case QVideoFrameFormat::Format_UYVY:
        return AV_PIX_FMT_UYVY422;
    case QVideoFrameFormat::Format_YUYV:
        return AV_PIX_FMT_YUYV422;
    case QVideoFrameFormat::Format_BGRA8888:
    case QVideoFrameFormat::Format_BGRX8888:
        return AV_PIX_FMT_BGRA;
    case QVideoFrameFormat::Format_RGBA8888:
    case QVideoFrameFormat::Format_RGBX8888:
        return AV_PIX_FMT_RGBA;
    case QVideoFrameFormat::Format_ARGB8888:
    case QVideoFrameFormat::Format_XRGB8888:
        return AV_PIX_FMT_ARGB;
    default:
        return AV_PIX_FMT_NONE;
    }
}

int colorspace(QVideoFrameFormat::ColorSpace space, int height)
{
    switch (space) {
    case QVideoFrameFormat::ColorSpace_BT709:
        return SWS_CS_ITU709;
    case QVideoFrameFormat::ColorSpace_BT601:
        return SWS_CS_ITU601;
    case QVideoFrameFormat::ColorSpace_BT2020:
        return SWS_CS_BT2020;
    default:
        // Untagged high-definition movies are BT.709 in practice.
        return height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

QSize fitted(const QSize &frame, const QSize &box)
{
    if (box.isEmpty() || (box.width() >= frame.width() && box.height() >= frame.height()))
        return frame;
    const QSize size = frame.scaled(box, Qt::KeepAspectRatio);
    return QSize(std::max(size.width(), 1), std::max(size.height(), 1));
}

} // namespace

QImage VideoFrameScaler::scale(const QVideoFrame &source, const QSize &box)
{
    QVideoFrame frame(source);
    if (!frame.isValid())
        return {};
    const QSize size = frame.size();
    const QSize target = fitted(size, box);
    const AVPixelFormat format = avFormat(frame.pixelFormat());
    if (format == AV_PIX_FMT_NONE) {
        const QImage whole = frame.toImage();
        return whole.size() == target
                   ? whole
                   : whole.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    const QVideoFrameFormat surface = frame.surfaceFormat();
    const Key key{size, format, target, colorspace(surface.colorSpace(), size.height()),
                  surface.colorRange() == QVideoFrameFormat::ColorRange_Full};
    if (!m_context || !(key == m_key)) {
        const int threads = std::clamp(int(std::thread::hardware_concurrency()) / 2, 1, 4);
        m_context =
            ffmpeg::makeScaler(size.width(), size.height(), format, target.width(), target.height(),
                               AV_PIX_FMT_BGRA, key.colorspace, key.fullRange, threads);
        m_key = key;
        if (!m_context)
            return {};
    }
    if (!frame.map(QVideoFrame::ReadOnly))
        return {};
    QImage image(target, QImage::Format_RGB32);
    ffmpeg::FramePtr to = ffmpeg::wrapPixels(image.bits(), target.width(), target.height(),
                                             int(image.bytesPerLine()), AV_PIX_FMT_BGRA);
    ffmpeg::FramePtr from = ffmpeg::wrapPixels(const_cast<uint8_t *>(frame.bits(0)), size.width(),
                                               size.height(), frame.bytesPerLine(0), format);
    if (!to || !from) {
        frame.unmap();
        return {};
    }
    for (int plane = 1; plane < std::min(frame.planeCount(), 4); ++plane) {
        from->data[plane] = const_cast<uint8_t *>(frame.bits(plane));
        from->linesize[plane] = frame.bytesPerLine(plane);
    }
    const int result = sws_scale_frame(m_context.get(), to.get(), from.get());
    frame.unmap();
    return result >= 0 ? image : QImage();
}

} // namespace platform
