#include "media/FrameSource.h"

#include <algorithm>

#include "media/MediaCodes.h"
#include "media/StudioCompositor.h"

namespace vorpix::media {

namespace {

VideoFramePtr frameOf(const SourceFrames& frames, TrackId id) {
    for (const auto& [track, frame] : frames) {
        if (track == id) return frame;
    }
    return nullptr;
}

Error compositorError() {
    return makeError(domain::kTavorin, kCompositorErrorCode, kCompositorErrorMessage);
}

}  // namespace

Result<void> composeFrame(const StudioCompositionInstruction& instruction, MediaTime t,
                          const SourceFrames& frames, AVFrame& output) {
    const VideoFramePtr screen = frameOf(frames, instruction.screenTrackID);
    if (!instruction.renderer || !screen) return compositorError();
    VideoFramePtr webcam;
    if (instruction.webcamTrackID) webcam = frameOf(frames, *instruction.webcamTrackID);
    instruction.renderer->render(*screen, webcam.get(), t.seconds(), output);
    return {};
}

FrameSource::FrameSource(StudioComposition composition, DecodeThreads threads)
    : composition_(std::move(composition)),
      provider_(composition_, StudioCompositor::kSourcePixelFormat, threads) {}

FrameSource::~FrameSource() = default;

int FrameSource::width() const {
    return composition_.videoComposition.instruction->renderer->outputWidth();
}

int FrameSource::height() const {
    return composition_.videoComposition.instruction->renderer->outputHeight();
}

MediaTime FrameSource::lastFrameTime() const {
    // Frames at k / fps for every k with k / fps < duration.
    const std::int64_t frames =
        (duration().ticks * fps() + MediaTime::kTicksPerSecond - 1) / MediaTime::kTicksPerSecond;
    return frameTime(std::max<std::int64_t>(frames - 1, 0));
}

Result<SourceFrames> FrameSource::decodeAt(MediaTime t) {
    return provider_.framesAt(t);
}

Result<FramePtr> FrameSource::frameAt(MediaTime t, AVPixelFormat format) {
    const CompositionRenderer& renderer = *composition_.videoComposition.instruction->renderer;
    if (format != AV_PIX_FMT_RGBA && !(format == AV_PIX_FMT_YUV420P && renderer.rendersYuv420()))
        return compositorError();
    t = std::clamp(t, kZeroTime, lastFrameTime());
    auto frames = decodeAt(t);
    if (!frames) return frames.error();
    auto output = pool_.get(format, width(), height());
    if (!output) return output.error();
    if (auto ok = composeFrame(*composition_.videoComposition.instruction, t, *frames, **output); !ok)
        return ok.error();
    return std::move(*output);
}

}  // namespace vorpix::media
