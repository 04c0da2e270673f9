#include "platform/ffmpeg/FfmpegFrames.h"

extern "C" {
#include <libavfilter/buffersink.h>
}

#include <QFile>

namespace platform::ffmpeg {

void check(int result, const char *what)
{
    if (result < 0)
        throw Failure{QStringLiteral("%1: %2").arg(QLatin1String(what), errorText(result))};
}

MovieFrames::MovieFrames(const QString &path)
{
    AVFormatContext *opened = nullptr;
    check(avformat_open_input(&opened, QFile::encodeName(path).constData(), nullptr, nullptr),
          "Cannot open the movie");
    m_input.reset(opened);
    check(avformat_find_stream_info(m_input.get(), nullptr), "Cannot read the movie");
    const AVCodec *codec = nullptr;
    m_streamIndex = av_find_best_stream(m_input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (m_streamIndex < 0 || !codec)
        throw Failure{QStringLiteral("The movie has no video")};
    m_decoder.reset(avcodec_alloc_context3(codec));
    if (!m_decoder)
        throw Failure{QStringLiteral("Cannot decode the movie")};
    check(avcodec_parameters_to_context(m_decoder.get(), stream()->codecpar),
          "Cannot decode the movie");
    m_decoder->thread_count = 0;
    m_decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    check(avcodec_open2(m_decoder.get(), codec, nullptr), "Cannot decode the movie");
}

FramePtr MovieFrames::next()
{
    FramePtr frame(av_frame_alloc());
    for (;;) {
        const int result = avcodec_receive_frame(m_decoder.get(), frame.get());
        if (result == 0) {
            frame->pts = frame->best_effort_timestamp;
            return frame;
        }
        if (result == AVERROR_EOF)
            return nullptr;
        if (result != AVERROR(EAGAIN))
            check(result, "Cannot decode the movie");
        readPacket();
    }
}

void MovieFrames::readPacket()
{
    const int result = av_read_frame(m_input.get(), m_packet.get());
    if (result < 0) {
        // The end, or a damaged tail: what could be read is decoded.
        avcodec_send_packet(m_decoder.get(), nullptr);
        return;
    }
    if (m_packet->stream_index == m_streamIndex)
        avcodec_send_packet(m_decoder.get(), m_packet.get());
    av_packet_unref(m_packet.get());
}

FramePtr ToBgra::operator()(const AVFrame *frame)
{
    if (!m_converter)
        m_converter = makeConverter(frame->width, frame->height, AVPixelFormat(frame->format),
                                    AV_PIX_FMT_BGRA, swsColorspace(frame->colorspace), m_threads);
    FramePtr converted(av_frame_alloc());
    if (!m_converter || !converted)
        throw Failure{QStringLiteral("Cannot prepare the colour conversion")};
    converted->format = AV_PIX_FMT_BGRA;
    converted->width = frame->width;
    converted->height = frame->height;
    check(av_frame_get_buffer(converted.get(), 0), "Cannot convert a frame");
    check(sws_scale_frame(m_converter.get(), converted.get(), frame), "Cannot convert a frame");
    converted->pts = frame->pts;
    return converted;
}

FilterGraph::FilterGraph() : m_graph(avfilter_graph_alloc())
{
    if (!m_graph)
        throw Failure{QStringLiteral("Cannot prepare the filters")};
    // Whole frames go to threads of their own; slices of one would only compete with them.
    m_graph->nb_threads = 1;
}

AVFilterContext *FilterGraph::addSource(const char *name, const AVFrame *like, AVRational timeBase)
{
    const QByteArray arguments =
        QStringLiteral("video_size=%1x%2:pix_fmt=%3:time_base=%4/%5:pixel_aspect=1/1")
            .arg(like->width)
            .arg(like->height)
            .arg(like->format)
            .arg(timeBase.num)
            .arg(timeBase.den)
            .toLatin1();
    return add("buffer", name, arguments.constData());
}

AVFilterContext *FilterGraph::add(const char *filter, const char *name, const char *arguments)
{
    AVFilterContext *context = nullptr;
    check(avfilter_graph_create_filter(&context, avfilter_get_by_name(filter), name, arguments,
                                       nullptr, m_graph.get()),
          "Cannot prepare the filters");
    return context;
}

void FilterGraph::link(AVFilterContext *from, AVFilterContext *to, unsigned input)
{
    check(avfilter_link(from, 0, to, input), "Cannot prepare the filters");
}

void FilterGraph::configure()
{
    check(avfilter_graph_config(m_graph.get(), nullptr), "Cannot prepare the filters");
}

std::vector<FramePtr> FilterGraph::drain(AVFilterContext *sink)
{
    std::vector<FramePtr> frames;
    for (;;) {
        FramePtr frame(av_frame_alloc());
        const int result = av_buffersink_get_frame(sink, frame.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return frames;
        check(result, "Cannot filter a frame");
        frames.push_back(std::move(frame));
    }
}

} // namespace platform::ffmpeg
