#pragma once

// The pictures of an edit, by composition (output) time: the one path from
// a recording's edit to its frames, shared by the export, `vorpix
// render-frame` and the editor's preview player.
//
// What goes in is the edit's composition, built by the one function that
// knows the edit: media::exportSources (files, slices and speeds, webcam,
// the zoom list in use, the renderer with its canvas) through
// CompositionBuilder::build, or editor::buildComposition, which calls them
// with what the editor holds. A frame is then made in two halves:
//
//   decodeAt(t)    the source frame each video track shows at t (the
//                  composition's segments map t to each file's stream time;
//                  SourceFrameProvider decodes and converts to BGRA)
//   compose(...)   the composition's renderer (FrameRendererAdapter in the
//                  program) draws those frames at t into an output buffer
//
// The export runs decodeAt on its decode thread and compose (through the
// StudioCompositor) on its render thread; frameAt does both on the caller's
// thread. Identical inputs give identical pixels on every path.
//
// For a preview player:
//   - Size: the renderer draws its canvas; build the sources with the
//     canvas fitted into the view (editor::previewSources) for a frame at
//     the view's size (the renderer resamples the screen once; nothing is
//     scaled afterwards).
//   - Decode ahead: call decodeAt on one thread of its own for the next
//     frame times (frameTime(k)); hand the results to a render thread. The
//     returned frames are shared, immutable and stay valid while held.
//   - Exact seek: decodeAt(t) for any t, earlier or later than the last,
//     returns the frame on screen at t (it seeks back, or ahead past a key
//     frame, as needed); sequential times decode onward without seeking.
//   - Frame at t: frameAt(t), or compose on the render thread.
//   - Cancelling: nothing here blocks for long (one frame's decode); a
//     player drops results it no longer wants.
//
// Thread safety: decodeAt and frameAt on one thread at a time (they share
// the decoders); compose and the accessors from any thread.

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "media/CompositionBuilder.h"
#include "media/FFmpeg.h"
#include "media/SourceFrameProvider.h"
#include "media/VideoReader.h"
#include "model/Result.h"

namespace vorpix::media {

// Decoded source frames by track id.
using SourceFrames = std::vector<std::pair<TrackId, VideoFramePtr>>;

// Draws the frame at composition time `t` from `frames` into `output` (a
// writable buffer of the renderer's output size, in AV_PIX_FMT_RGBA or, when
// the renderer renders 4:2:0, AV_PIX_FMT_YUV420P; a renderer leaves other
// buffers as they are). Fails with kCompositorErrorCode when there is no
// renderer or no screen frame. What the compositor runs for every request.
Result<void> composeFrame(const StudioCompositionInstruction& instruction, MediaTime t,
                          const SourceFrames& frames, AVFrame& output);

class FrameSource {
public:
    // The composition must have an instruction with a renderer (as every
    // CompositionBuilder result has). Opens no file yet: each track's
    // reader opens on first use.
    explicit FrameSource(StudioComposition composition, DecodeThreads threads = DecodeThreads::automatic);
    ~FrameSource();
    FrameSource(const FrameSource&) = delete;
    FrameSource& operator=(const FrameSource&) = delete;

    const StudioComposition& composition() const { return composition_; }
    // The renderer's output size (export encodes its even-sized top-left).
    int width() const;
    int height() const;
    MediaTime duration() const { return composition_.duration(); }
    int fps() const { return composition_.videoComposition.fps; }
    // Composition time of frame `index` (index / fps).
    MediaTime frameTime(std::int64_t index) const { return composition_.videoComposition.frameTime(index); }
    // Times from duration() on show the last frame: the latest time a frame
    // is drawn at.
    MediaTime lastFrameTime() const;

    // The source frames at `t` (BGRA). Fails with the media layer's error
    // (domain "ffmpeg") when a file cannot be read or decoded.
    Result<SourceFrames> decodeAt(MediaTime t);

    // The picture at `t` in a new buffer of `format` (AV_PIX_FMT_RGBA, or
    // AV_PIX_FMT_YUV420P when the renderer renders 4:2:0; other formats fail
    // with kCompositorErrorCode), t clamped to 0 ... lastFrameTime().
    Result<FramePtr> frameAt(MediaTime t, AVPixelFormat format = AV_PIX_FMT_RGBA);

private:
    StudioComposition composition_;
    SourceFrameProvider provider_;
    FramePool pool_;
};

}  // namespace vorpix::media
