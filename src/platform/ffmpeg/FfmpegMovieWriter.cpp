#include "platform/ffmpeg/FfmpegMovieWriter.h"

#include "platform/AudioInput.h"
#include "platform/ffmpeg/FfmpegPictureQueue.h"
#include "platform/ffmpeg/FfmpegPrivateOutput.h"
#include "platform/ffmpeg/FfmpegSupport.h"

#include <QStringList>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>
#include <sched.h>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace platform {

namespace {

using namespace ffmpeg;

// A pause in the sound longer than this (the audio server stalled) is filled with silence so
// that what follows stays in step with the picture.
constexpr qint64 maxAudioGap = audioSampleRate / 5;
constexpr qint64 noTime = std::numeric_limits<qint64>::min();
// x264 takes whole kilobits a second and refuses none, which 4 bits a pixel gives an area under
// 250 pixels. A moving 12×6 picture at 60 fps came out at 13 dB PSNR at 1 kbit/s and 45 dB at
// this rate, a 128×128 one at 33 dB at its 4 bits a pixel and 36 dB at this; the smallest
// areas spend well below it.
constexpr qint64 minimumBitRate = 100'000;
constexpr double fullHd60 = 1920.0 * 1080 * 60;

double pixelsPerSecond(QSize frameSize, int frameRate)
{
    return double(frameSize.width()) * frameSize.height() * std::max(frameRate, 1);
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

struct FormatContextDeleter {
    void operator()(AVFormatContext *context) const
    {
        closePrivateOutput(&context->pb);
        avformat_free_context(context);
    }
};

class FfmpegMovieWriter final : public MovieWriter {
public:
    FfmpegMovieWriter(const MovieSettings &settings, unsigned cores)
        : m_settings(settings), m_cores(std::max(cores, 1u)),
          m_pictures(pictureQueueLength(settings.frameSize, std::max(settings.frameRate, 1)))
    {
    }

    ~FfmpegMovieWriter() override
    {
        if (!m_closed)
            cancel();
    }

    bool open(QString *error);

    void addVideoFrame(const QImage &frame, qint64 steadyTimeUs) override;
    void addAudio(const float *samples, int frames, qint64 steadyTimeUs) override;
    int droppedFrames() const override { return m_pictures.dropped(); }
    bool finish(QString *error) override;
    void cancel() override;

private:
    bool openVideo(QString *error);
    bool openAudio(QString *error);
    AVStream *openStream(AVCodecContext *codec, const AVCodec *encoder, AVDictionary **options,
                         const char *name, QString *error);
    void encodeLoop();
    void encodeVideo(AVFrame *frame);
    void encodeAudio(int samples);
    void drainPackets(AVCodecContext *codec, AVStream *stream);
    void recordError(const QString &error);
    void stopEncoderThread(bool abandon);

    MovieSettings m_settings;
    unsigned m_cores;
    std::unique_ptr<AVFormatContext, FormatContextDeleter> m_format;
    CodecContextPtr m_video;
    CodecContextPtr m_audio;
    AVStream *m_videoStream = nullptr;
    AVStream *m_audioStream = nullptr;
    // Serialises the muxer between the encoder thread and the sound thread.
    std::mutex m_muxMutex;
    QString m_writeError;
    bool m_closed = false;

    // The caller's frame thread.
    ScaleContextPtr m_converter;
    qint64 m_lastPts = -1;
    std::atomic<qint64> m_firstFrameTime = noTime;

    PictureQueue m_pictures;
    std::thread m_encoder;
    PacketPtr m_videoPacket{av_packet_alloc()};

    // The caller's sound thread.
    std::mutex m_audioMutex;
    FramePtr m_audioFrame;
    PacketPtr m_audioPacket{av_packet_alloc()};
    std::vector<float> m_left;
    std::vector<float> m_right;
    qint64 m_audioPts = noTime; // of the first sample waiting in m_left/m_right
};

bool FfmpegMovieWriter::open(QString *error)
{
    const QByteArray path = m_settings.filePath.toUtf8();
    const char *muxer = m_settings.container == MovieContainer::quickTime ? "mov" : "mp4";
    AVFormatContext *format = nullptr;
    int result = avformat_alloc_output_context2(&format, nullptr, muxer, path.constData());
    if (result < 0) {
        setError(error, QStringLiteral("Cannot prepare the movie: %1").arg(errorText(result)));
        return false;
    }
    m_format.reset(format);
    if (!openVideo(error) || (m_settings.withAudio && !openAudio(error)))
        return false;

    format->pb = openPrivateOutput(m_settings.filePath, error);
    if (!format->pb)
        return false;
    // Every packet reaches the file at once, and every keyframe (at least one a second) closes
    // a self-contained fragment: a writer that dies leaves a playable movie.
    format->flush_packets = 1;
    // The muxer waits for the first pictures however long the encoder takes to start: sound
    // written before them would leave the first pictures' times clipped and out of order.
    format->max_interleave_delta = 0;
    AVDictionary *options = nullptr;
    av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    result = avformat_write_header(format, &options);
    av_dict_free(&options);
    if (result < 0) {
        setError(error,
                 QStringLiteral("Cannot write %1: %2").arg(m_settings.filePath, errorText(result)));
        return false;
    }

    m_converter = makeConverter(
        m_settings.frameSize.width(), m_settings.frameSize.height(), AV_PIX_FMT_BGRA,
        AV_PIX_FMT_YUV420P, SWS_CS_ITU709,
        FfmpegMovieWriters::conversionThreads(m_settings.frameSize, m_settings.frameRate, m_cores));
    if (!m_converter || !m_videoPacket || !m_audioPacket) {
        setError(error, QStringLiteral("Cannot prepare the colour conversion"));
        return false;
    }
    m_encoder = std::thread([this] { encodeLoop(); });
    return true;
}

bool FfmpegMovieWriter::openVideo(QString *error)
{
    const AVCodec *codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) {
        setError(error, QStringLiteral("The H.264 encoder (libx264) is not available"));
        return false;
    }
    m_video.reset(avcodec_alloc_context3(codec));
    AVCodecContext *c = m_video.get();
    const int rate = std::max(m_settings.frameRate, 1);
    c->width = m_settings.frameSize.width();
    c->height = m_settings.frameSize.height();
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = {1, rate};
    c->framerate = {rate, 1};
    c->bit_rate = std::max(qint64(c->width) * c->height * 4, minimumBitRate);
    c->gop_size = rate;
    // x264 would start 1.5 frame threads a core, each holding pictures in flight: more memory
    // and a longer start-up stall for no gain in speed.
    c->thread_count = int(m_cores);
    c->color_range = AVCOL_RANGE_MPEG;
    c->colorspace = AVCOL_SPC_BT709;
    c->color_primaries = AVCOL_PRI_BT709;
    c->color_trc = AVCOL_TRC_BT709;

    const char *preset = FfmpegMovieWriters::presetFor(m_settings.frameSize, rate, m_cores);
    AVDictionary *options = nullptr;
    av_dict_set(&options, "preset", preset, 0);
    av_dict_set(&options, "profile", "high", 0);
    QStringList x264;
    // ultrafast leaves out the 8×8 transform, the one High profile tool that costs next to
    // nothing; without it the stream would only be Constrained Baseline.
    if (qstrcmp(preset, "ultrafast") == 0)
        x264 << QStringLiteral("8x8dct=1");
    const X264Limits limits = FfmpegMovieWriters::limitsFor(m_settings.frameSize, preset, m_cores);
    if (limits.frameThreads > 0)
        c->thread_count = limits.frameThreads;
    if (limits.slicedThreads) {
        x264 << QStringLiteral("sliced-threads=1")
             << QStringLiteral("rc-lookahead=%1").arg(limits.lookahead)
             << QStringLiteral("bframes=%1").arg(limits.bFrames);
    }
    const QByteArray x264Params = x264.join(QLatin1Char(':')).toLatin1();
    if (!x264Params.isEmpty())
        av_dict_set(&options, "x264-params", x264Params.constData(), 0);
    m_videoStream = openStream(c, codec, &options, "H.264", error);
    av_dict_free(&options);
    if (!m_videoStream)
        return false;
    m_videoStream->avg_frame_rate = {rate, 1};
    return true;
}

AVStream *FfmpegMovieWriter::openStream(AVCodecContext *c, const AVCodec *codec,
                                        AVDictionary **options, const char *name, QString *error)
{
    if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int result = avcodec_open2(c, codec, options);
    if (result < 0) {
        setError(error, QStringLiteral("Cannot open the %1 encoder: %2")
                            .arg(QLatin1String(name), errorText(result)));
        return nullptr;
    }
    AVStream *stream = avformat_new_stream(m_format.get(), nullptr);
    if (!stream) {
        setError(error, QStringLiteral("Cannot add the %1 stream").arg(QLatin1String(name)));
        return nullptr;
    }
    stream->time_base = c->time_base;
    avcodec_parameters_from_context(stream->codecpar, c);
    return stream;
}

bool FfmpegMovieWriter::openAudio(QString *error)
{
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) {
        setError(error, QStringLiteral("The AAC encoder is not available"));
        return false;
    }
    m_audio.reset(avcodec_alloc_context3(codec));
    AVCodecContext *c = m_audio.get();
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = audioSampleRate;
    av_channel_layout_default(&c->ch_layout, audioChannels);
    c->bit_rate = 128000;
    c->time_base = {1, audioSampleRate};
    m_audioStream = openStream(c, codec, nullptr, "AAC", error);
    if (!m_audioStream)
        return false;

    m_audioFrame.reset(av_frame_alloc());
    m_audioFrame->format = c->sample_fmt;
    m_audioFrame->nb_samples = c->frame_size;
    m_audioFrame->sample_rate = c->sample_rate;
    av_channel_layout_copy(&m_audioFrame->ch_layout, &c->ch_layout);
    if (av_frame_get_buffer(m_audioFrame.get(), 0) < 0) {
        setError(error, QStringLiteral("Not enough memory for the sound"));
        return false;
    }
    return true;
}

void FfmpegMovieWriter::addVideoFrame(const QImage &frame, qint64 steadyTimeUs)
{
    if (frame.size() != m_settings.frameSize || frame.depth() != 32)
        return;
    FramePtr converted = m_pictures.acquire();
    if (!converted)
        return;
    // The encoder may still hold on to a picture it was given; never draw over it.
    if (converted->buf[0] && !av_frame_is_writable(converted.get()))
        av_frame_unref(converted.get());

    FramePtr source = wrapPixels(const_cast<uchar *>(frame.constBits()), frame.width(),
                                 frame.height(), int(frame.bytesPerLine()), AV_PIX_FMT_BGRA);
    if (!source || sws_scale_frame(m_converter.get(), converted.get(), source.get()) < 0) {
        m_pictures.discard(std::move(converted));
        return;
    }

    qint64 first = m_firstFrameTime.load();
    if (first == noTime) {
        first = steadyTimeUs;
        m_firstFrameTime.store(first);
    }
    const int rate = m_video->time_base.den;
    qint64 pts = std::llround(double(steadyTimeUs - first) * rate / 1e6);
    pts = std::max(pts, m_lastPts + 1);
    m_lastPts = pts;
    converted->pts = pts;
    m_pictures.push(std::move(converted));
}

void FfmpegMovieWriter::encodeLoop()
{
    while (FramePtr picture = m_pictures.pop()) {
        encodeVideo(picture.get());
        m_pictures.recycle(std::move(picture));
    }
    if (!m_pictures.abandoned())
        encodeVideo(nullptr);
}

void FfmpegMovieWriter::encodeVideo(AVFrame *frame)
{
    const int result = avcodec_send_frame(m_video.get(), frame);
    if (result < 0 && result != AVERROR_EOF) {
        recordError(QStringLiteral("H.264 encoding failed: %1").arg(errorText(result)));
        return;
    }
    drainPackets(m_video.get(), m_videoStream);
}

void FfmpegMovieWriter::drainPackets(AVCodecContext *codec, AVStream *stream)
{
    AVPacket *packet = codec == m_video.get() ? m_videoPacket.get() : m_audioPacket.get();
    while (avcodec_receive_packet(codec, packet) == 0) {
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        std::lock_guard lock(m_muxMutex);
        if (!m_writeError.isEmpty()) {
            av_packet_unref(packet);
            continue;
        }
        const int result = av_interleaved_write_frame(m_format.get(), packet);
        if (result < 0)
            m_writeError = QStringLiteral("Cannot write the movie: %1").arg(errorText(result));
    }
}

void FfmpegMovieWriter::recordError(const QString &error)
{
    std::lock_guard lock(m_muxMutex);
    if (m_writeError.isEmpty())
        m_writeError = error;
}

void FfmpegMovieWriter::addAudio(const float *samples, int frames, qint64 steadyTimeUs)
{
    if (!m_audio || frames <= 0)
        return;
    const qint64 first = m_firstFrameTime.load();
    if (first == noTime)
        return; // The movie starts with its first picture.
    std::lock_guard lock(m_audioMutex);
    if (m_closed)
        return;
    const qint64 position = std::llround(double(steadyTimeUs - first) * audioSampleRate / 1e6);
    int skip = 0;
    if (m_audioPts == noTime) {
        if (position + frames <= 0)
            return;
        skip = int(std::max<qint64>(-position, 0));
        m_audioPts = position + skip;
    } else {
        const qint64 end = m_audioPts + qint64(m_left.size());
        if (position - end > maxAudioGap) {
            m_left.resize(size_t(position - m_audioPts), 0.0f);
            m_right.resize(size_t(position - m_audioPts), 0.0f);
        }
    }
    for (int i = skip; i < frames; ++i) {
        m_left.push_back(samples[2 * i]);
        m_right.push_back(samples[2 * i + 1]);
    }
    while (int(m_left.size()) >= m_audio->frame_size)
        encodeAudio(m_audio->frame_size);
}

void FfmpegMovieWriter::encodeAudio(int samples)
{
    AVFrame *frame = m_audioFrame.get();
    if (av_frame_make_writable(frame) < 0)
        return;
    frame->nb_samples = samples;
    std::copy_n(m_left.begin(), samples, reinterpret_cast<float *>(frame->data[0]));
    std::copy_n(m_right.begin(), samples, reinterpret_cast<float *>(frame->data[1]));
    frame->pts = m_audioPts;
    m_left.erase(m_left.begin(), m_left.begin() + samples);
    m_right.erase(m_right.begin(), m_right.begin() + samples);
    m_audioPts += samples;
    const int result = avcodec_send_frame(m_audio.get(), frame);
    if (result < 0) {
        recordError(QStringLiteral("AAC encoding failed: %1").arg(errorText(result)));
        return;
    }
    drainPackets(m_audio.get(), m_audioStream);
}

void FfmpegMovieWriter::stopEncoderThread(bool abandon)
{
    m_pictures.close(abandon);
    if (m_encoder.joinable())
        m_encoder.join();
}

bool FfmpegMovieWriter::finish(QString *error)
{
    if (m_closed) {
        setError(error, QStringLiteral("The movie is already closed"));
        return false;
    }
    stopEncoderThread(false);
    {
        std::lock_guard lock(m_audioMutex);
        if (m_audio && m_audioPts != noTime) {
            if (!m_left.empty())
                encodeAudio(int(m_left.size()));
            avcodec_send_frame(m_audio.get(), nullptr);
            drainPackets(m_audio.get(), m_audioStream);
        }
        m_closed = true;
    }

    std::lock_guard lock(m_muxMutex);
    QString failure = m_writeError;
    if (m_firstFrameTime.load() == noTime)
        failure = QStringLiteral("No video frames were recorded");
    int result = av_write_trailer(m_format.get());
    if (failure.isEmpty() && result < 0)
        failure = QStringLiteral("Cannot complete the movie: %1").arg(errorText(result));
    result = closePrivateOutput(&m_format->pb);
    if (failure.isEmpty() && result < 0)
        failure = QStringLiteral("Cannot complete the movie: %1").arg(errorText(result));
    setError(error, failure);
    return failure.isEmpty();
}

void FfmpegMovieWriter::cancel()
{
    if (m_closed)
        return;
    stopEncoderThread(true);
    std::lock_guard audioLock(m_audioMutex);
    m_closed = true;
    std::lock_guard lock(m_muxMutex);
    if (m_format)
        closePrivateOutput(&m_format->pb);
}

} // namespace

FfmpegMovieWriters::FfmpegMovieWriters(unsigned cores) : m_cores(cores)
{
    // The encoders' statistics and banners stay out of the program's output.
    av_log_set_level(AV_LOG_WARNING);
}

std::unique_ptr<MovieWriter> FfmpegMovieWriters::create(const MovieSettings &settings,
                                                        QString *error)
{
    auto writer = std::make_unique<FfmpegMovieWriter>(settings, m_cores);
    if (!writer->open(error))
        return nullptr;
    return writer;
}

unsigned FfmpegMovieWriters::usableCores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return unsigned(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

X264Limits FfmpegMovieWriters::limitsFor(QSize frameSize, const char *preset, unsigned cores)
{
    // The preset's look-ahead and B-frames (veryfast has them, ultrafast none), and the picture
    // being reconstructed and the one it refers to.
    const bool veryfast = qstrcmp(preset, "veryfast") == 0;
    const int presetLookahead = veryfast ? 10 : 0;
    const int presetBFrames = veryfast ? 3 : 0;
    constexpr int reconstructed = 2;
    const size_t perPicture = 4 * std::max<size_t>(ffmpeg::pictureBytes(frameSize), 1);
    const int inFlight = int(std::min<size_t>(x264Budget / perPicture, 1000));
    X264Limits limits;
    if (inFlight >= int(cores) + presetLookahead + presetBFrames)
        return limits;
    if (presetLookahead == 0 && inFlight - reconstructed >= 2) {
        limits.frameThreads = inFlight - reconstructed;
        return limits;
    }
    limits.slicedThreads = true;
    limits.lookahead = std::clamp(inFlight - reconstructed, 0, presetLookahead);
    limits.bFrames = std::min(presetBFrames, limits.lookahead);
    return limits;
}

int FfmpegMovieWriters::conversionThreads(QSize frameSize, int frameRate, unsigned cores)
{
    const int all = std::clamp(int(cores), 1, 8);
    return pixelsPerSecond(frameSize, frameRate) <= fullHd60 ? std::clamp(all / 2, 1, 4) : all;
}

const char *FfmpegMovieWriters::presetFor(QSize frameSize, int frameRate, unsigned cores)
{
    const double budget =
        cores * fullHd60 / 4 / (limitsFor(frameSize, "veryfast", cores).slicedThreads ? 2 : 1);
    return cores >= 4 && pixelsPerSecond(frameSize, frameRate) <= budget ? "veryfast" : "ultrafast";
}

} // namespace platform
