#pragma once

// Construction-time rasterisation for the frame renderer: gradients, rounded
// rectangles, strokes, Gaussian blurs and the two sprites. Nothing here runs
// per frame. Coordinates are pixels with the origin at the top-left corner of
// the bitmap, y downward; pixel (x, y) covers [x, x + 1) × [y, y + 1).
// Coverage is anti-aliased by signed distance: a pixel whose centre lies d
// pixels outside a shape is covered clamp(0.5 - d, 0, 1), which is the exact
// area along straight edges.

#include <array>
#include <vector>

#include "model/Geometry.h"
#include "model/Style.h"
#include "render/Image.h"

namespace vorpix::render::raster {

struct IntRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
    bool operator==(const IntRect&) const = default;
};

// The pixels touched by `r`, limited to `bounds`.
IntRect pixelBounds(const Rect& r, const IntRect& bounds);
IntRect intersect(const IntRect& a, const IntRect& b);

// Signed distance from (px, py) to a rectangle whose four corners are
// rounded with `radius` (limited to half the shorter side); negative inside.
double roundedRectDistance(double px, double py, const Rect& rect, double radius);
// Signed distance to a simple polygon (either winding); negative inside.
double polygonDistance(double px, double py, const std::vector<Point>& polygon);

inline double fillCoverage(double distance) {
    const double c = 0.5 - distance;
    return c < 0 ? 0 : (c > 1 ? 1 : c);
}

// Normalised Gaussian taps for standard deviation sigma, 2 × ceil(3 sigma) + 1
// long; a single tap of 1 when sigma is below 0.1.
std::vector<float> gaussianKernel(double sigma);

// Separable Gaussian blur of a width × height plane, in place; the world
// outside the plane is 0.
void blur(std::vector<float>& plane, int width, int height, double sigma);

// Coverage of the rounded rectangle `shape` blurred with standard deviation
// sigma, over `region`, produced row by row: the sharp rectangle is separable
// (the product of two blurred spans) and the four corner cut-outs are blurred
// in small local patches, so no region-sized plane is ever held.
class BlurredRoundedRect {
public:
    BlurredRoundedRect(const IntRect& region, const Rect& shape, double radius, double sigma);
    // Row y (region.y ≤ y < region.y + region.height): region.width values in 0 ... 1.
    void row(int y, float* out) const;

private:
    struct Patch {
        IntRect rect;               // where the blurred cut-out lies
        std::vector<float> values;  // rect.width × rect.height, to subtract
    };
    IntRect region_;
    std::vector<float> gx_;  // per column of the region
    std::vector<float> gy_;  // per row of the region
    std::vector<Patch> patches_;
};

// The same as one region-sized plane (row-major).
std::vector<float> blurredRoundedRect(const IntRect& region, const Rect& shape, double radius, double sigma);

// The two opaque colours (red, green, blue in 0 ... 1) of a background preset:
// first at the top-left corner, second at the bottom-right corner.
struct RgbColor {
    double r = 0;
    double g = 0;
    double b = 0;
};
std::array<RgbColor, 2> presetColors(model::BackgroundPreset preset);

// Fills `out` (already sized) with the preset's linear gradient from the
// top-left corner (0, 0) to the bottom-right corner (canvasWidth,
// canvasHeight), extended beyond both ends, under a black shadow whose alpha
// is shadowOpacity × the shadow's coverage (covering all of `out`; null for none).
void fillBackdrop(Image& out, double canvasWidth, double canvasHeight, model::BackgroundPreset preset,
                  const BlurredRoundedRect* shadow = nullptr, double shadowOpacity = 0.0);

// A prepared sprite: premultiplied RGBA, its hotspot in sprite pixels from the
// top-left corner, and how many sprite pixels make one point.
struct Sprite {
    Image image;
    Point hotspot;
    double pixelsPerPoint = 1.0;
};

// The click ripple: 256 × 256, a white ring of diameter 208 and line width
// 22, blurred with sigma 6.
Sprite makeRipple();

// The arrow pointer, drawn at two pixels per point: a black arrow with a
// white outline and a soft shadow; the hotspot is the arrow's tip.
Sprite makeArrowCursor();

}  // namespace vorpix::render::raster
