#pragma once

// The compositor: renders the frames of a composition through the
// instruction's renderer on one serial thread, "tavorin.compositor" (which
// Linux shows cut to 15 characters). Callers
// (the export pipeline, the preview player) hand it frame requests that carry
// the composition time and the decoded source frames by track id; it
// completes each, in order, with a composed frame, an error (code 1) or as
// cancelled. A cancel call finishes every request queued before it as
// cancelled and serves the ones after its queued reset normally.
//
// Thread safety: every public member may be called from any thread.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "media/CompositionBuilder.h"
#include "media/FFmpeg.h"
#include "media/MediaCodes.h"
#include "media/VideoFrame.h"
#include "model/Result.h"

namespace vorpix::media {

// Output size and pixel format, and where output buffers come from.
// Immutable; shared between the caller and the render thread.
class RenderContext {
public:
    RenderContext(int width, int height, AVPixelFormat format)
        : width_(width), height_(height), format_(format) {}
    virtual ~RenderContext() = default;

    int width() const { return width_; }
    int height() const { return height_; }
    AVPixelFormat format() const { return format_; }

    // A new writable buffer, or null when none can be made. Thread-safe.
    virtual FramePtr newPixelBuffer() const;

private:
    int width_;
    int height_;
    AVPixelFormat format_;
    mutable FramePool pool_;
};

enum class FrameOutcome { composed, failed, cancelled };

struct FrameResult {
    FrameOutcome outcome = FrameOutcome::cancelled;
    MediaTime time;              // the request's composition time
    FramePtr frame;              // composed only
    std::optional<Error> error;  // failed only
};

struct FrameRequest {
    // Null stands for an instruction the compositor does not know.
    std::shared_ptr<const StudioCompositionInstruction> instruction;
    MediaTime compositionTime;
    std::vector<std::pair<TrackId, VideoFramePtr>> sourceFrames;
    std::shared_ptr<const RenderContext> renderContext;
    // Called exactly once, on the render thread.
    std::function<void(FrameResult)> finish;

    VideoFramePtr sourceFrame(TrackId id) const;
};

class StudioCompositor {
public:
    // Source frames in this format reach the renderer without conversion;
    // output buffers are in kOutputPixelFormat.
    static constexpr AVPixelFormat kSourcePixelFormat = AV_PIX_FMT_BGRA;
    static constexpr AVPixelFormat kOutputPixelFormat = AV_PIX_FMT_RGBA;

    StudioCompositor();
    // Finishes whatever is still queued as cancelled, then stops the thread.
    ~StudioCompositor();
    StudioCompositor(const StudioCompositor&) = delete;
    StudioCompositor& operator=(const StudioCompositor&) = delete;

    // Stores the context for later requests; returns once the render thread
    // has taken it.
    void renderContextChanged(std::shared_ptr<const RenderContext> context);

    // Queues the request and returns at once.
    void startRequest(FrameRequest request);

    void cancelAllPendingVideoCompositionRequests();

    // Requests and other work not yet run.
    std::size_t queuedCount() const;

private:
    // One piece of queued work; `stopping` is true when it runs because the
    // compositor is going away.
    using Work = std::function<void(bool stopping)>;

    void enqueue(Work work);
    void loop();
    void render(FrameRequest& request);

    mutable std::mutex queueMutex_;
    std::condition_variable queueWake_;
    // guarded by queueMutex_
    std::deque<Work> queue_;
    bool stopping_ = false;

    std::mutex cancelMutex_;
    // guarded by cancelMutex_
    bool shouldCancelAll_ = false;

    // Render thread only.
    std::shared_ptr<const RenderContext> renderContext_;

    std::thread thread_;
};

}  // namespace vorpix::media
