#pragma once

#include <QImage>
#include <QString>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace platform::ffmpeg {

// FFmpeg's text for an error code.
inline QString errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

struct FrameDeleter {
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext *context) const { avcodec_free_context(&context); }
};
struct ScaleContextDeleter {
    void operator()(SwsContext *context) const { sws_freeContext(context); }
};
struct InputDeleter {
    void operator()(AVFormatContext *context) const { avformat_close_input(&context); }
};

using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using ScaleContextPtr = std::unique_ptr<SwsContext, ScaleContextDeleter>;
using InputPtr = std::unique_ptr<AVFormatContext, InputDeleter>;

// While one lives, FFmpeg's messages from the calling thread are left out: a damaged movie makes
// the demuxer complain of every packet, when the reason reading it fails with is enough.
class QuietLog {
public:
    QuietLog();
    ~QuietLog();
    QuietLog(const QuietLog &) = delete;
    QuietLog &operator=(const QuietLog &) = delete;
};

// The SWS_CS_ matrix of a decoded frame's colour space; the default for an untagged one.
int swsColorspace(AVColorSpace space);

// A colour converter between RGB and YUV frames of the same size, running on `threads` threads
// through sws_scale_frame; YUV is limited range with the matrix of `yuvColorspace` (an
// SWS_CS_ value). Nothing when swscale refuses the combination.
ScaleContextPtr makeConverter(int width, int height, AVPixelFormat from, AVPixelFormat to,
                              int yuvColorspace, int threads);

// The same between sizes: YUV of either range (`fullRangeYuv`), scaled bilinearly.
ScaleContextPtr makeScaler(int width, int height, AVPixelFormat from, int toWidth, int toHeight,
                           AVPixelFormat to, int yuvColorspace, bool fullRangeYuv, int threads);

// A frame over pixels someone else owns, so that sws_scale_frame reads them in place instead
// of copying them first. The pixels must outlive the frame.
FramePtr wrapPixels(uint8_t *pixels, int width, int height, int bytesPerLine, AVPixelFormat format);

// An RGB32 picture for sws_scale_frame to write into (through wrapPixels): its vector code
// writes past the last pixel of a row whose width is no multiple of its step, which a QImage's
// own rows leave no room for. Null when out of memory.
QImage conversionTarget(QSize size);

} // namespace platform::ffmpeg
