#pragma once

#include "platform/FrameSource.h"

namespace platform {

// Where there is no X11 display to read from.
class UnavailableFrameSources final : public FrameSources {
public:
    std::unique_ptr<FrameStream> start(const FrameSourceRequest &, FrameSink, EndSink,
                                       QString *error) override
    {
        if (error)
            *error = QStringLiteral("Screen recording needs an X11 display");
        return nullptr;
    }
};

} // namespace platform
