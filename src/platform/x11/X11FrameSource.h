#pragma once

#include "platform/FrameSource.h"

namespace platform {

// Frames read from the X server on a thread of their own, over a connection of their own: at
// each tick of the frame rate (ticks that come too late are skipped, never caught up) the
// rectangle or the window's current frame is read from the root with MIT-SHM (GetImage where
// shared memory is not available) and the pointer drawn in through XFixes. A window that is
// destroyed or withdrawn ends the stream; a minimised one pauses it.
class X11FrameSources final : public FrameSources {
public:
    std::unique_ptr<FrameStream> start(const FrameSourceRequest &request, FrameSink frames,
                                       EndSink ended, QString *error = nullptr) override;
};

} // namespace platform
