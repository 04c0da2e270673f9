#include "platform/ffmpeg/FfmpegMovieReader.h"
#include "platform/ffmpeg/FfmpegPictureQueue.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <QFile>
#include <algorithm>
#include <thread>

namespace platform::ffmpeg {

namespace {

// Pictures the decoder's threads may hold at once: each frame thread keeps one being decoded,
// with its tables, besides those the movie refers back to. Three threads at 4K decode a
// recording of ours at 30 frames a second with room to spare.
constexpr size_t decodingBudget = size_t(40) << 20;
// A stream that yields nothing but errors for this many packets in a row is broken beyond use.
constexpr int errorsBeforeGivingUp = 200;

struct SwrDeleter {
    void operator()(SwrContext *context) const { swr_free(&context); }
};

QSize fitted(const QSize &frame, const QSize &box)
{
    if (box.isEmpty() || (box.width() >= frame.width() && box.height() >= frame.height()))
        return frame;
    const QSize size = frame.scaled(box, Qt::KeepAspectRatio);
    return QSize(std::max(size.width(), 1), std::max(size.height(), 1));
}

// Pictures and sound count from the first picture: a movie's time zero is when it shows.
qint64 startOf(const AVStream *stream)
{
    if (stream->start_time == AV_NOPTS_VALUE)
        return 0;
    return av_rescale_q(stream->start_time, stream->time_base, AVRational{1, 1'000'000});
}

int colorspaceOf(const AVFrame *frame)
{
    if (frame->colorspace == AVCOL_SPC_UNSPECIFIED)
        // Untagged high-definition movies are BT.709 in practice.
        return frame->height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    return swsColorspace(frame->colorspace);
}

CodecContextPtr openDecoder(const AVStream *stream, int threads)
{
    const AVCodec *codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        return nullptr;
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context || avcodec_parameters_to_context(context.get(), stream->codecpar) < 0)
        return nullptr;
    context->pkt_timebase = stream->time_base;
    context->thread_count = threads;
    context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return nullptr;
    return context;
}

} // namespace

struct MovieReader::Sound {
    int index = -1;
    CodecContextPtr decoder;
    std::unique_ptr<SwrContext, SwrDeleter> resampler;
    SoundShape shape;
    FramePtr frame{av_frame_alloc()};
    // Sound due before this is dropped: what lies before the frame a seek landed on.
    qint64 skipBefore = 0;
};

int decoderThreads(QSize frameSize, int cores)
{
    const size_t perPicture = std::max<size_t>(pictureBytes(frameSize), 1);
    const int affordable = int(std::min<size_t>(decodingBudget / perPicture, 64));
    // Half the cores: the others keep the interface, the scaling and the rest of the desktop
    // going while a movie plays.
    return std::clamp(std::min(affordable, cores / 2), 1, 16);
}

MovieReader::MovieReader(const QString &path, std::optional<SoundShape> sound)
{
    AVFormatContext *opened = nullptr;
    check(avformat_open_input(&opened, QFile::encodeName(path).constData(), nullptr, nullptr),
          "Cannot open the movie");
    m_input.reset(opened);
    check(avformat_find_stream_info(m_input.get(), nullptr), "Cannot read the movie");
    m_videoIndex = av_find_best_stream(m_input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (m_videoIndex < 0)
        throw Failure{QStringLiteral("The movie has no pictures")};
    const AVStream *video = m_input->streams[m_videoIndex];
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    m_video = openDecoder(
        video, decoderThreads(QSize(video->codecpar->width, video->codecpar->height), cores));
    if (!m_video)
        throw Failure{QStringLiteral("The movie's pictures cannot be decoded")};

    // A recording's frames lie on the grid of its nominal rate; the average is skewed by a
    // short movie's ends.
    const AVRational nominal = video->r_frame_rate;
    const bool plausible = nominal.num > 0 && nominal.den > 0 && av_q2d(nominal) <= 240;
    const AVRational rate = plausible ? nominal : video->avg_frame_rate;
    if (rate.num > 0 && rate.den > 0)
        m_frameInterval = std::max<qint64>(av_rescale(1'000'000, rate.den, rate.num), 1000);
    m_videoStart = startOf(video);
    if (m_input->duration > 0) {
        const qint64 fileStart = m_input->start_time == AV_NOPTS_VALUE ? 0 : m_input->start_time;
        m_duration =
            std::max<qint64>(m_input->duration - std::max<qint64>(m_videoStart - fileStart, 0), 0) /
            1000;
    }

    for (unsigned i = 0; i < m_input->nb_streams; ++i) {
        if (int(i) != m_videoIndex)
            m_input->streams[i]->discard = AVDISCARD_ALL;
    }
    if (!sound)
        return;
    const int soundIndex =
        av_find_best_stream(m_input.get(), AVMEDIA_TYPE_AUDIO, -1, m_videoIndex, nullptr, 0);
    if (soundIndex < 0)
        return;
    // A movie whose sound cannot be decoded still plays its pictures.
    auto state = std::make_unique<Sound>();
    state->index = soundIndex;
    state->shape = *sound;
    state->decoder = openDecoder(m_input->streams[soundIndex], 1);
    if (!state->decoder || !state->frame)
        return;
    AVChannelLayout layout;
    av_channel_layout_default(&layout, sound->channels);
    SwrContext *resampler = nullptr;
    const int made = swr_alloc_set_opts2(&resampler, &layout, AV_SAMPLE_FMT_S16, sound->sampleRate,
                                         &state->decoder->ch_layout, state->decoder->sample_fmt,
                                         state->decoder->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    state->resampler.reset(resampler);
    if (made < 0 || swr_init(resampler) < 0)
        return;
    m_input->streams[soundIndex]->discard = AVDISCARD_DEFAULT;
    m_sound = std::move(state);
}

MovieReader::~MovieReader() = default;

qint64 MovieReader::microseconds(int64_t timestamp, AVRational base) const
{
    if (timestamp == AV_NOPTS_VALUE)
        return 0;
    return av_rescale_q(timestamp, base, AVRational{1, 1'000'000});
}

std::optional<MoviePicture> MovieReader::next(const QSize &box, QByteArray *sound)
{
    FramePtr frame = nextFrame(sound);
    if (!frame)
        return std::nullopt;
    return MoviePicture{picture(frame.get(), box), frame->pts};
}

FramePtr MovieReader::nextFrame(QByteArray *sound)
{
    if (m_ended)
        return nullptr;
    FramePtr frame(av_frame_alloc());
    if (!frame)
        throw Failure{QStringLiteral("Out of memory")};
    for (;;) {
        const int result = avcodec_receive_frame(m_video.get(), frame.get());
        if (result == 0) {
            ++m_framesDecoded;
            m_errorsInARow = 0;
            frame->pts = microseconds(frame->best_effort_timestamp,
                                      m_input->streams[m_videoIndex]->time_base) -
                         m_videoStart;
            return frame;
        }
        if (result == AVERROR_EOF) {
            m_ended = true;
            if (m_framesDecoded == 0)
                throw Failure{QStringLiteral("The movie has no picture that can be decoded")};
            return nullptr;
        }
        if (result != AVERROR(EAGAIN) && ++m_errorsInARow > errorsBeforeGivingUp)
            throw Failure{QStringLiteral("The movie's pictures cannot be decoded: %1")
                              .arg(errorText(result))};
        if (!readPacket(sound)) {
            // Everything was read and the decoder, told so, still gives no end: it is done.
            m_ended = true;
            if (m_framesDecoded == 0)
                throw Failure{QStringLiteral("The movie has no picture that can be decoded")};
            return nullptr;
        }
    }
}

bool MovieReader::readPacket(QByteArray *sound)
{
    if (m_flushed)
        return false;
    const int result = av_read_frame(m_input.get(), m_packet.get());
    if (result < 0) {
        // The end, or a damaged tail: what could be read is shown.
        m_flushed = true;
        avcodec_send_packet(m_video.get(), nullptr);
        return true;
    }
    if (m_packet->stream_index == m_videoIndex) {
        const int sent = avcodec_send_packet(m_video.get(), m_packet.get());
        if (sent < 0 && sent != AVERROR(EAGAIN) && ++m_errorsInARow > errorsBeforeGivingUp) {
            av_packet_unref(m_packet.get());
            throw Failure{
                QStringLiteral("The movie's pictures cannot be decoded: %1").arg(errorText(sent))};
        }
    } else if (m_sound && m_packet->stream_index == m_sound->index) {
        decodeSound(m_packet.get(), sound);
    }
    av_packet_unref(m_packet.get());
    return true;
}

void MovieReader::decodeSound(const AVPacket *packet, QByteArray *sound)
{
    Sound &s = *m_sound;
    if (avcodec_send_packet(s.decoder.get(), packet) < 0)
        return;
    const AVRational base = m_input->streams[s.index]->time_base;
    const int bytesPerFrame = s.shape.channels * 2;
    while (avcodec_receive_frame(s.decoder.get(), s.frame.get()) == 0) {
        const qint64 start = microseconds(s.frame->best_effort_timestamp, base) - m_videoStart;
        const qint64 length =
            qint64(s.frame->nb_samples) * 1'000'000 / std::max(s.frame->sample_rate, 1);
        if (sound && start + length > s.skipBefore) {
            const int room = swr_get_out_samples(s.resampler.get(), s.frame->nb_samples);
            if (room > 0) {
                const qsizetype at = sound->size();
                sound->resize(at + qsizetype(room) * bytesPerFrame);
                auto *out = reinterpret_cast<uint8_t *>(sound->data() + at);
                const int converted = swr_convert(
                    s.resampler.get(), &out, room,
                    const_cast<const uint8_t **>(s.frame->extended_data), s.frame->nb_samples);
                qsizetype kept = qsizetype(std::max(converted, 0)) * bytesPerFrame;
                // The part before the place the sound must start from is cut to the sample.
                if (start < s.skipBefore) {
                    const qsizetype early =
                        qsizetype((s.skipBefore - start) * s.shape.sampleRate / 1'000'000) *
                        bytesPerFrame;
                    const qsizetype cut = std::min(early, kept);
                    sound->remove(at, cut);
                    kept -= cut;
                }
                sound->resize(at + kept);
            }
        }
        av_frame_unref(s.frame.get());
    }
}

std::optional<MoviePicture> MovieReader::seek(qint64 position, const QSize &box)
{
    const int64_t target = std::max<qint64>(position, 0) * 1000;
    const AVStream *video = m_input->streams[m_videoIndex];
    check(av_seek_frame(
              m_input.get(), m_videoIndex,
              av_rescale_q(target + m_videoStart, AVRational{1, 1'000'000}, video->time_base),
              AVSEEK_FLAG_BACKWARD),
          "Cannot move in the movie");
    avcodec_flush_buffers(m_video.get());
    m_flushed = false;
    m_ended = false;
    m_errorsInARow = 0;
    if (m_sound) {
        avcodec_flush_buffers(m_sound->decoder.get());
        swr_init(m_sound->resampler.get());
        m_sound->skipBefore = target;
    }
    // The frames between the key frame and the place are decoded but never converted.
    FramePtr shown;
    while (FramePtr frame = nextFrame(nullptr)) {
        const bool reached = frame->pts + m_frameInterval / 2 >= target;
        shown = std::move(frame);
        if (reached)
            break;
    }
    if (!shown)
        return std::nullopt;
    if (m_sound)
        m_sound->skipBefore = shown->pts;
    return MoviePicture{picture(shown.get(), box), shown->pts};
}

QImage MovieReader::picture(const AVFrame *frame, const QSize &box)
{
    const QSize size(frame->width, frame->height);
    const QSize target = fitted(size, box);
    const ScalerKey key{size.width(),
                        size.height(),
                        frame->format,
                        target.width(),
                        target.height(),
                        colorspaceOf(frame),
                        frame->color_range == AVCOL_RANGE_JPEG};
    if (!m_scaler || !(key == m_scalerKey)) {
        const int threads = std::clamp(int(std::thread::hardware_concurrency()) / 2, 1, 4);
        m_scaler =
            makeScaler(size.width(), size.height(), AVPixelFormat(frame->format), target.width(),
                       target.height(), AV_PIX_FMT_BGRA, key.colorspace, key.fullRange, threads);
        m_scalerKey = key;
        if (!m_scaler)
            throw Failure{QStringLiteral("The movie's pictures cannot be converted")};
    }
    QImage image(target, QImage::Format_RGB32);
    if (image.isNull())
        throw Failure{QStringLiteral("Out of memory")};
    FramePtr to = wrapPixels(image.bits(), target.width(), target.height(),
                             int(image.bytesPerLine()), AV_PIX_FMT_BGRA);
    if (!to)
        throw Failure{QStringLiteral("Out of memory")};
    check(sws_scale_frame(m_scaler.get(), to.get(), frame), "Cannot convert a picture");
    return image;
}

} // namespace platform::ffmpeg
