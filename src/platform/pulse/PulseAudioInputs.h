#pragma once

#include "platform/AudioInput.h"

namespace platform {

// Records the default output's monitor (system sound) and the default input (microphone) from
// the PulseAudio server (or PipeWire's PulseAudio service), mixed into one stream.
class PulseAudioInputs final : public AudioInputs {
public:
    // How long start() waits for the server before it gives up.
    explicit PulseAudioInputs(int answerTimeoutMs = 3000);

    std::unique_ptr<AudioCapture> start(bool systemSound, bool microphone, Sink sink,
                                        QString *error = nullptr) override;

private:
    int m_answerTimeoutMs;
};

} // namespace platform
