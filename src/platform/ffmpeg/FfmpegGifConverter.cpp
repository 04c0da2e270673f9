#include "platform/ffmpeg/FfmpegGifConverter.h"

#include "platform/PrivateFiles.h"
#include "platform/ffmpeg/FfmpegSupport.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

namespace {

using namespace ffmpeg;

// The palette comes from one frame in every stretch this long: enough to see every colour that
// stays on screen for a moment, at a fraction of the work of reading them all.
constexpr double paletteSampleSeconds = 0.2;

// Thrown inside a conversion, carrying the reason for the caller.
struct Failure {
    QString reason;
};

void check(int result, const char *what)
{
    if (result < 0)
        throw Failure{QStringLiteral("%1: %2").arg(QLatin1String(what), errorText(result))};
}

unsigned cores()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

struct GraphDeleter {
    void operator()(AVFilterGraph *graph) const { avfilter_graph_free(&graph); }
};
using GraphPtr = std::unique_ptr<AVFilterGraph, GraphDeleter>;

// The movie's video frames in order, decoded on all cores, each with its presentation time in
// `pts`.
class MovieFrames {
public:
    explicit MovieFrames(const QString &path)
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

    const AVStream *stream() const { return m_input->streams[m_streamIndex]; }

    // The next frame, or nothing at the end of the movie.
    FramePtr next()
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

private:
    void readPacket()
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

    InputPtr m_input;
    int m_streamIndex = -1;
    CodecContextPtr m_decoder;
    PacketPtr m_packet{av_packet_alloc()};
};

// Converts decoded frames to BGRA, the pixels palettegen and paletteuse work on.
class ToBgra {
public:
    explicit ToBgra(int threads) : m_threads(threads) {}

    FramePtr operator()(const AVFrame *frame)
    {
        if (!m_converter)
            m_converter =
                makeConverter(frame->width, frame->height, AVPixelFormat(frame->format),
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

private:
    int m_threads;
    ScaleContextPtr m_converter;
};

// A filter graph with named buffer sources, one filter chain and a sink.
class FilterGraph {
public:
    FilterGraph() : m_graph(avfilter_graph_alloc())
    {
        if (!m_graph)
            throw Failure{QStringLiteral("Cannot prepare the filters")};
        m_graph->nb_threads = 1;
    }

    AVFilterContext *addSource(const char *name, const AVFrame *like, AVRational timeBase)
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

    AVFilterContext *add(const char *filter, const char *name, const char *arguments)
    {
        AVFilterContext *context = nullptr;
        check(avfilter_graph_create_filter(&context, avfilter_get_by_name(filter), name, arguments,
                                           nullptr, m_graph.get()),
              "Cannot prepare the filters");
        return context;
    }

    void link(AVFilterContext *from, AVFilterContext *to, unsigned input = 0)
    {
        check(avfilter_link(from, 0, to, input), "Cannot prepare the filters");
    }

    void configure()
    {
        check(avfilter_graph_config(m_graph.get(), nullptr), "Cannot prepare the filters");
    }

    // Every frame the sink holds now; at the end of the stream, every frame there is.
    static std::vector<FramePtr> drain(AVFilterContext *sink)
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

private:
    GraphPtr m_graph;
};

// The palette of a movie: palettegen over one frame in every sample stretch.
FramePtr makePalette(const QString &moviePath)
{
    MovieFrames movie(moviePath);
    const AVRational timeBase = movie.stream()->time_base;
    ToBgra toBgra{int(cores())};
    std::optional<FilterGraph> graph;
    AVFilterContext *source = nullptr;
    AVFilterContext *sink = nullptr;
    double lastSample = -std::numeric_limits<double>::infinity();
    while (FramePtr frame = movie.next()) {
        const double seconds = frame->pts == AV_NOPTS_VALUE ? lastSample + paletteSampleSeconds
                                                            : frame->pts * av_q2d(timeBase);
        if (seconds < lastSample + paletteSampleSeconds && seconds >= lastSample)
            continue;
        lastSample = seconds;
        FramePtr pixels = toBgra(frame.get());
        if (!graph) {
            graph.emplace();
            source = graph->addSource("frames", pixels.get(), timeBase);
            AVFilterContext *palettegen = graph->add("palettegen", "palettegen", nullptr);
            sink = graph->add("buffersink", "palette", nullptr);
            graph->link(source, palettegen);
            graph->link(palettegen, sink);
            graph->configure();
        }
        check(av_buffersrc_add_frame(source, pixels.get()), "Cannot make the palette");
    }
    if (!graph)
        throw Failure{QStringLiteral("The movie holds no picture")};
    check(av_buffersrc_add_frame(source, nullptr), "Cannot make the palette");
    std::vector<FramePtr> palettes = FilterGraph::drain(sink);
    if (palettes.empty())
        throw Failure{QStringLiteral("Cannot make the palette")};
    return std::move(palettes.front());
}

// Maps BGRA frames to the palette with paletteuse, one frame in, the same frame out.
class PaletteMapper {
public:
    PaletteMapper(const AVFrame *palette, const AVFrame *like, AVRational timeBase)
    {
        m_source = m_graph.addSource("frames", like, timeBase);
        AVFilterContext *paletteSource = m_graph.addSource("palette", palette, {1, 1});
        AVFilterContext *paletteuse = m_graph.add("paletteuse", "paletteuse", nullptr);
        m_sink = m_graph.add("buffersink", "mapped", nullptr);
        m_graph.link(m_source, paletteuse, 0);
        m_graph.link(paletteSource, paletteuse, 1);
        m_graph.link(paletteuse, m_sink);
        m_graph.configure();
        // paletteuse keeps the last palette it was given for every frame after it.
        check(av_buffersrc_add_frame_flags(paletteSource, const_cast<AVFrame *>(palette),
                                           AV_BUFFERSRC_FLAG_KEEP_REF),
              "Cannot use the palette");
        check(av_buffersrc_add_frame(paletteSource, nullptr), "Cannot use the palette");
    }

    FramePtr map(AVFrame *frame)
    {
        check(av_buffersrc_add_frame(m_source, frame), "Cannot map a frame to the palette");
        std::vector<FramePtr> mapped = FilterGraph::drain(m_sink);
        if (mapped.size() != 1)
            throw Failure{QStringLiteral("Cannot map a frame to the palette")};
        return std::move(mapped.front());
    }

private:
    FilterGraph m_graph;
    AVFilterContext *m_source = nullptr;
    AVFilterContext *m_sink = nullptr;
};

// The GIF file: written through a descriptor of a file made private before anything is in it.
class GifFile {
public:
    // Takes over the descriptor.
    explicit GifFile(int fd) : m_fd(fd) {}

    ~GifFile()
    {
        m_format.reset();
        if (m_io) {
            av_freep(&m_io->buffer);
            avio_context_free(&m_io);
        }
        if (m_fd >= 0)
            ::close(m_fd);
    }

    void open(const AVCodecContext *encoder)
    {
        AVFormatContext *format = nullptr;
        check(avformat_alloc_output_context2(&format, nullptr, "gif", nullptr),
              "Cannot prepare the GIF");
        m_format.reset(format);
        constexpr int bufferSize = 1 << 16;
        auto *buffer = static_cast<unsigned char *>(av_malloc(bufferSize));
        m_io = buffer
                   ? avio_alloc_context(buffer, bufferSize, 1, &m_fd, nullptr, &writeOut, nullptr)
                   : nullptr;
        if (!m_io) {
            av_free(buffer);
            throw Failure{QStringLiteral("Cannot prepare the GIF")};
        }
        format->pb = m_io;
        format->flags |= AVFMT_FLAG_CUSTOM_IO;
        AVStream *stream = avformat_new_stream(format, nullptr);
        if (!stream)
            throw Failure{QStringLiteral("Cannot prepare the GIF")};
        check(avcodec_parameters_from_context(stream->codecpar, encoder), "Cannot prepare the GIF");
        stream->time_base = encoder->time_base;
        AVDictionary *options = nullptr;
        // Loops for ever.
        av_dict_set(&options, "loop", "0", 0);
        const int result = avformat_write_header(format, &options);
        av_dict_free(&options);
        check(result, "Cannot write the GIF");
        m_encoderTimeBase = encoder->time_base;
    }

    void write(AVPacket *packet)
    {
        packet->stream_index = 0;
        av_packet_rescale_ts(packet, m_encoderTimeBase, m_format->streams[0]->time_base);
        check(av_write_frame(m_format.get(), packet), "Cannot write the GIF");
    }

    void close()
    {
        check(av_write_trailer(m_format.get()), "Cannot write the GIF");
        avio_flush(m_io);
        if (m_io->error < 0)
            check(m_io->error, "Cannot write the GIF");
        const int fd = std::exchange(m_fd, -1);
        if (::close(fd) != 0)
            check(AVERROR(errno), "Cannot write the GIF");
    }

private:
    static int writeOut(void *opaque, uint8_t *data, int size)
    {
        const int fd = *static_cast<int *>(opaque);
        for (int written = 0; written < size;) {
            const ssize_t result = ::write(fd, data + written, size_t(size - written));
            if (result < 0) {
                if (errno == EINTR)
                    continue;
                return AVERROR(errno);
            }
            written += int(result);
        }
        return size;
    }

    struct OutputDeleter {
        void operator()(AVFormatContext *context) const { avformat_free_context(context); }
    };

    int m_fd = -1;
    AVIOContext *m_io = nullptr;
    std::unique_ptr<AVFormatContext, OutputDeleter> m_format;
    AVRational m_encoderTimeBase{1, 1};
};

// The frames between the decoding thread, the mapping threads and the encoding thread. Frames
// are numbered in movie order; at most `limit` of them are between decoding and encoding.
class Pipeline {
public:
    explicit Pipeline(qint64 limit) : m_limit(limit) {}

    // Blocks while too many frames are on their way; false once the conversion failed.
    bool submit(FramePtr frame)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_failure || m_submitted - m_encoded < m_limit; });
        if (m_failure)
            return false;
        m_toMap.emplace_back(m_submitted++, std::move(frame));
        m_changed.notify_all();
        return true;
    }

    void endInput()
    {
        std::lock_guard lock(m_mutex);
        m_inputEnded = true;
        m_changed.notify_all();
    }

    // The next frame to map with its number, or nothing when there is no more.
    std::optional<std::pair<qint64, FramePtr>> takeToMap()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_failure || !m_toMap.empty() || m_inputEnded; });
        if (m_failure || m_toMap.empty())
            return std::nullopt;
        auto item = std::move(m_toMap.front());
        m_toMap.pop_front();
        return item;
    }

    void mapped(qint64 number, FramePtr frame)
    {
        std::lock_guard lock(m_mutex);
        m_mapped.emplace(number, std::move(frame));
        m_changed.notify_all();
    }

    // Frame `number` once mapped, or nothing when the movie has no such frame or the
    // conversion failed.
    FramePtr takeMapped(qint64 number)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] {
            return m_failure || m_mapped.count(number) || (m_inputEnded && number >= m_submitted);
        });
        const auto found = m_mapped.find(number);
        if (m_failure || found == m_mapped.end())
            return nullptr;
        FramePtr frame = std::move(found->second);
        m_mapped.erase(found);
        return frame;
    }

    void encoded(qint64 count)
    {
        std::lock_guard lock(m_mutex);
        m_encoded = count;
        m_changed.notify_all();
    }

    void fail(const QString &reason)
    {
        std::lock_guard lock(m_mutex);
        if (!m_failure)
            m_failure = reason;
        m_changed.notify_all();
    }

    std::optional<QString> failure()
    {
        std::lock_guard lock(m_mutex);
        return m_failure;
    }

private:
    const qint64 m_limit;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::pair<qint64, FramePtr>> m_toMap;
    std::map<qint64, FramePtr> m_mapped;
    qint64 m_submitted = 0;
    qint64 m_encoded = 0;
    bool m_inputEnded = false;
    std::optional<QString> m_failure;
};

// Runs `work` on a thread of its own; a failure there stops the whole pipeline.
std::thread pipelineThread(Pipeline &pipeline, std::function<void()> work)
{
    return std::thread([&pipeline, work = std::move(work)] {
        try {
            work();
        } catch (const Failure &failure) {
            pipeline.fail(failure.reason);
        }
    });
}

// The GIF's frame rate: the movie's, but at most `maxFrameRate`. The movie's base rate, not its
// average: frames the recorder dropped pull the average down, and the GIF would stutter at it.
AVRational gifRate(const AVStream *stream, int maxFrameRate)
{
    AVRational rate = stream->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = stream->avg_frame_rate;
    const AVRational most{std::max(maxFrameRate, 1), 1};
    if (rate.num <= 0 || rate.den <= 0 || av_cmp_q(rate, most) > 0)
        return most;
    return rate;
}

void mapFrames(Pipeline &pipeline, const AVFrame *palette, AVRational timeBase)
{
    ToBgra toBgra(1);
    std::optional<PaletteMapper> mapper;
    while (auto item = pipeline.takeToMap()) {
        FramePtr pixels = toBgra(item->second.get());
        item->second.reset();
        if (!mapper)
            mapper.emplace(palette, pixels.get(), timeBase);
        pipeline.mapped(item->first, mapper->map(pixels.get()));
    }
}

void encodeFrames(Pipeline &pipeline, GifFile &file, AVCodecContext *encoder)
{
    PacketPtr packet(av_packet_alloc());
    const auto writePackets = [&] {
        for (;;) {
            const int result = avcodec_receive_packet(encoder, packet.get());
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
                return;
            check(result, "Cannot encode the GIF");
            file.write(packet.get());
            av_packet_unref(packet.get());
        }
    };
    qint64 number = 0;
    while (FramePtr frame = pipeline.takeMapped(number)) {
        frame->pts = number;
        frame->pict_type = AV_PICTURE_TYPE_NONE;
        check(avcodec_send_frame(encoder, frame.get()), "Cannot encode the GIF");
        writePackets();
        pipeline.encoded(++number);
    }
    if (pipeline.failure())
        return;
    if (number == 0)
        throw Failure{QStringLiteral("The movie holds no picture")};
    check(avcodec_send_frame(encoder, nullptr), "Cannot encode the GIF");
    writePackets();
    file.close();
}

void writeGif(const QString &moviePath, int fd, int maxFrameRate)
{
    GifFile file(fd);
    FramePtr palette = makePalette(moviePath);

    MovieFrames movie(moviePath);
    const AVRational rate = gifRate(movie.stream(), maxFrameRate);
    const AVRational frameTime = av_inv_q(rate);

    // Frames at the GIF's rate: repeated or left out by fps where the movie's times say so.
    FramePtr first = movie.next();
    if (!first)
        throw Failure{QStringLiteral("The movie holds no picture")};
    FilterGraph timing;
    AVFilterContext *source = timing.addSource("frames", first.get(), movie.stream()->time_base);
    const QByteArray fpsArguments =
        QStringLiteral("fps=%1/%2").arg(rate.num).arg(rate.den).toLatin1();
    AVFilterContext *fps = timing.add("fps", "fps", fpsArguments.constData());
    AVFilterContext *sink = timing.add("buffersink", "timed", nullptr);
    timing.link(source, fps);
    timing.link(fps, sink);
    timing.configure();

    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_GIF);
    CodecContextPtr encoder(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!encoder)
        throw Failure{QStringLiteral("No GIF encoder")};
    encoder->width = first->width;
    encoder->height = first->height;
    encoder->pix_fmt = AV_PIX_FMT_PAL8;
    encoder->time_base = frameTime;
    encoder->framerate = rate;
    check(avcodec_open2(encoder.get(), codec, nullptr), "Cannot encode the GIF");
    file.open(encoder.get());

    const unsigned mappers = cores();
    Pipeline pipeline(qint64(mappers) * 2 + 2);
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < mappers; ++i)
        threads.push_back(pipelineThread(pipeline, [&pipeline, &palette, frameTime] {
            mapFrames(pipeline, palette.get(), frameTime);
        }));
    threads.push_back(pipelineThread(
        pipeline, [&pipeline, &file, &encoder] { encodeFrames(pipeline, file, encoder.get()); }));

    try {
        const auto pass = [&](AVFrame *frame) {
            check(av_buffersrc_add_frame(source, frame), "Cannot time the frames");
            for (FramePtr &timed : FilterGraph::drain(sink)) {
                if (!pipeline.submit(std::move(timed)))
                    return false;
            }
            return true;
        };
        bool going = pass(first.get());
        while (going) {
            FramePtr frame = movie.next();
            going = pass(frame.get()) && frame;
        }
    } catch (const Failure &failure) {
        pipeline.fail(failure.reason);
    }
    pipeline.endInput();
    for (std::thread &thread : threads)
        thread.join();
    if (const std::optional<QString> failure = pipeline.failure())
        throw Failure{*failure};
}

} // namespace

bool FfmpegGifConverter::convert(const QString &moviePath, const QString &gifPath, int maxFrameRate,
                                 QString *error)
{
    // Written under a name of its own and renamed into place once complete, so that nothing
    // ever finds half a GIF at the GIF's name.
    const QString partPath = gifPath + QStringLiteral(".part");
    QString reason;
    const int fd = createPrivateFile(partPath, &reason);
    if (fd < 0) {
        if (error)
            *error = reason;
        return false;
    }
    try {
        writeGif(moviePath, fd, maxFrameRate);
        if (::rename(QFile::encodeName(partPath).constData(),
                     QFile::encodeName(gifPath).constData()) != 0)
            check(AVERROR(errno), "Cannot name the GIF");
        return true;
    } catch (const Failure &failure) {
        QFile::remove(partPath);
        if (error)
            *error = failure.reason;
        return false;
    }
}

} // namespace platform
