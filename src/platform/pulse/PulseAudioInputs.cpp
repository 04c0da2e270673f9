#include "platform/pulse/PulseAudioInputs.h"

#include "platform/AudioMixer.h"
#include "platform/Log.h"

#include <QLoggingCategory>
#include <QStringList>
#include <array>
#include <chrono>
#include <pulse/pulseaudio.h>

namespace platform {

namespace {

constexpr pa_sample_spec sampleSpec{PA_SAMPLE_FLOAT32LE, audioSampleRate, audioChannels};
constexpr size_t frameBytes = sizeof(float) * audioChannels;
// Small fragments keep the two sources close together and the mix's delay short.
constexpr pa_usec_t fragmentUs = 20'000;

qint64 steadyNowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString contextError(pa_context *context)
{
    return QString::fromUtf8(pa_strerror(pa_context_errno(context)));
}

class PulseAudioCapture;

// One recorded source: the system sound's monitor or the microphone.
struct SourceStream {
    PulseAudioCapture *owner = nullptr;
    int index = 0;
    QString label;
    QByteArray name;
    pa_stream *stream = nullptr;
    pa_stream_state_t state = PA_STREAM_UNCONNECTED;
    bool ended = false;
};

// Both sources on one PulseAudio context, served by one thread (the threaded main loop), whose
// read callbacks feed the mixer; the mixer calls the sink on that thread.
class PulseAudioCapture final : public AudioCapture {
public:
    explicit PulseAudioCapture(AudioInputs::Sink sink) : m_sink(std::move(sink)) {}
    ~PulseAudioCapture() override { stop(); }

    bool open(bool systemSound, bool microphone, int timeoutMs, QString *error);
    void stop() override;

private:
    struct ServerDefaults {
        QByteArray sink;
        QByteArray source;
        QByteArray sinkMonitor;
    };

    bool connectContext(int timeoutMs, QString *error);
    void dropDeadline();
    bool waitOperation(pa_operation *operation);
    template <typename Done> bool waitUntil(Done done);
    ServerDefaults queryDefaults();
    void connectStream(SourceStream &source);
    void deliver(SourceStream &source);
    void sourceEnded(SourceStream &source);
    template <typename Call> void toMixer(Call call);

    static void contextStateChanged(pa_context *context, void *self);
    static void streamStateChanged(pa_stream *stream, void *source);
    static void streamReadable(pa_stream *stream, size_t bytes, void *source);
    static void flushOnLoop(pa_mainloop_api *api, void *self);
    static void endSourceOnLoop(pa_mainloop_api *api, void *source);
    static void answerTimedOut(pa_mainloop_api *api, pa_time_event *event, const struct timeval *,
                               void *self);

    AudioInputs::Sink m_sink;
    std::unique_ptr<AudioMixer> m_mixer;
    pa_threaded_mainloop *m_mainloop = nullptr;
    pa_context *m_context = nullptr;
    pa_time_event *m_deadline = nullptr;
    std::array<SourceStream, 2> m_sources;
    int m_sourceCount = 0;
    bool m_timedOut = false;
    bool m_running = false;
    bool m_sinkFailed = false;
    bool m_flushed = false;
};

bool PulseAudioCapture::open(bool systemSound, bool microphone, int timeoutMs, QString *error)
{
    m_mainloop = pa_threaded_mainloop_new();
    if (!m_mainloop || pa_threaded_mainloop_start(m_mainloop) < 0) {
        if (error)
            *error = QStringLiteral("Cannot start the audio input thread");
        return false;
    }
    pa_threaded_mainloop_lock(m_mainloop);
    if (!connectContext(timeoutMs, error)) {
        pa_threaded_mainloop_unlock(m_mainloop);
        return false;
    }

    const ServerDefaults defaults = queryDefaults();
    if (m_timedOut) {
        if (error)
            *error = QStringLiteral("The audio server did not answer");
        qCWarning(Log::capture, "No sound recorded: the audio server did not answer");
        pa_threaded_mainloop_unlock(m_mainloop);
        return false;
    }
    QStringList unavailable;
    auto want = [&](const QString &label, const QByteArray &name, const QString &missing) {
        if (name.isEmpty()) {
            qCWarning(Log::capture, "Cannot record the %s: %s", qPrintable(label),
                      qPrintable(missing));
            unavailable << QStringLiteral("%1: %2").arg(label, missing);
            return;
        }
        SourceStream &source = m_sources[m_sourceCount];
        source.owner = this;
        source.index = m_sourceCount++;
        source.label = label;
        source.name = name;
    };
    if (systemSound)
        want(QStringLiteral("system sound"), defaults.sinkMonitor,
             QStringLiteral("there is no sound output"));
    if (microphone) {
        // Without a microphone the server offers the output's monitor as its input; that one is
        // recorded once, not twice over.
        if (systemSound && !defaults.sinkMonitor.isEmpty() &&
            defaults.source == defaults.sinkMonitor) {
            qCInfo(Log::capture, "The default input is the system sound (%s); recording it once",
                   defaults.source.constData());
        } else {
            want(QStringLiteral("microphone"), defaults.source,
                 QStringLiteral("there is no microphone"));
        }
    }

    m_mixer = std::make_unique<AudioMixer>(
        m_sourceCount, [this](const float *samples, int frames, qint64 steadyTimeUs) {
            m_sink(samples, frames, steadyTimeUs);
        });
    for (int i = 0; i < m_sourceCount; ++i)
        connectStream(m_sources[i]);
    waitUntil([this] {
        for (int i = 0; i < m_sourceCount; ++i) {
            if (m_sources[i].state != PA_STREAM_READY && PA_STREAM_IS_GOOD(m_sources[i].state))
                return false;
        }
        return true;
    });

    int opened = 0;
    for (int i = 0; i < m_sourceCount; ++i) {
        SourceStream &source = m_sources[i];
        if (source.state == PA_STREAM_READY) {
            ++opened;
            qCInfo(Log::capture, "Recording the %s from %s", qPrintable(source.label),
                   source.name.constData());
            continue;
        }
        const QString reason = m_timedOut ? QStringLiteral("the audio server did not answer")
                                          : contextError(m_context);
        qCWarning(Log::capture, "Cannot record the %s from %s: %s", qPrintable(source.label),
                  source.name.constData(), qPrintable(reason));
        unavailable << QStringLiteral("%1: %2").arg(source.label, reason);
        // On the capture's thread: ending a source can release the other's sound to the sink.
        pa_mainloop_api_once(pa_threaded_mainloop_get_api(m_mainloop),
                             &PulseAudioCapture::endSourceOnLoop, &source);
    }
    m_running = opened > 0;
    dropDeadline();
    pa_threaded_mainloop_unlock(m_mainloop);

    if (!m_running && error)
        *error = QStringLiteral("No sound can be recorded (%1)").arg(unavailable.join("; "));
    return m_running;
}

bool PulseAudioCapture::connectContext(int timeoutMs, QString *error)
{
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), "Corvanta");
    if (!m_context) {
        if (error)
            *error = QStringLiteral("Cannot connect to the audio server");
        return false;
    }
    pa_context_set_state_callback(m_context, &PulseAudioCapture::contextStateChanged, this);
    // One deadline for everything start() waits for, so that a server that never answers (a
    // stale socket, an unreachable network server) cannot hang the caller.
    m_deadline = pa_context_rttime_new(m_context, pa_rtclock_now() + pa_usec_t(timeoutMs) * 1000,
                                       &PulseAudioCapture::answerTimedOut, this);

    // Never start a server of our own: it would outlive the recording.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        waitUntil([this] {
            const pa_context_state_t state = pa_context_get_state(m_context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        });
    }
    if (pa_context_get_state(m_context) == PA_CONTEXT_READY)
        return true;
    if (error) {
        *error = m_timedOut ? QStringLiteral("The audio server did not answer")
                            : QStringLiteral("Cannot connect to the audio server: %1")
                                  .arg(contextError(m_context));
    }
    qCWarning(Log::capture, "No sound recorded: %s", error ? qPrintable(*error) : "");
    return false;
}

void PulseAudioCapture::dropDeadline()
{
    if (m_deadline) {
        pa_threaded_mainloop_get_api(m_mainloop)->time_free(m_deadline);
        m_deadline = nullptr;
    }
}

template <typename Done> bool PulseAudioCapture::waitUntil(Done done)
{
    while (!done()) {
        if (m_timedOut)
            return false;
        pa_threaded_mainloop_wait(m_mainloop);
    }
    return true;
}

bool PulseAudioCapture::waitOperation(pa_operation *operation)
{
    if (!operation)
        return false;
    const bool finished = waitUntil(
        [operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
    if (!finished)
        pa_operation_cancel(operation);
    pa_operation_unref(operation);
    return finished;
}

PulseAudioCapture::ServerDefaults PulseAudioCapture::queryDefaults()
{
    ServerDefaults defaults;
    struct Query {
        PulseAudioCapture *self;
        ServerDefaults *defaults;
    } query{this, &defaults};

    waitOperation(pa_context_get_server_info(
        m_context,
        [](pa_context *, const pa_server_info *info, void *data) {
            auto *query = static_cast<Query *>(data);
            if (info) {
                query->defaults->sink = info->default_sink_name;
                query->defaults->source = info->default_source_name;
            }
            pa_threaded_mainloop_signal(query->self->m_mainloop, 0);
        },
        &query));
    if (defaults.sink.isEmpty())
        return defaults;
    waitOperation(pa_context_get_sink_info_by_name(
        m_context, defaults.sink.constData(),
        [](pa_context *, const pa_sink_info *info, int, void *data) {
            auto *query = static_cast<Query *>(data);
            if (info)
                query->defaults->sinkMonitor = info->monitor_source_name;
            pa_threaded_mainloop_signal(query->self->m_mainloop, 0);
        },
        &query));
    return defaults;
}

void PulseAudioCapture::connectStream(SourceStream &source)
{
    source.stream = pa_stream_new(m_context, qPrintable(source.label), &sampleSpec, nullptr);
    if (!source.stream) {
        source.state = PA_STREAM_FAILED;
        return;
    }
    pa_stream_set_state_callback(source.stream, &PulseAudioCapture::streamStateChanged, &source);
    pa_stream_set_read_callback(source.stream, &PulseAudioCapture::streamReadable, &source);

    pa_buffer_attr attributes;
    attributes.maxlength = uint32_t(-1);
    attributes.tlength = uint32_t(-1);
    attributes.prebuf = uint32_t(-1);
    attributes.minreq = uint32_t(-1);
    attributes.fragsize = uint32_t(pa_usec_to_bytes(fragmentUs, &sampleSpec));
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE |
                                         PA_STREAM_INTERPOLATE_TIMING);
    if (pa_stream_connect_record(source.stream, source.name.constData(), &attributes, flags) < 0)
        source.state = PA_STREAM_FAILED;
}

void PulseAudioCapture::deliver(SourceStream &source)
{
    while (pa_stream_readable_size(source.stream) > 0) {
        const void *data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(source.stream, &data, &bytes) < 0 || bytes == 0)
            return;
        const int frames = int(bytes / frameBytes);
        // The read index is the chunk's first frame; the latency says how long ago it was heard.
        pa_usec_t latency = 0;
        int negative = 0;
        qint64 firstFrameUs = steadyNowUs();
        if (pa_stream_get_latency(source.stream, &latency, &negative) == 0)
            firstFrameUs -= negative ? 0 : qint64(latency);
        else
            firstFrameUs -= qint64(frames) * 1'000'000 / audioSampleRate;
        // No data with a size is a hole in the stream: silence.
        toMixer([&] {
            m_mixer->push(source.index, static_cast<const float *>(data), frames, firstFrameUs);
        });
        pa_stream_drop(source.stream);
    }
}

void PulseAudioCapture::sourceEnded(SourceStream &source)
{
    if (source.ended)
        return;
    source.ended = true;
    toMixer([&] { m_mixer->endSource(source.index); });
}

template <typename Call> void PulseAudioCapture::toMixer(Call call)
{
    // The mixer runs the sink; what it throws must not unwind through the server's thread.
    try {
        call();
    } catch (const std::exception &failure) {
        if (!m_sinkFailed)
            qCWarning(Log::capture, "Recorded sound was not taken: %s", failure.what());
        m_sinkFailed = true;
    } catch (...) {
        if (!m_sinkFailed)
            qCWarning(Log::capture, "Recorded sound was not taken");
        m_sinkFailed = true;
    }
}

void PulseAudioCapture::stop()
{
    if (!m_mainloop)
        return;
    pa_threaded_mainloop_lock(m_mainloop);
    if (m_running) {
        // What the server has handed over, and what the mix still holds back for a slower
        // source, goes out on the capture's thread before the sink is let go.
        m_flushed = false;
        pa_mainloop_api_once(pa_threaded_mainloop_get_api(m_mainloop),
                             &PulseAudioCapture::flushOnLoop, this);
        while (!m_flushed)
            pa_threaded_mainloop_wait(m_mainloop);
    }
    // From here on no callback reaches the sink.
    m_running = false;
    for (SourceStream &source : m_sources) {
        if (!source.stream)
            continue;
        pa_stream_set_read_callback(source.stream, nullptr, nullptr);
        pa_stream_set_state_callback(source.stream, nullptr, nullptr);
        pa_stream_disconnect(source.stream);
        pa_stream_unref(source.stream);
        source.stream = nullptr;
    }
    dropDeadline();
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    pa_threaded_mainloop_unlock(m_mainloop);
    pa_threaded_mainloop_stop(m_mainloop);
    pa_threaded_mainloop_free(m_mainloop);
    m_mainloop = nullptr;
}

void PulseAudioCapture::contextStateChanged(pa_context *context, void *self)
{
    auto *capture = static_cast<PulseAudioCapture *>(self);
    if (capture->m_running && !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        qCWarning(Log::capture, "The audio server went away: %s",
                  qPrintable(contextError(context)));
    pa_threaded_mainloop_signal(capture->m_mainloop, 0);
}

void PulseAudioCapture::streamStateChanged(pa_stream *stream, void *data)
{
    auto &source = *static_cast<SourceStream *>(data);
    PulseAudioCapture *capture = source.owner;
    source.state = pa_stream_get_state(stream);
    if (capture->m_running && !PA_STREAM_IS_GOOD(source.state) && !source.ended) {
        qCWarning(Log::capture, "Recording of the %s ended: %s", qPrintable(source.label),
                  qPrintable(contextError(capture->m_context)));
        capture->sourceEnded(source);
    }
    pa_threaded_mainloop_signal(capture->m_mainloop, 0);
}

void PulseAudioCapture::streamReadable(pa_stream *, size_t, void *data)
{
    auto &source = *static_cast<SourceStream *>(data);
    source.owner->deliver(source);
}

void PulseAudioCapture::flushOnLoop(pa_mainloop_api *, void *self)
{
    auto *capture = static_cast<PulseAudioCapture *>(self);
    for (int i = 0; i < capture->m_sourceCount; ++i) {
        SourceStream &source = capture->m_sources[i];
        if (source.stream && pa_stream_get_state(source.stream) == PA_STREAM_READY)
            capture->deliver(source);
    }
    capture->toMixer([capture] { capture->m_mixer->flush(); });
    capture->m_flushed = true;
    pa_threaded_mainloop_signal(capture->m_mainloop, 0);
}

void PulseAudioCapture::endSourceOnLoop(pa_mainloop_api *, void *data)
{
    auto &source = *static_cast<SourceStream *>(data);
    source.owner->sourceEnded(source);
}

void PulseAudioCapture::answerTimedOut(pa_mainloop_api *api, pa_time_event *event,
                                       const struct timeval *, void *self)
{
    auto *capture = static_cast<PulseAudioCapture *>(self);
    capture->m_timedOut = true;
    api->time_free(event);
    capture->m_deadline = nullptr;
    pa_threaded_mainloop_signal(capture->m_mainloop, 0);
}

} // namespace

PulseAudioInputs::PulseAudioInputs(int answerTimeoutMs) : m_answerTimeoutMs(answerTimeoutMs) {}

std::unique_ptr<AudioCapture> PulseAudioInputs::start(bool systemSound, bool microphone, Sink sink,
                                                      QString *error)
{
    if (!systemSound && !microphone) {
        if (error)
            *error = QStringLiteral("No sound source was asked for");
        return nullptr;
    }
    auto capture = std::make_unique<PulseAudioCapture>(std::move(sink));
    if (!capture->open(systemSound, microphone, m_answerTimeoutMs, error))
        return nullptr;
    return capture;
}

} // namespace platform
