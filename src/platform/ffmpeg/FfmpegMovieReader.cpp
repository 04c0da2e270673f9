#include "platform/ffmpeg/FfmpegMovieReader.h"
#include "platform/ffmpeg/FfmpegPictureQueue.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <QFile>
#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <thread>

namespace platform::ffmpeg {

namespace {

// Pictures the decoder's threads may hold at once: each frame thread keeps one being decoded,
// with its tables, besides those the movie refers back to. Three threads at 4K decode a
// recording of ours at 30 frames a second with room to spare.
constexpr size_t decodingBudget = size_t(40) << 20;
// A stream that yields nothing but errors for this many packets in a row is broken beyond use.
constexpr int errorsBeforeGivingUp = 200;
// The sound is read this far past each picture where the movie has it, so that the sound output
// is never kept waiting by a picture that is not due yet.
constexpr qint64 soundAheadUs = 250'000;
// After a move the sound is read from this much before the place: a sound decoder's first frame
// after a move lacks what the frame before it leaves over, and is cut away.
constexpr qint64 soundPrerollUs = 100'000;
// Late pictures passed over in one go: the sound output is topped up between.
constexpr int mostPassedAtOnce = 6;
// A gap between sound frames longer than this is played as silence, so that every sample stays
// at its time; a longer one than the cap is a broken stamp, not a pause.
constexpr qint64 soundGapUs = 10'000;
constexpr qint64 soundGapCapUs = 2'000'000;
// Sound from before the place it must start from is cut when it overlaps it by more than this.
constexpr qint64 soundOverlapUs = 1'000;
// A damaged movie makes a decoder complain of every packet; the reason it fails with is enough.
// Its messages are moved past every level FFmpeg prints, within the byte it reads the level from.
constexpr int quietDecoder = 128;

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

// A named pipe put in the movie's place would hold the player's thread until somebody wrote it,
// and the program's end with it.
bool isRegularFile(const QString &path)
{
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
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
    // A movie may carry any number there, which is no colour space at all: it is read as a
    // plain number, never loaded as the enumeration, until it is known to be one.
    int space = 0;
    static_assert(sizeof space == sizeof frame->colorspace);
    std::memcpy(&space, &frame->colorspace, sizeof space);
    if (space < 0 || space >= int(AVCOL_SPC_NB) || space == int(AVCOL_SPC_UNSPECIFIED))
        // Untagged high-definition movies are BT.709 in practice.
        return frame->height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    return swsColorspace(AVColorSpace(space));
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
    context->log_level_offset = quietDecoder;
    context->thread_count = threads;
    context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return nullptr;
    return context;
}

} // namespace

struct MovieReader::Sound {
    // The file opened again, to read the sound as it is due wherever the pictures are read.
    InputPtr input;
    PacketPtr packet{av_packet_alloc()};
    int index = -1;
    bool readAll = false;
    CodecContextPtr decoder;
    std::unique_ptr<SwrContext, SwrDeleter> resampler;
    // What the resampler was set up for: a stream may change its channels, rate or sample
    // format from one frame to the next.
    AVChannelLayout from{};
    int fromRate = 0;
    int fromFormat = -1;
    SoundShape shape;
    FramePtr frame{av_frame_alloc()};
    // The place of the next sample handed out, in samples of `shape` from the movie's time zero.
    qint64 nextSample = 0;

    ~Sound() { av_channel_layout_uninit(&from); }
    int bytesPerSample() const { return shape.channels * 2; }
    qint64 sampleAt(qint64 microseconds) const
    {
        return av_rescale(microseconds, shape.sampleRate, 1'000'000);
    }
    bool fit(const AVFrame *frame);
};

// A resampler for the frame's own layout, rate and format; false when none can be made, and
// the frame's sound is left out.
bool MovieReader::Sound::fit(const AVFrame *frame)
{
    if (frame->sample_rate == fromRate && frame->format == fromFormat &&
        av_channel_layout_compare(&frame->ch_layout, &from) == 0)
        return bool(resampler);
    resampler.reset();
    av_channel_layout_uninit(&from);
    fromRate = frame->sample_rate;
    fromFormat = frame->format;
    if (av_channel_layout_copy(&from, &frame->ch_layout) < 0 || fromRate <= 0)
        return false;
    AVChannelLayout to;
    av_channel_layout_default(&to, shape.channels);
    SwrContext *made = nullptr;
    const int result =
        swr_alloc_set_opts2(&made, &to, AV_SAMPLE_FMT_S16, shape.sampleRate, &from,
                            AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&to);
    resampler.reset(made);
    if (result < 0 || swr_init(made) < 0)
        resampler.reset();
    return bool(resampler);
}

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
    const QuietLog quiet;
    if (!isRegularFile(path))
        throw Failure{QStringLiteral("Cannot open the movie: it is not a regular file")};
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

    if (sound)
        openSound(path, *sound);
    for (unsigned i = 0; i < m_input->nb_streams; ++i) {
        if (int(i) != m_videoIndex)
            m_input->streams[i]->discard = AVDISCARD_ALL;
    }
}

void MovieReader::openSound(const QString &path, const SoundShape &shape)
{
    const int index =
        av_find_best_stream(m_input.get(), AVMEDIA_TYPE_AUDIO, -1, m_videoIndex, nullptr, 0);
    if (index < 0 || shape.sampleRate <= 0 || shape.channels <= 0)
        return;
    // A movie whose sound cannot be read or decoded still plays its pictures.
    auto state = std::make_unique<Sound>();
    state->index = index;
    state->shape = shape;
    AVFormatContext *opened = nullptr;
    if (!isRegularFile(path) ||
        avformat_open_input(&opened, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return;
    state->input.reset(opened);
    // The file may have changed since it was first opened: the stream must still be sound.
    if (unsigned(index) >= state->input->nb_streams ||
        state->input->streams[index]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
        return;
    for (unsigned i = 0; i < state->input->nb_streams; ++i) {
        if (int(i) != index)
            state->input->streams[i]->discard = AVDISCARD_ALL;
    }
    state->decoder = openDecoder(m_input->streams[index], 1);
    if (!state->decoder || !state->frame || !state->packet)
        return;
    m_sound = std::move(state);
}

MovieReader::~MovieReader()
{
    const QuietLog quiet;
    m_sound.reset();
    m_video.reset();
    m_input.reset();
}

qint64 MovieReader::microseconds(int64_t timestamp, AVRational base) const
{
    if (timestamp == AV_NOPTS_VALUE)
        return 0;
    return av_rescale_q(timestamp, base, AVRational{1, 1'000'000});
}

std::optional<MoviePicture> MovieReader::next(const QSize &box, QByteArray *sound,
                                              qint64 passBefore)
{
    const QuietLog quiet;
    FramePtr frame = nextFrame();
    if (!frame)
        return std::nullopt;
    for (int passed = 0; frame->pts < passBefore && passed < mostPassedAtOnce; ++passed) {
        FramePtr later = nextFrame();
        if (!later)
            break;
        frame = std::move(later);
    }
    if (sound)
        readSound(sound, frame->pts + soundAheadUs);
    return MoviePicture{picture(frame.get(), box), frame->pts};
}

void MovieReader::readSound(QByteArray *sound, qint64 until)
{
    const QuietLog quiet;
    while (m_sound && !m_sound->readAll && soundEnd() < until) {
        Sound &s = *m_sound;
        if (av_read_frame(s.input.get(), s.packet.get()) < 0) {
            // The end, or a damaged tail: what the decoder still holds belongs to the end.
            s.readAll = true;
            decodeSound(nullptr, sound);
            return;
        }
        if (s.packet->stream_index == s.index)
            decodeSound(s.packet.get(), sound);
        av_packet_unref(s.packet.get());
    }
}

qint64 MovieReader::soundEnd() const
{
    if (!m_sound)
        return 0;
    return av_rescale(m_sound->nextSample, 1'000'000, m_sound->shape.sampleRate);
}

bool MovieReader::allSoundRead() const
{
    return !m_sound || m_sound->readAll;
}

FramePtr MovieReader::nextFrame()
{
    if (m_held)
        return std::move(m_held);
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
        if (!feedDecoder()) {
            // Everything was read and the decoder, told so, still gives no end: it is done.
            m_ended = true;
            if (m_framesDecoded == 0)
                throw Failure{QStringLiteral("The movie has no picture that can be decoded")};
            return nullptr;
        }
    }
}

bool MovieReader::feedDecoder()
{
    if (m_flushed)
        return false;
    if (m_readAll) {
        m_flushed = true;
        avcodec_send_packet(m_video.get(), nullptr);
        return true;
    }
    if (av_read_frame(m_input.get(), m_packet.get()) < 0) {
        // The end, or a damaged tail: what could be read is shown.
        m_readAll = true;
        return true;
    }
    const int sent = m_packet->stream_index == m_videoIndex
                         ? avcodec_send_packet(m_video.get(), m_packet.get())
                         : 0;
    av_packet_unref(m_packet.get());
    if (sent < 0 && sent != AVERROR(EAGAIN) && ++m_errorsInARow > errorsBeforeGivingUp)
        throw Failure{
            QStringLiteral("The movie's pictures cannot be decoded: %1").arg(errorText(sent))};
    return true;
}

void MovieReader::decodeSound(const AVPacket *packet, QByteArray *sound)
{
    Sound &s = *m_sound;
    if (avcodec_send_packet(s.decoder.get(), packet) < 0)
        return;
    while (avcodec_receive_frame(s.decoder.get(), s.frame.get()) == 0) {
        appendSound(s.frame.get(), sound);
        av_frame_unref(s.frame.get());
    }
}

void MovieReader::appendSound(const AVFrame *frame, QByteArray *sound)
{
    Sound &s = *m_sound;
    if (frame->nb_samples <= 0 || !s.fit(frame))
        return;
    const int bytesPerSample = s.bytesPerSample();
    const qint64 start = frame->best_effort_timestamp == AV_NOPTS_VALUE
                             ? s.nextSample
                             : s.sampleAt(microseconds(frame->best_effort_timestamp,
                                                       s.input->streams[s.index]->time_base) -
                                          m_videoStart);
    // A pause in the movie's sound is heard as silence, so that what follows keeps its time.
    const qint64 gap = start - s.nextSample;
    if (gap > s.sampleAt(soundGapUs) && gap <= s.sampleAt(soundGapCapUs)) {
        sound->append(QByteArray(qsizetype(gap) * bytesPerSample, '\0'));
        s.nextSample = start;
    }
    const int room = swr_get_out_samples(s.resampler.get(), frame->nb_samples);
    if (room <= 0)
        return;
    const qsizetype at = sound->size();
    sound->resize(at + qsizetype(room) * bytesPerSample);
    auto *out = reinterpret_cast<uint8_t *>(sound->data() + at);
    const int converted =
        swr_convert(s.resampler.get(), &out, room,
                    const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples);
    qsizetype kept = qsizetype(std::max(converted, 0)) * bytesPerSample;
    // Sound from before the place it must start from (the first picture, or the one a move
    // landed on) is cut, to the sample; a frame wholly before it is left out.
    if (s.nextSample - start > s.sampleAt(soundOverlapUs)) {
        const qsizetype early = qsizetype(s.nextSample - start) * bytesPerSample;
        const qsizetype cut = std::min(early, kept);
        sound->remove(at, cut);
        kept -= cut;
    }
    sound->resize(at + kept);
    s.nextSample += kept / bytesPerSample;
}

std::optional<MoviePicture> MovieReader::seek(qint64 position, const QSize &box)
{
    const QuietLog quiet;
    const int64_t target = std::max<qint64>(position, 0) * 1000;
    const AVStream *video = m_input->streams[m_videoIndex];
    check(av_seek_frame(
              m_input.get(), m_videoIndex,
              av_rescale_q(target + m_videoStart, AVRational{1, 1'000'000}, video->time_base),
              AVSEEK_FLAG_BACKWARD),
          "Cannot move in the movie");
    avcodec_flush_buffers(m_video.get());
    m_readAll = false;
    m_flushed = false;
    m_ended = false;
    m_errorsInARow = 0;
    m_held.reset();
    // The frames between the key frame and the place are decoded but never converted.
    FramePtr shown;
    while (FramePtr frame = nextFrame()) {
        if (shown && frame->pts - m_frameInterval / 2 > target) {
            // Past a hole in the pictures: the one before it is still shown at the place.
            m_held = std::move(frame);
            break;
        }
        const bool reached = frame->pts + m_frameInterval / 2 >= target;
        shown = std::move(frame);
        if (reached)
            break;
    }
    // The sound handed out next starts at the picture's time, as it starts with the first
    // picture; at the place where that lies in a hole in the pictures or past their end.
    if (m_sound)
        seekSound(shown && target < shown->pts + m_frameInterval ? shown->pts : target);
    return shown ? std::optional(MoviePicture{picture(shown.get(), box), shown->pts})
                 : std::nullopt;
}

void MovieReader::seekSound(qint64 at)
{
    Sound &s = *m_sound;
    avcodec_flush_buffers(s.decoder.get());
    // Set up afresh: nothing the resampler held from before belongs here.
    s.fromRate = 0;
    s.resampler.reset();
    s.nextSample = s.sampleAt(at);
    const AVStream *stream = s.input->streams[s.index];
    const int64_t from = av_rescale_q(at + m_videoStart - soundPrerollUs, AVRational{1, 1'000'000},
                                      stream->time_base);
    // Sound that starts after the place is read from its start; one that cannot be moved in is
    // silent from here on.
    s.readAll = av_seek_frame(s.input.get(), s.index, from, AVSEEK_FLAG_BACKWARD) < 0 &&
                av_seek_frame(s.input.get(), s.index, from, 0) < 0;
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
    QImage image = conversionTarget(target);
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
