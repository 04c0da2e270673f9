#include "platform/ffmpeg/FfmpegSupport.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <mutex>

namespace platform::ffmpeg {

namespace {

thread_local int quietDepth = 0;

void printUnlessQuiet(void *context, int level, const char *format, va_list arguments)
{
    if (quietDepth == 0)
        av_log_default_callback(context, level, format, arguments);
}

} // namespace

QuietLog::QuietLog()
{
    static std::once_flag installed;
    std::call_once(installed, [] { av_log_set_callback(printUnlessQuiet); });
    ++quietDepth;
}

QuietLog::~QuietLog()
{
    --quietDepth;
}

int swsColorspace(AVColorSpace space)
{
    switch (space) {
    case AVCOL_SPC_BT709:
        return SWS_CS_ITU709;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return SWS_CS_BT2020;
    default:
        return SWS_CS_DEFAULT;
    }
}

ScaleContextPtr makeConverter(int width, int height, AVPixelFormat from, AVPixelFormat to,
                              int yuvColorspace, int threads)
{
    return makeScaler(width, height, from, width, height, to, yuvColorspace, false, threads);
}

ScaleContextPtr makeScaler(int width, int height, AVPixelFormat from, int toWidth, int toHeight,
                           AVPixelFormat to, int yuvColorspace, bool fullRangeYuv, int threads)
{
    ScaleContextPtr context(sws_alloc_context());
    if (!context)
        return nullptr;
    SwsContext *c = context.get();
    av_opt_set_int(c, "srcw", width, 0);
    av_opt_set_int(c, "srch", height, 0);
    av_opt_set_int(c, "src_format", from, 0);
    av_opt_set_int(c, "dstw", toWidth, 0);
    av_opt_set_int(c, "dsth", toHeight, 0);
    av_opt_set_int(c, "dst_format", to, 0);
    av_opt_set_int(c, "sws_flags", SWS_BILINEAR, 0);
    av_opt_set_int(c, "threads", threads, 0);
    if (sws_init_context(c, nullptr, nullptr) < 0)
        return nullptr;
    const bool fromYuv = !(av_pix_fmt_desc_get(from)->flags & AV_PIX_FMT_FLAG_RGB);
    const int *yuv = sws_getCoefficients(yuvColorspace);
    const int *rgb = sws_getCoefficients(SWS_CS_DEFAULT);
    const int yuvRange = fullRangeYuv ? 1 : 0;
    sws_setColorspaceDetails(c, fromYuv ? yuv : rgb, fromYuv ? yuvRange : 1, fromYuv ? rgb : yuv,
                             fromYuv ? 1 : yuvRange, 0, 1 << 16, 1 << 16);
    return context;
}

QImage conversionTarget(QSize size)
{
    // Rows and the end are given the room av_frame_get_buffer gives a frame of its own.
    constexpr qsizetype align = 64;
    const qsizetype bytesPerLine =
        (qsizetype(std::max(size.width(), 0)) * 4 + align - 1) / align * align;
    uchar *pixels = static_cast<uchar *>(av_malloc(
        size_t(bytesPerLine) * std::max(size.height(), 0) + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!pixels)
        return {};
    return QImage(pixels, size.width(), size.height(), bytesPerLine, QImage::Format_RGB32, av_free,
                  pixels);
}

FramePtr wrapPixels(uint8_t *pixels, int width, int height, int bytesPerLine, AVPixelFormat format)
{
    FramePtr frame(av_frame_alloc());
    if (!frame)
        return nullptr;
    frame->format = format;
    frame->width = width;
    frame->height = height;
    frame->data[0] = pixels;
    frame->linesize[0] = bytesPerLine;
    frame->buf[0] = av_buffer_create(
        pixels, size_t(bytesPerLine) * height, [](void *, uint8_t *) {}, nullptr,
        AV_BUFFER_FLAG_READONLY);
    if (!frame->buf[0])
        return nullptr;
    return frame;
}

} // namespace platform::ffmpeg
