#include "platform/ffmpeg/FfmpegPosterFrames.h"

#include "platform/ffmpeg/FfmpegSupport.h"

#include <thread>

namespace platform {

namespace {

using namespace ffmpeg;

QImage failed(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return {};
}

QImage toImage(const AVFrame *frame)
{
    QImage image = conversionTarget(QSize(frame->width, frame->height));
    if (image.isNull())
        return {};
    const int threads = int(std::min(4u, std::max(1u, std::thread::hardware_concurrency())));
    ScaleContextPtr converter =
        makeConverter(frame->width, frame->height, AVPixelFormat(frame->format), AV_PIX_FMT_BGRA,
                      swsColorspace(frame->colorspace), threads);
    FramePtr target = wrapPixels(image.bits(), image.width(), image.height(),
                                 int(image.bytesPerLine()), AV_PIX_FMT_BGRA);
    if (!converter || !target || sws_scale_frame(converter.get(), target.get(), frame) < 0)
        return {};
    return image;
}

} // namespace

QImage FfmpegPosterFrames::frameAt(const QString &filePath, double seconds, QString *error)
{
    AVFormatContext *opened = nullptr;
    int result = avformat_open_input(&opened, filePath.toUtf8().constData(), nullptr, nullptr);
    if (result < 0)
        return failed(error, QStringLiteral("Cannot open %1: %2").arg(filePath, errorText(result)));
    InputPtr input(opened);
    result = avformat_find_stream_info(input.get(), nullptr);
    if (result < 0)
        return failed(error, QStringLiteral("Cannot read %1: %2").arg(filePath, errorText(result)));
    const AVCodec *codec = nullptr;
    const int streamIndex = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (streamIndex < 0 || !codec)
        return failed(error, QStringLiteral("The movie has no video"));
    const AVStream *stream = input->streams[streamIndex];

    CodecContextPtr decoder(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(decoder.get(), stream->codecpar);
    result = avcodec_open2(decoder.get(), codec, nullptr);
    if (result < 0)
        return failed(error, QStringLiteral("Cannot decode the movie: %1").arg(errorText(result)));

    const qint64 target =
        av_rescale_q(qint64(seconds * AV_TIME_BASE), AV_TIME_BASE_Q, stream->time_base);
    const qint64 start = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
    if (seconds > 0)
        av_seek_frame(input.get(), streamIndex, start + target, AVSEEK_FLAG_BACKWARD);

    // The first frame at or after the time; the last one when the movie ends sooner.
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    FramePtr last(av_frame_alloc());
    bool haveLast = false;
    bool inputEnded = false;
    for (;;) {
        result = avcodec_receive_frame(decoder.get(), frame.get());
        if (result == 0) {
            const qint64 pts = frame->best_effort_timestamp;
            if (pts == AV_NOPTS_VALUE || pts - start >= target)
                return toImage(frame.get());
            av_frame_unref(last.get());
            av_frame_move_ref(last.get(), frame.get());
            haveLast = true;
            continue;
        }
        if (result == AVERROR_EOF)
            break;
        if (result != AVERROR(EAGAIN))
            return failed(error,
                          QStringLiteral("Cannot decode the movie: %1").arg(errorText(result)));
        if (inputEnded)
            break;
        result = av_read_frame(input.get(), packet.get());
        if (result < 0) {
            inputEnded = true;
            avcodec_send_packet(decoder.get(), nullptr);
            continue;
        }
        if (packet->stream_index == streamIndex)
            avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
    }
    if (haveLast)
        return toImage(last.get());
    return failed(error, QStringLiteral("The movie holds no picture"));
}

} // namespace platform
