#pragma once

// FrameRenderer turns one raw screen frame (and optionally one webcam frame)
// into one finished output frame: the screen on the styled background with
// padding, rounded corners and a drop shadow, ripples at clicks, the enlarged
// smoothed cursor, the camera zoom over all of that, and the webcam
// picture-in-picture on top.
//
// Everything that does not change between frames (background gradient with
// the screen's shadow, PiP border, PiP shadow, cursor and ripple sprites) is
// prepared at construction. A frame is produced in one pass over the output
// rows: the backdrop sampled through the camera, the screen resampled once
// from the source straight into the output (separable filtering, per-pixel
// mask work only along the edges and rounded corners), then the sprites and
// the PiP.
//
// Coordinates. Canvas positions are output pixels with the origin at the
// top-left corner and y downward (the byte order of the output rows); pixel
// (x, y) covers [x, x + 1) × [y, y + 1). Pointer and click positions are
// pixels of the captured frame, y downward. Times are seconds on the output
// timeline: segments, samples and clicks given to the constructor, and the
// time of each frame.
//
// Thread safety: immutable after construction. render() and every accessor
// may run on any number of threads at once; share it as
// std::shared_ptr<const FrameRenderer>. Replace a renderer by building a new
// one.

#include <cstdint>
#include <optional>
#include <vector>

#include "camera/CameraTimeline.h"
#include "camera/CursorPath.h"
#include "model/Geometry.h"
#include "model/Project.h"
#include "model/SessionEvents.h"
#include "render/Image.h"
#include "render/Raster.h"

namespace vorpix::render {

class RowWorkers;

// output = scale × canvas point + (tx, ty); the identity when not zoomed.
struct CameraTransform {
    double scale = 1.0;
    double tx = 0.0;
    double ty = 0.0;
    bool operator==(const CameraTransform&) const = default;
};

// One click ripple of a frame: the square the 256 × 256 sprite is drawn into
// (canvas pixels, before the camera) and the factor applied to its alpha.
struct RipplePlacement {
    Rect rect;
    double alpha = 0.0;
};

// The cursor of a frame, before the camera: the rectangle the sprite is drawn
// into, the canvas point its hotspot lands on, and the sprite pixels' scale.
struct CursorPlacement {
    Rect rect;
    Point hotspot;
    double scale = 1.0;
};

// The per-frame geometry render() uses, for tests and for views that draw
// over the preview.
struct FrameLayout {
    CameraTransform camera;
    std::vector<RipplePlacement> ripples;  // in drawing order
    std::optional<CursorPlacement> cursor;
};

class FrameRenderer {
public:
    // `pixelSize`: the source frame in pixels (finite, both sides > 0).
    // Segments, samples and clicks are on the output timeline; a frame costs
    // the clicks it shows, not all of them. `hasWebcam`:
    // whether the composition has a webcam track (the PiP also needs the
    // style's webcamEnabled). `canvas`: the output size to draw at (an export
    // preset's own size); none, or not at least 1 × 1, takes
    // canvasSize(pixelSize, style.outputAspect). Costs a few canvas-sized
    // rasterisations.
    FrameRenderer(Size pixelSize, const model::StyleSettings& style,
                  const std::vector<model::ZoomSegment>& segments, std::vector<model::MouseSample> samples,
                  std::vector<model::ClickEvent> clicks, bool hasWebcam, std::optional<Size> canvas = std::nullopt);

    // Output canvas for a source of `pixelSize` at `aspect`: the source size
    // grown in one direction to the aspect's ratio, never rounded.
    static Size canvasSize(Size pixelSize, model::OutputAspect aspect);

    // The canvas in pixels (possibly fractional); output frames are
    // outputWidth() × outputHeight(), the canvas truncated toward zero.
    Size canvasSize() const { return canvas_; }
    int outputWidth() const { return outputWidth_; }
    int outputHeight() const { return outputHeight_; }

    Size pixelSize() const { return pixelSize_; }
    const model::StyleSettings& style() const { return style_; }
    const camera::CameraTimeline& camera() const { return camera_; }
    const camera::CursorPath& cursorPath() const { return cursorPath_; }
    const std::vector<model::ClickEvent>& clicks() const { return clicks_; }

    // Where the source frame lands on the canvas, and canvas pixels per
    // source pixel (at least 0.08).
    Rect screenRect() const { return screenRect_; }
    double screenScale() const { return screenScale_; }
    // The screen's corner radius in canvas pixels.
    double cornerRadius() const { return cornerRadius_; }
    bool hasShadow() const { return hasShadow_; }

    // The PiP rectangle and its corner radius; none when the webcam is not shown.
    std::optional<Rect> pipRect() const { return pipRect_; }
    double pipCornerRadius() const { return pipRadius_; }

    bool hasCursorSprite() const { return cursor_.has_value(); }
    bool hasRippleSprite() const { return ripple_.has_value(); }
    // Hotspot in sprite pixels from the sprite's top-left corner; (0, 0) without a sprite.
    Point cursorHotspot() const { return cursorHotspot_; }
    // 2 ÷ sprite pixels per point: the sprite is drawn as if it had two pixels per point.
    double cursorPixelScale() const { return cursorPixelScale_; }

    // The static layer under the screen: background gradient with the
    // screen's shadow, canvas-sized, RGBA.
    const Image& backdrop() const { return backdrop_; }

    // The camera transform for a camera state: the state's centre (fractions
    // of the source, y downward) taken to screenRect on the canvas, then held
    // so that the zoomed canvas covers the whole output; the identity at
    // scale 1.001 or less.
    static CameraTransform cameraTransform(const camera::CameraState& state, Size canvas,
                                           const Rect& screenRect);

    // The camera, ripples and cursor of the frame at time t (allocates; the
    // render path uses the same computation without allocating).
    FrameLayout layout(double t) const;

    // Renders the frame at time t into `out`, which must be
    // outputWidth() × outputHeight() in rgba8. `source` is the screen frame
    // (rgba8 or bgra8, premultiplied), stretched onto screenRect() when its
    // size differs from pixelSize(); an empty source leaves the screen
    // transparent. `webcam` may be null; a webcam frame of at most one pixel in
    // either direction is ignored. With `workers` the rows are split over its
    // threads. Allocates nothing once the calling thread and each worker have
    // rendered frames like this one (per-thread tables only grow: a ripple at
    // its largest, the most ripples at once).
    void render(const ImageView& source, const ImageView* webcam, double t, const MutableImageView& out,
                RowWorkers* workers = nullptr) const;
    // The same into an owned image, resized (allocating only when it grows).
    void render(const ImageView& source, const ImageView* webcam, double t, Image& out,
                RowWorkers* workers = nullptr) const;

    // The same frame as 8-bit YUV 4:2:0 for the encoder (BT.709, limited
    // range; chroma sited like MPEG-2 and H.264: horizontally on the even luma
    // columns, vertically between the two luma rows), without an RGBA frame in
    // memory. Planes as described by Yuv420Planes for outputWidth() ×
    // outputHeight(). Alpha is ignored (frames are opaque whenever the source is).
    void renderYuv420(const ImageView& source, const ImageView* webcam, double t, const Yuv420Planes& out,
                      RowWorkers* workers = nullptr) const;

private:
    struct FramePlan;
    struct RowScratch;
    struct FrameTarget;
    // Per-thread storage reused from frame to frame, so rendering does not allocate.
    static FramePlan& planForThisThread();
    static RowScratch& scratchForThisThread();
    struct PipLayers {
        raster::IntRect region;            // canvas pixels the PiP and its shadow touch
        std::vector<std::uint8_t> keep;    // 255 × (1 - shadow alpha), one byte per region pixel
        std::vector<std::uint8_t> border;  // premultiplied RGBA of the white outline
        std::vector<std::uint8_t> webcam;  // 255 × mask × (1 - outline alpha): the webcam's weight
    };

    void buildPip(bool hasWebcam);
    void planFrame(FramePlan& plan, const ImageView& source, const ImageView* webcam, double t) const;
    void layoutInto(double t, FrameLayout& layout) const;
    void renderTarget(const ImageView& source, const ImageView* webcam, double t, const FrameTarget& target,
                      RowWorkers* workers) const;
    void renderRows(const FramePlan& plan, const FrameTarget& target, int y0, int y1,
                    RowScratch& scratch) const;
    void renderRow(const FramePlan& plan, int y, std::uint8_t* row, RowScratch& scratch) const;
    void backdropSpan(const FramePlan& plan, int y, int x0, int x1, std::uint8_t* dst,
                      RowScratch& scratch) const;
    void screenRow(const FramePlan& plan, int y, std::uint8_t* row, RowScratch& scratch) const;
    void spriteRow(const FramePlan& plan, std::size_t index, int y, std::uint8_t* row,
                   RowScratch& scratch) const;
    void pipRow(const FramePlan& plan, int y, std::uint8_t* row, RowScratch& scratch) const;

    Size pixelSize_;
    model::StyleSettings style_;
    camera::CursorPath cursorPath_;
    camera::CameraTimeline camera_;
    std::vector<model::ClickEvent> clicks_;
    std::vector<std::uint32_t> clicksByTime_;  // indexes into clicks_ by time; finite times only

    Size canvas_;
    int outputWidth_ = 0;
    int outputHeight_ = 0;
    double unit_ = 1.0;  // canvas width ÷ 1600
    Rect screenRect_;
    double screenScale_ = 1.0;
    double cornerRadius_ = 0.0;
    bool hasShadow_ = false;
    Image backdrop_;

    std::optional<raster::Sprite> cursor_;
    Point cursorHotspot_;
    double cursorPixelScale_ = 1.0;
    std::optional<raster::Sprite> ripple_;

    std::optional<Rect> pipRect_;
    double pipRadius_ = 0.0;
    PipLayers pip_;
};

}  // namespace vorpix::render
