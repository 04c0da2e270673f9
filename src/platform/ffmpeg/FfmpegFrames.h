#pragma once

#include "platform/ffmpeg/FfmpegSupport.h"

extern "C" {
#include <libavfilter/avfilter.h>
}

#include <QString>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

// Decoding a movie's frames and running them through libavfilter, for work on whole movies
// (GIFs). Failures are Failure exceptions, turned into their reason by attempt().
namespace platform::ffmpeg {

// Thrown inside work on a movie, carrying the reason for the caller.
struct Failure {
    QString reason;
};

// Throws a Failure "<what>: <FFmpeg's text>" for a negative result.
void check(int result, const char *what);

// Runs `work`; the reason it failed for, if it did. Out of memory or threads is a failure too,
// so that nothing thrown leaves a thread.
template <typename Work> std::optional<QString> attempt(Work &&work)
{
    try {
        work();
        return std::nullopt;
    } catch (const Failure &failure) {
        return failure.reason;
    } catch (const std::exception &exception) {
        return QString::fromLocal8Bit(exception.what());
    }
}

// The movie's video frames in order, decoded on all cores, each with its presentation time in
// `pts` (in the stream's time base).
class MovieFrames {
public:
    explicit MovieFrames(const QString &path);

    const AVStream *stream() const { return m_input->streams[m_streamIndex]; }
    // The next frame, or nothing at the end of the movie.
    FramePtr next();

private:
    void readPacket();

    InputPtr m_input;
    int m_streamIndex = -1;
    CodecContextPtr m_decoder;
    PacketPtr m_packet{av_packet_alloc()};
};

// Converts decoded frames to BGRA, the pixels palettegen and paletteuse work on.
class ToBgra {
public:
    explicit ToBgra(int threads) : m_threads(threads) {}
    FramePtr operator()(const AVFrame *frame);

private:
    int m_threads;
    ScaleContextPtr m_converter;
};

// A filter graph of buffer sources, filters and sinks, linked by hand.
class FilterGraph {
public:
    FilterGraph();

    // A source of frames like `like` (size and pixel format), timed in `timeBase`.
    AVFilterContext *addSource(const char *name, const AVFrame *like, AVRational timeBase);
    AVFilterContext *add(const char *filter, const char *name, const char *arguments);
    void link(AVFilterContext *from, AVFilterContext *to, unsigned input = 0);
    void configure();

    // Every frame the sink holds now; at the end of the stream, every frame there is.
    static std::vector<FramePtr> drain(AVFilterContext *sink);

private:
    struct GraphDeleter {
        void operator()(AVFilterGraph *graph) const { avfilter_graph_free(&graph); }
    };
    std::unique_ptr<AVFilterGraph, GraphDeleter> m_graph;
};

} // namespace platform::ffmpeg
