#include "platform/AudioInput.h"

#include "platform/pulse/PulseAudioInputs.h"

namespace platform {

std::shared_ptr<AudioInputs> makeAudioInputs()
{
    return std::make_shared<PulseAudioInputs>();
}

} // namespace platform
