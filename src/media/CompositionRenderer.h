#pragma once

// What the compositor needs from a frame renderer: the canvas size and one
// call that turns decoded source frames into an output frame. The adapter
// over the render module's FrameRenderer implements it for the program;
// tests implement it with fakes.

#include <memory>

#include "media/VideoFrame.h"
#include "model/Geometry.h"

struct AVFrame;

namespace vorpix::media {

// Working memory of one rendering thread (conversion contexts, intermediate
// images). Made by the renderer, owned and reused by the calling thread.
class RenderScratch {
public:
    virtual ~RenderScratch() = default;
};

class CompositionRenderer {
public:
    virtual ~CompositionRenderer() = default;

    // Output frame size in pixels; fractional sizes are truncated by callers.
    virtual Size canvasSize() const = 0;

    virtual std::unique_ptr<RenderScratch> makeScratch() const = 0;

    // Composes the frame at output time `seconds` into `output`: a writable
    // frame of the truncated canvas size (rounded down to even numbers for
    // YUV 4:2:0) in AV_PIX_FMT_YUV420P or AV_PIX_FMT_RGBA. `webcam` may be
    // null. Const and safe to call from several threads, each with its own
    // scratch.
    virtual void render(const VideoFrame& screen, const VideoFrame* webcam, double seconds, AVFrame& output,
                        RenderScratch& scratch) const = 0;
};

}  // namespace vorpix::media
