#include "platform/RecordingPlatform.h"

#include "platform/ffmpeg/FfmpegGifConverter.h"
#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "platform/ffmpeg/FfmpegPosterFrames.h"
#include "platform/x11/X11FrameSource.h"

#include <QGuiApplication>

namespace platform {

namespace {

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

} // namespace

RecordingPlatform makeRecordingPlatform()
{
    RecordingPlatform recordingPlatform;
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        recordingPlatform.frameSources = std::make_shared<X11FrameSources>();
    else
        recordingPlatform.frameSources = std::make_shared<UnavailableFrameSources>();
    recordingPlatform.movieWriters = std::make_shared<FfmpegMovieWriters>();
    recordingPlatform.posterFrames = std::make_shared<FfmpegPosterFrames>();
    recordingPlatform.audioInputs = makeAudioInputs();
    recordingPlatform.gifConverter = std::make_shared<FfmpegGifConverter>();
    return recordingPlatform;
}

} // namespace platform
