#include "app/DesktopPlatform.h"
#include "platform/AudioInput.h"
#include "platform/pulse/PulseAudioInputs.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <mutex>
#include <numbers>
#include <thread>
#include <vector>

// Sound from the harness's PulseAudio server: the "tone" source (440 Hz) is the microphone and
// whatever plays into the null sink is the system sound.
namespace {

using platform::audioChannels;
using platform::audioSampleRate;

// Everything a capture delivered, taken from its thread.
struct Recorded {
    std::mutex mutex;
    std::vector<float> samples;
    std::vector<qint64> times;
    int lastFrames = 0;
    bool wrongThread = false;
    std::thread::id testThread = std::this_thread::get_id();

    platform::AudioInputs::Sink sink()
    {
        return [this](const float *data, int frames, qint64 timeUs) {
            std::lock_guard lock(mutex);
            wrongThread |= std::this_thread::get_id() == testThread;
            samples.insert(samples.end(), data, data + frames * audioChannels);
            times.push_back(timeUs);
            lastFrames = frames;
        };
    }
    int frames()
    {
        std::lock_guard lock(mutex);
        return int(samples.size() / audioChannels);
    }
    // Mono power at a frequency (Goertzel) of `count` frames from `first`, per frame.
    double powerAt(double frequency, size_t first, size_t count)
    {
        std::lock_guard lock(mutex);
        const size_t end = std::min(first + count, samples.size() / audioChannels);
        const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / audioSampleRate);
        double previous = 0, beforePrevious = 0;
        for (size_t frame = first; frame < end; ++frame) {
            const double mono = (samples[frame * 2] + samples[frame * 2 + 1]) / 2.0;
            const double current = mono + coefficient * previous - beforePrevious;
            beforePrevious = previous;
            previous = current;
        }
        const double power = previous * previous + beforePrevious * beforePrevious -
                             coefficient * previous * beforePrevious;
        return power / double(std::max<size_t>(end - std::min(first, end), 1));
    }
    // The same, of the last `count` frames.
    double powerAt(double frequency, int count)
    {
        const size_t total = size_t(frames());
        return powerAt(frequency, total - std::min(total, size_t(count)), size_t(count));
    }
    // Whether some tenth of a second carries both frequencies well above a third one.
    bool heardTogether(double one, double other)
    {
        const size_t window = audioSampleRate / 10;
        for (size_t first = 0; first + window <= size_t(frames()); first += window) {
            const double neither = powerAt(1500, first, window);
            if (powerAt(one, first, window) > 100 * neither &&
                powerAt(other, first, window) > 100 * neither)
                return true;
        }
        return false;
    }
    float peak()
    {
        std::lock_guard lock(mutex);
        float peak = 0;
        for (const float sample : samples)
            peak = std::max(peak, std::abs(sample));
        return peak;
    }
};

bool runPactl(const QStringList &arguments)
{
    QProcess pactl;
    pactl.start("pactl", arguments);
    return pactl.waitForFinished(10000) && pactl.exitStatus() == QProcess::NormalExit &&
           pactl.exitCode() == 0;
}

void waitFrames(Recorded &recorded, int frames)
{
    for (int i = 0; i < 300 && recorded.frames() < frames; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

constexpr int halfSecond = audioSampleRate / 2;

// Points the sound clients of this process at another server for as long as it lives.
class PulseServerOverride {
public:
    explicit PulseServerOverride(const QByteArray &server)
        : m_previous(qgetenv("PULSE_SERVER")),
          m_hadPrevious(qEnvironmentVariableIsSet("PULSE_SERVER"))
    {
        qputenv("PULSE_SERVER", server);
    }
    ~PulseServerOverride()
    {
        if (m_hadPrevious)
            qputenv("PULSE_SERVER", m_previous);
        else
            qunsetenv("PULSE_SERVER");
    }

private:
    QByteArray m_previous;
    bool m_hadPrevious;
};

} // namespace

class PulseAudioInputsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet("CORVANTA_HARNESS"))
            GTEST_SKIP() << "needs the desktop harness";
        if (!QFileInfo::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + "/pulse/native"))
            GTEST_SKIP() << "needs the harness's sound server (--pulse)";
        m_inputs = desktop::makeAudioInputs();
    }

    void TearDown() override
    {
        if (m_player.state() != QProcess::NotRunning) {
            m_player.kill();
            m_player.waitForFinished(5000);
        }
    }

    // Plays a sine into the null sink for a few seconds, so that the system sound carries it.
    void playIntoSink(double frequency, float amplitude)
    {
        std::vector<float> samples;
        for (int frame = 0; frame < 10 * audioSampleRate; ++frame) {
            const float value =
                amplitude *
                float(std::sin(2 * std::numbers::pi * frequency * frame / audioSampleRate));
            samples.push_back(value);
            samples.push_back(value);
        }
        QFile file(m_folder.filePath("tone.raw"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char *>(samples.data()),
                   qint64(samples.size() * sizeof(float)));
        file.close();
        m_player.start("pacat",
                       {"--playback", "--raw", "--latency-msec=20", "--device=nullsink",
                        "--format=float32le", "--rate=44100", "--channels=2", file.fileName()});
        ASSERT_TRUE(m_player.waitForStarted(5000));
        // Past the player's start-up, so that the sink already plays the tone.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }

    std::shared_ptr<platform::AudioInputs> m_inputs;
    QTemporaryDir m_folder;
    QProcess m_player;
};

TEST_F(PulseAudioInputsTest, MicrophoneRecordsTheToneOnItsOwnThreadWithCurrentTimes)
{
    Recorded recorded;
    QString error;
    const qint64 before = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
    auto capture = m_inputs->start(false, true, recorded.sink(), &error);
    ASSERT_TRUE(capture) << error.toStdString();
    waitFrames(recorded, halfSecond);

    QElapsedTimer stopping;
    stopping.start();
    capture->stop();
    EXPECT_LT(stopping.elapsed(), 1000) << "stop must not hang";
    const int frames = recorded.frames();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(recorded.frames(), frames) << "nothing arrives after stop";

    ASSERT_GE(frames, halfSecond);
    EXPECT_FALSE(recorded.wrongThread);
    EXPECT_GT(recorded.powerAt(440, halfSecond), 100 * recorded.powerAt(1000, halfSecond));
    EXPECT_GT(recorded.peak(), 0.05f);
    // Stamped on the steady clock, near when recording began (the tone source hands over its
    // first two seconds at once, stamped as heard back then), and times only go forward.
    EXPECT_LT(std::abs(recorded.times.front() - before), 3'000'000);
    for (size_t i = 1; i < recorded.times.size(); ++i)
        EXPECT_GT(recorded.times[i], recorded.times[i - 1]);
}

TEST_F(PulseAudioInputsTest, SystemSoundRecordsWhatPlaysAndMixesWithTheMicrophone)
{
    playIntoSink(880, 0.4f);
    {
        Recorded recorded;
        QString error;
        auto capture = m_inputs->start(true, false, recorded.sink(), &error);
        ASSERT_TRUE(capture) << error.toStdString();
        waitFrames(recorded, halfSecond);
        capture.reset();
        EXPECT_GT(recorded.powerAt(880, halfSecond), 100 * recorded.powerAt(440, halfSecond));
    }

    Recorded both;
    QString error;
    auto capture = m_inputs->start(true, true, both.sink(), &error);
    ASSERT_TRUE(capture) << error.toStdString();
    // The tone source hands over two seconds at a time, so only part of the recording has
    // both sources.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    capture->stop();
    // One stream: as many frames as the time it spans, not twice as many.
    ASSERT_FALSE(both.times.empty());
    const double spanFrames =
        double(both.times.back() - both.times.front()) * audioSampleRate / 1e6 + both.lastFrames;
    EXPECT_LE(both.frames(), spanFrames * 1.01);
    EXPECT_GT(both.frames(), halfSecond);
    EXPECT_TRUE(both.heardTogether(440, 880));
}

TEST_F(PulseAudioInputsTest, MonitorAsDefaultInputIsRecordedOnce)
{
    ASSERT_TRUE(runPactl({"set-default-source", "nullsink.monitor"}));
    playIntoSink(660, 0.5f);
    Recorded recorded;
    QString error;
    auto capture = m_inputs->start(true, true, recorded.sink(), &error);
    const bool started = bool(capture);
    if (capture) {
        waitFrames(recorded, halfSecond);
        capture->stop();
    }
    EXPECT_TRUE(runPactl({"set-default-source", "tone"}));
    ASSERT_TRUE(started) << error.toStdString();
    EXPECT_GT(recorded.peak(), 0.3f);
    EXPECT_LT(recorded.peak(), 0.75f) << "the same sound recorded twice over";
}

TEST_F(PulseAudioInputsTest, MissingOrSilentServerFailsWithAReason)
{
    // The silent one takes connections (the system queues them) and never says a word.
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(m_folder.filePath("silent")));
    platform::PulseAudioInputs inputs(300);
    auto startWith = [&](const QString &socket) {
        PulseServerOverride server("unix:" + socket.toUtf8());
        Recorded recorded;
        QString error;
        EXPECT_FALSE(inputs.start(true, true, recorded.sink(), &error));
        EXPECT_EQ(recorded.frames(), 0);
        return error;
    };
    EXPECT_EQ(startWith(m_folder.filePath("no-such-socket")),
              "Cannot connect to the audio server: Connection refused");
    EXPECT_EQ(startWith(silent.fullServerName()), "The audio server did not answer");
}
