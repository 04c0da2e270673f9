#include "platform/ffmpeg/FfmpegGifConverter.h"

#include "platform/PrivateFiles.h"
#include "platform/ffmpeg/FfmpegFrames.h"
#include "platform/ffmpeg/FfmpegPrivateOutput.h"

extern "C" {
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

unsigned cores()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

// The palette of a movie: palettegen over every frame, so that a colour shown only for a
// moment has its own entry instead of the nearest of the others, however far that is.
FramePtr makePalette(const QString &moviePath)
{
    MovieFrames movie(moviePath);
    const AVRational timeBase = movie.stream()->time_base;
    ToBgra toBgra{int(cores())};
    std::optional<FilterGraph> graph;
    AVFilterContext *source = nullptr;
    AVFilterContext *sink = nullptr;
    while (FramePtr frame = movie.next()) {
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
        // The muxer times a frame by the one after it; the last one is shown for a frame's
        // time like the others instead of not at all.
        const int lastDelay = int(av_rescale_q(1, encoder->time_base, {1, 100}));
        av_dict_set_int(&options, "final_delay", std::max(lastDelay, 1), 0);
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
        return writeToDescriptor(*static_cast<int *>(opaque), data, size);
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

// Runs `work` on a worker of its own; a failure there stops the whole pipeline.
void startStage(QThreadPool &workers, Pipeline &pipeline, std::function<void()> work)
{
    workers.start([&pipeline, work = std::move(work)] {
        if (const std::optional<QString> failure = attempt(work))
            pipeline.fail(*failure);
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

// How long `frame` is shown, in the stream's time base: as the movie says, or `otherwise` (in
// seconds) where it does not.
qint64 frameDuration(const AVFrame *frame, const AVStream *stream, AVRational otherwise)
{
    if (frame->pkt_duration > 0)
        return frame->pkt_duration;
    return std::max<qint64>(1, av_rescale_q(1, otherwise, stream->time_base));
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

void writeGif(QThreadPool &workers, const QString &moviePath, int fd, int maxFrameRate)
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
    for (unsigned i = 0; i < mappers; ++i)
        startStage(workers, pipeline, [&pipeline, &palette, frameTime] {
            mapFrames(pipeline, palette.get(), frameTime);
        });
    startStage(workers, pipeline,
               [&pipeline, &file, &encoder] { encodeFrames(pipeline, file, encoder.get()); });

    const std::optional<QString> failure = attempt([&] {
        const auto pass = [&](AVFrame *frame) {
            if (frame)
                check(av_buffersrc_add_frame(source, frame), "Cannot time the frames");
            for (FramePtr &timed : FilterGraph::drain(sink)) {
                if (!pipeline.submit(std::move(timed)))
                    return false;
            }
            return true;
        };
        // The movie ends when its last frame has been shown for its time, not when it starts:
        // fps keeps only the frames that begin before the end.
        qint64 end = first->pts + frameDuration(first.get(), movie.stream(), frameTime);
        bool going = pass(first.get());
        while (going) {
            FramePtr frame = movie.next();
            if (!frame) {
                check(av_buffersrc_close(source, end, 0), "Cannot time the frames");
                pass(nullptr);
                break;
            }
            end = std::max(end, frame->pts + frameDuration(frame.get(), movie.stream(), frameTime));
            going = pass(frame.get());
        }
    });
    if (failure)
        pipeline.fail(*failure);
    pipeline.endInput();
    workers.waitForDone();
    if (const std::optional<QString> failed = pipeline.failure())
        throw Failure{*failed};
}

} // namespace

FfmpegGifConverter::FfmpegGifConverter()
{
    m_workers.setObjectName(QStringLiteral("corvanta.gif"));
    m_workers.setMaxThreadCount(int(cores()) + 1);
    m_workers.setExpiryTimeout(60000);
}

FfmpegGifConverter::~FfmpegGifConverter()
{
    m_workers.waitForDone();
}

bool FfmpegGifConverter::convert(const QString &moviePath, const QString &gifPath, int maxFrameRate,
                                 QString *error)
{
    const std::lock_guard turn(m_converting);
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
    const std::optional<QString> failure = attempt([&] {
        writeGif(m_workers, moviePath, fd, maxFrameRate);
        if (::rename(QFile::encodeName(partPath).constData(),
                     QFile::encodeName(gifPath).constData()) != 0)
            check(AVERROR(errno), "Cannot name the GIF");
    });
    if (!failure)
        return true;
    QFile::remove(partPath);
    if (error)
        *error = *failure;
    return false;
}

} // namespace platform
