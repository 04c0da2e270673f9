#pragma once

#include "platform/MovieWriter.h"

namespace platform {

// H.264 (libx264, High profile, yuv420p, average bit rate of 4 bits per pixel a second) with
// optional AAC sound, in fragmented MPEG-4 or QuickTime files so that a movie whose writer dies
// still plays up to about its last second. Colours are converted on the caller's thread,
// frames are encoded on the writer's own thread.
class FfmpegMovieWriters final : public MovieWriters {
public:
    // The encoder's speed and the colour conversion's threads follow the cores this program
    // may run on.
    explicit FfmpegMovieWriters(unsigned cores = usableCores());

    std::unique_ptr<MovieWriter> create(const MovieSettings &settings,
                                        QString *error = nullptr) override;

    // The x264 preset that keeps up with 1080p at 60 frames a second on this many cores:
    // veryfast from four cores (it encodes a desktop at about 140 frames a second on four),
    // ultrafast below (veryfast manages about 30 on two, with nothing to spare for reading the
    // screen).
    static const char *presetFor(unsigned cores);
    // The cores of the CPU affinity mask (taskset, container limits), else of the machine.
    static unsigned usableCores();

private:
    unsigned m_cores;
};

} // namespace platform
