#include "platform/ffmpeg/SoundOutput.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QIODevice>
#include <algorithm>

namespace platform::ffmpeg {

namespace {

// What the output holds: enough to ride out a busy moment, little enough that a pause, a move
// or muting is heard within it.
constexpr qint64 bufferUs = 150'000;

class QtSoundOutput final : public SoundOutput {
public:
    QtSoundOutput(const QAudioDevice &device, const QAudioFormat &format)
        : m_format(format), m_sink(device, format)
    {
    }
    ~QtSoundOutput() override { stop(); }

    void start() override
    {
        stop();
        m_written = 0;
        // Asked for at each start: Qt's PulseAudio output asks again for the size it was given
        // last, which the server cuts each time, so that from 95 ms it held under 4 ms after a
        // dozen starts and the sound, starved, played ever slower.
        m_sink.setBufferSize(m_format.bytesForDuration(bufferUs));
        m_device = m_sink.start();
    }
    bool isWorking() const override
    {
        const QAudio::Error error = m_sink.error();
        return m_device && error != QAudio::OpenError && error != QAudio::IOError &&
               error != QAudio::FatalError;
    }
    void stop() override
    {
        if (m_device)
            m_sink.stop();
        m_device = nullptr;
    }
    void suspend() override
    {
        if (m_device)
            m_sink.suspend();
    }
    void resume() override
    {
        if (m_device && m_sink.state() == QAudio::SuspendedState)
            m_sink.resume();
    }
    qint64 write(const char *data, qint64 size) override
    {
        const qint64 taken = m_device ? std::max<qint64>(m_device->write(data, size), 0) : 0;
        m_written += taken;
        return taken;
    }
    qint64 bytesFree() const override { return m_device ? m_sink.bytesFree() : 0; }
    qint64 heard() const override
    {
        if (!m_device)
            return 0;
        // What was written, less what the sink still holds: what the sound server has taken
        // and plays. Qt's own processed count goes on by the wall clock across a pause and
        // starts again from a guess after a move, and pictures kept to it fell behind there.
        const qint64 held = std::max<qint64>(m_sink.bufferSize() - m_sink.bytesFree(), 0);
        return std::max<qint64>(m_written - held, 0) / m_format.bytesPerFrame() * 1'000'000 /
               m_format.sampleRate();
    }
    void setVolume(double volume) override { m_sink.setVolume(volume); }

private:
    QAudioFormat m_format;
    QAudioSink m_sink;
    QIODevice *m_device = nullptr;
    qint64 m_written = 0;
};

} // namespace

SoundOutputs qtSoundOutputs(const QAudioDevice &device)
{
    if (device.isNull())
        return {};
    QAudioFormat format;
    format.setSampleRate(std::clamp(device.preferredFormat().sampleRate(), 8000, 192000));
    format.setChannelCount(std::clamp(device.maximumChannelCount(), 1, 2));
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format))
        return {};
    return {SoundShape{format.sampleRate(), format.channelCount()},
            [device, format] { return std::make_unique<QtSoundOutput>(device, format); }};
}

} // namespace platform::ffmpeg
