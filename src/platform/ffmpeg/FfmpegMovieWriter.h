#pragma once

#include "platform/MovieWriter.h"

#include <cstddef>

namespace platform {

// What x264 may hold in flight, bounded by the picture size.
struct X264Limits {
    // One picture encoded by all threads at once, instead of one picture a thread.
    bool slicedThreads = false;
    // Pictures the rate control looks ahead, and B-frames; the preset's own when not sliced.
    int lookahead = 0;
    int bFrames = 0;
    // Frame threads, when fewer than one a core fit; 0 for one a core.
    int frameThreads = 0;
};

// H.264 (libx264, High profile, yuv420p, average bit rate of 4 bits per pixel a second and at
// least 100 kbit/s) with optional AAC sound, in fragmented MPEG-4 or QuickTime files so that a
// movie whose writer dies still plays up to about its last second. Colours are converted on the
// caller's thread, frames are encoded on the writer's own thread.
class FfmpegMovieWriters final : public MovieWriters {
public:
    // The encoder's speed and the colour conversion's threads follow the cores this program
    // may run on and the pixels a second of each movie.
    explicit FfmpegMovieWriters(unsigned cores = usableCores());

    std::unique_ptr<MovieWriter> create(const MovieSettings &settings,
                                        QString *error = nullptr) override;

    // The x264 preset that keeps up with `frameRate` pictures of the size a second on this many
    // cores. veryfast from four cores, while the pixels a second are at most those of 1080p at
    // 60 fps for every four cores (it encodes a desktop at about 140 frames a second on four),
    // and half that where its pictures need sliced threads (on eight cores at 3840×2160 it kept
    // about 32 frames a second); ultrafast otherwise (veryfast manages about 30 at 1080p on two,
    // with nothing to spare for reading the screen).
    static const char *presetFor(QSize frameSize, int frameRate, unsigned cores);
    // Every picture x264 holds costs about four pictures of memory (padding, half-pel planes,
    // the look-ahead's quarter-size copies), and with frame threads it holds one a core besides
    // its look-ahead and B-frames: over a gigabyte at 4K. Pictures whose frames in flight would
    // pass x264Budget are encoded with sliced threads and a look-ahead cut to fit; without a
    // look-ahead (ultrafast), with as many frame threads as fit beside two pictures, when that
    // is two or more (at 3840×2160 and 60 fps on a busy eight-core machine, three frame threads
    // dropped 0 to 40 frames of 600 where eight sliced threads dropped 80 to 190).
    static X264Limits limitsFor(QSize frameSize, const char *preset, unsigned cores);
    // Threads of the colour conversion, which the frame thread waits for before it reads the
    // next frame: half the cores, at most four, up to the pixels a second of 1080p at 60 fps;
    // above, every core up to eight (at 3840×2160 and 60 fps on a busy eight-core machine,
    // eight let the frame source deliver a third to three quarters more frames than four).
    static int conversionThreads(QSize frameSize, int frameRate, unsigned cores);
    static constexpr size_t x264Budget = size_t(256) << 20;
    // The cores of the CPU affinity mask (taskset, container limits), else of the machine.
    static unsigned usableCores();

private:
    unsigned m_cores;
};

} // namespace platform
