#pragma once

// What the compositor needs from a frame renderer: the canvas size and one
// call that turns decoded source frames into an output frame. The adapter
// over the render module's FrameRenderer implements it for the program;
// tests implement it with fakes.

#include "media/VideoFrame.h"
#include "model/Geometry.h"

struct AVFrame;

namespace vorpix::media {

class CompositionRenderer {
public:
    virtual ~CompositionRenderer() = default;

    // The canvas in pixels, possibly fractional.
    virtual Size canvasSize() const = 0;
    // Output frames: the canvas truncated to whole pixels.
    int outputWidth() const { return static_cast<int>(canvasSize().width); }
    int outputHeight() const { return static_cast<int>(canvasSize().height); }

    // Whether render() also fills AV_PIX_FMT_YUV420P frames (BT.709, limited
    // range), converting while it composes; otherwise only RGBA.
    virtual bool rendersYuv420() const { return false; }

    // Composes the frame at output time `seconds` into `output`, a writable
    // frame of outputWidth() × outputHeight() in AV_PIX_FMT_RGBA (or
    // AV_PIX_FMT_YUV420P when rendersYuv420()). `screen` and `webcam` (which
    // may be null) are in AV_PIX_FMT_BGRA or AV_PIX_FMT_RGBA. Const and safe
    // to call from several threads at once.
    virtual void render(const VideoFrame& screen, const VideoFrame* webcam, double seconds,
                        AVFrame& output) const = 0;
};

}  // namespace vorpix::media
