#include "render/Raster.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vorpix::render::raster {
namespace {

std::uint8_t toByte(double unit) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(unit, 0.0, 1.0) * 255.0));
}

// Length of [a, a + 1) ∩ [lo, hi).
double overlap(double a, double lo, double hi) {
    return std::max(0.0, std::min(a + 1, hi) - std::max(a, lo));
}

// 1-D blur of the coverage of [lo, hi) sampled at pixels first ... first + count - 1.
std::vector<double> blurredSpan(int first, int count, double lo, double hi,
                                const std::vector<float>& kernel) {
    const int kr = static_cast<int>(kernel.size() / 2);
    std::vector<double> out(static_cast<std::size_t>(std::max(count, 0)), 0.0);
    for (int i = 0; i < count; ++i) {
        double sum = 0;
        for (int k = -kr; k <= kr; ++k)
            sum += overlap(first + i + k, lo, hi) * kernel[static_cast<std::size_t>(k + kr)];
        out[static_cast<std::size_t>(i)] = sum;
    }
    return out;
}

}  // namespace

IntRect intersect(const IntRect& a, const IntRect& b) {
    const int x0 = std::max(a.x, b.x);
    const int y0 = std::max(a.y, b.y);
    const int x1 = std::min(a.x + a.width, b.x + b.width);
    const int y1 = std::min(a.y + a.height, b.y + b.height);
    if (x1 <= x0 || y1 <= y0) return {x0, y0, 0, 0};
    return {x0, y0, x1 - x0, y1 - y0};
}

IntRect pixelBounds(const Rect& r, const IntRect& bounds) {
    const double x0 = std::floor(r.minX());
    const double y0 = std::floor(r.minY());
    const double x1 = std::ceil(r.maxX());
    const double y1 = std::ceil(r.maxY());
    const auto lim = [](double v) { return static_cast<int>(std::clamp(v, -1.0e9, 1.0e9)); };
    return intersect({lim(x0), lim(y0), lim(x1 - x0), lim(y1 - y0)}, bounds);
}

double roundedRectDistance(double px, double py, const Rect& rect, double radius) {
    const double hw = rect.width * 0.5;
    const double hh = rect.height * 0.5;
    const double r = std::clamp(radius, 0.0, std::max(0.0, std::min(hw, hh)));
    const double qx = std::abs(px - rect.midX()) - (hw - r);
    const double qy = std::abs(py - rect.midY()) - (hh - r);
    const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    const double inside = std::min(std::max(qx, qy), 0.0);
    return outside + inside - r;
}

double polygonDistance(double px, double py, const std::vector<Point>& v) {
    if (v.empty()) return 1e9;
    double d = (px - v[0].x) * (px - v[0].x) + (py - v[0].y) * (py - v[0].y);
    double sign = 1.0;
    for (std::size_t i = 0, j = v.size() - 1; i < v.size(); j = i, ++i) {
        const double ex = v[j].x - v[i].x;
        const double ey = v[j].y - v[i].y;
        const double wx = px - v[i].x;
        const double wy = py - v[i].y;
        const double len2 = ex * ex + ey * ey;
        const double f = len2 > 0 ? std::clamp((wx * ex + wy * ey) / len2, 0.0, 1.0) : 0.0;
        const double bx = wx - ex * f;
        const double by = wy - ey * f;
        d = std::min(d, bx * bx + by * by);
        const bool c1 = py >= v[i].y;
        const bool c2 = py < v[j].y;
        const bool c3 = ex * wy > ey * wx;
        if ((c1 && c2 && c3) || (!c1 && !c2 && !c3)) sign = -sign;
    }
    return sign * std::sqrt(d);
}

std::vector<float> gaussianKernel(double sigma) {
    if (!(sigma >= 0.1)) return {1.0f};
    const int kr = static_cast<int>(std::ceil(3.0 * sigma));
    std::vector<double> taps(static_cast<std::size_t>(2 * kr + 1));
    double sum = 0;
    for (int k = -kr; k <= kr; ++k) {
        const double w = std::exp(-(k * k) / (2.0 * sigma * sigma));
        taps[static_cast<std::size_t>(k + kr)] = w;
        sum += w;
    }
    std::vector<float> kernel(taps.size());
    for (std::size_t i = 0; i < taps.size(); ++i) kernel[i] = static_cast<float>(taps[i] / sum);
    return kernel;
}

void blur(std::vector<float>& plane, int width, int height, double sigma) {
    const std::vector<float> kernel = gaussianKernel(sigma);
    if (kernel.size() == 1 || width <= 0 || height <= 0) return;
    const int kr = static_cast<int>(kernel.size() / 2);
    const auto w = static_cast<std::size_t>(width);
    // Only rows holding something need the horizontal pass, and only they
    // feed the vertical one: corner patches are mostly empty.
    int firstRow = height;
    int lastRow = -1;
    std::vector<float> line(w);
    for (int y = 0; y < height; ++y) {
        float* row = plane.data() + static_cast<std::size_t>(y) * w;
        if (std::all_of(row, row + width, [](float v) { return v == 0.0f; })) continue;
        firstRow = std::min(firstRow, y);
        lastRow = y;
        for (int x = 0; x < width; ++x) {
            float sum = 0;
            const int k0 = std::max(-kr, -x);
            const int k1 = std::min(kr, width - 1 - x);
            for (int k = k0; k <= k1; ++k) sum += row[x + k] * kernel[static_cast<std::size_t>(k + kr)];
            line[static_cast<std::size_t>(x)] = sum;
        }
        std::copy_n(line.begin(), width, row);
    }
    std::vector<float> out(plane.size(), 0.0f);
    for (int y = std::max(0, firstRow - kr); y <= std::min(height - 1, lastRow + kr); ++y) {
        float* dst = out.data() + static_cast<std::size_t>(y) * w;
        const int k0 = std::max(-kr, firstRow - y);
        const int k1 = std::min(kr, lastRow - y);
        for (int k = k0; k <= k1; ++k) {
            const float g = kernel[static_cast<std::size_t>(k + kr)];
            const float* src = plane.data() + static_cast<std::size_t>(y + k) * w;
            for (std::size_t x = 0; x < w; ++x) dst[x] += src[x] * g;
        }
    }
    plane.swap(out);
}

BlurredRoundedRect::BlurredRoundedRect(const IntRect& region, const Rect& shape, double radius, double sigma)
    : region_(region) {
    if (region.empty()) return;
    gx_.assign(static_cast<std::size_t>(region.width), 0.0f);
    gy_.assign(static_cast<std::size_t>(region.height), 0.0f);
    if (!(shape.width > 0) || !(shape.height > 0)) return;
    const std::vector<float> kernel = gaussianKernel(sigma);
    const int kr = static_cast<int>(kernel.size() / 2);

    // The sharp rectangle is separable: blur its coverage along each axis.
    const std::vector<double> bx = blurredSpan(region.x, region.width, shape.minX(), shape.maxX(), kernel);
    const std::vector<double> by = blurredSpan(region.y, region.height, shape.minY(), shape.maxY(), kernel);
    std::transform(bx.begin(), bx.end(), gx_.begin(), [](double v) { return static_cast<float>(v); });
    std::transform(by.begin(), by.end(), gy_.begin(), [](double v) { return static_cast<float>(v); });

    // What the rounded corners cut away from the rectangle, blurred locally.
    const double r = std::clamp(radius, 0.0, std::min(shape.width, shape.height) * 0.5);
    if (r <= 0) return;
    const Rect corners[4] = {
        {shape.minX(), shape.minY(), r, r},
        {shape.maxX() - r, shape.minY(), r, r},
        {shape.minX(), shape.maxY() - r, r, r},
        {shape.maxX() - r, shape.maxY() - r, r, r},
    };
    for (const Rect& corner : corners) {
        const IntRect box = pixelBounds(corner, {-(1 << 28), -(1 << 28), 1 << 29, 1 << 29});
        const IntRect patch{box.x - kr, box.y - kr, box.width + 2 * kr, box.height + 2 * kr};
        if (intersect(patch, region).empty()) continue;
        const auto pw = static_cast<std::size_t>(patch.width);
        std::vector<float> cut(pw * static_cast<std::size_t>(patch.height), 0.0f);
        for (int y = box.y; y < box.y + box.height; ++y) {
            for (int x = box.x; x < box.x + box.width; ++x) {
                const double sharp =
                    overlap(x, shape.minX(), shape.maxX()) * overlap(y, shape.minY(), shape.maxY());
                const double rounded = fillCoverage(roundedRectDistance(x + 0.5, y + 0.5, shape, r));
                cut[static_cast<std::size_t>(y - patch.y) * pw + static_cast<std::size_t>(x - patch.x)] =
                    static_cast<float>(sharp - rounded);
            }
        }
        blur(cut, patch.width, patch.height, sigma);
        patches_.push_back({patch, std::move(cut)});
    }
}

void BlurredRoundedRect::row(int y, float* out) const {
    const float g = gy_[static_cast<std::size_t>(y - region_.y)];
    for (std::size_t x = 0; x < gx_.size(); ++x) out[x] = g * gx_[x];
    for (const Patch& p : patches_) {
        if (y < p.rect.y || y >= p.rect.y + p.rect.height) continue;
        const int x0 = std::max(p.rect.x, region_.x);
        const int x1 = std::min(p.rect.x + p.rect.width, region_.x + region_.width);
        const float* cut =
            p.values.data() + static_cast<std::size_t>(y - p.rect.y) * static_cast<std::size_t>(p.rect.width);
        for (int x = x0; x < x1; ++x) out[x - region_.x] -= cut[x - p.rect.x];
    }
    for (std::size_t x = 0; x < gx_.size(); ++x) out[x] = std::clamp(out[x], 0.0f, 1.0f);
}

std::vector<float> blurredRoundedRect(const IntRect& region, const Rect& shape, double radius, double sigma) {
    if (region.empty()) return {};
    const BlurredRoundedRect blurred(region, shape, radius, sigma);
    std::vector<float> out(static_cast<std::size_t>(region.width) * static_cast<std::size_t>(region.height));
    for (int y = 0; y < region.height; ++y)
        blurred.row(region.y + y,
                    out.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(region.width));
    return out;
}

std::array<RgbColor, 2> presetColors(model::BackgroundPreset preset) {
    using model::BackgroundPreset;
    switch (preset) {
        case BackgroundPreset::midnight:
            return {{{0.10, 0.12, 0.25}, {0.35, 0.15, 0.45}}};
        case BackgroundPreset::ocean:
            return {{{0.05, 0.25, 0.45}, {0.10, 0.55, 0.60}}};
        case BackgroundPreset::sunset:
            return {{{0.55, 0.20, 0.35}, {0.95, 0.55, 0.25}}};
        case BackgroundPreset::forest:
            return {{{0.05, 0.25, 0.18}, {0.25, 0.55, 0.35}}};
        case BackgroundPreset::graphite:
            return {{{0.13, 0.13, 0.15}, {0.30, 0.30, 0.34}}};
        case BackgroundPreset::plain:
            return {{{0.09, 0.09, 0.10}, {0.09, 0.09, 0.10}}};
    }
    return {{{0.09, 0.09, 0.10}, {0.09, 0.09, 0.10}}};
}

void fillBackdrop(Image& out, double canvasWidth, double canvasHeight, model::BackgroundPreset preset,
                  const BlurredRoundedRect* shadow, double shadowOpacity) {
    const auto colors = presetColors(preset);
    const double len2 = canvasWidth * canvasWidth + canvasHeight * canvasHeight;
    // Colour as a function of the gradient parameter, tabulated finely enough
    // that the table step (1/4096) is far below one 8-bit level.
    constexpr int kSteps = 4096;
    std::vector<std::array<std::uint8_t, 4>> table(kSteps + 1);
    for (int i = 0; i <= kSteps; ++i) {
        const double f = static_cast<double>(i) / kSteps;
        table[static_cast<std::size_t>(i)] = {toByte(colors[0].r + (colors[1].r - colors[0].r) * f),
                                              toByte(colors[0].g + (colors[1].g - colors[0].g) * f),
                                              toByte(colors[0].b + (colors[1].b - colors[0].b) * f), 255};
    }
    const double dx = len2 > 0 ? canvasWidth / len2 * kSteps : 0.0;
    const double dy = len2 > 0 ? canvasHeight / len2 * kSteps : 0.0;
    const auto opacity = static_cast<float>(std::clamp(shadowOpacity, 0.0, 1.0) * 65536.0);
    std::vector<float> shadowRow(shadow ? static_cast<std::size_t>(out.width()) : 0);
    for (int y = 0; y < out.height(); ++y) {
        std::uint8_t* row = out.row(y);
        if (shadow) shadow->row(y, shadowRow.data());
        const float* a = shadow ? shadowRow.data() : nullptr;
        for (int x = 0; x < out.width(); ++x) {
            const double f = std::clamp((x + 0.5) * dx + (y + 0.5) * dy, 0.0, static_cast<double>(kSteps));
            const std::array<std::uint8_t, 4>& c = table[static_cast<std::size_t>(f + 0.5)];
            std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * 4;
            if (a == nullptr) {
                std::copy_n(c.begin(), 4, p);
                continue;
            }
            // Black shadow over an opaque colour: the colour times 1 - alpha.
            const int keep = 65536 - static_cast<int>(a[x] * opacity + 0.5f);
            for (int k = 0; k < 3; ++k)
                p[k] = static_cast<std::uint8_t>((c[static_cast<std::size_t>(k)] * keep + 32768) >> 16);
            p[3] = 255;
        }
    }
}

Sprite makeRipple() {
    constexpr int kSize = 256;
    constexpr double kCentre = 128.0;
    constexpr double kRingRadius = 104.0;  // the circle inscribed in (24, 24, 208, 208)
    constexpr double kHalfLine = 11.0;     // line width 22
    std::vector<float> plane(static_cast<std::size_t>(kSize * kSize));
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double d = std::hypot(x + 0.5 - kCentre, y + 0.5 - kCentre);
            plane[static_cast<std::size_t>(y * kSize + x)] =
                static_cast<float>(fillCoverage(std::abs(d - kRingRadius) - kHalfLine));
        }
    blur(plane, kSize, kSize, 6.0);
    Sprite sprite;
    sprite.image.resize(kSize, kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const std::uint8_t v = toByte(plane[static_cast<std::size_t>(y * kSize + x)]);
            std::fill_n(sprite.image.row(y) + x * 4, 4, v);  // premultiplied white
        }
    sprite.hotspot = {kCentre, kCentre};
    return sprite;
}

Sprite makeArrowCursor() {
    constexpr double kDensity = 2.0;  // pixels per point
    constexpr double kPad = 4.0;      // points of room around the arrow for the outline and shadow
    constexpr double kOutline = 1.0;  // points of white around the black arrow
    constexpr int kWidthPt = 21;
    constexpr int kHeightPt = 28;
    // The arrow's outer (white) outline in points, tip first, y downward.
    const std::vector<Point> arrow = {
        {kPad + 0.0, kPad + 0.0},   {kPad + 0.0, kPad + 17.0}, {kPad + 4.1, kPad + 13.2},
        {kPad + 6.8, kPad + 19.6},  {kPad + 9.6, kPad + 18.4}, {kPad + 7.0, kPad + 12.3},
        {kPad + 12.4, kPad + 12.3},
    };
    const int w = static_cast<int>(kWidthPt * kDensity);
    const int h = static_cast<int>(kHeightPt * kDensity);
    const auto count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    std::vector<float> outer(count);
    std::vector<float> inner(count);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double dPx = polygonDistance((x + 0.5) / kDensity, (y + 0.5) / kDensity, arrow) * kDensity;
            outer[static_cast<std::size_t>(y * w + x)] = static_cast<float>(fillCoverage(dPx));
            inner[static_cast<std::size_t>(y * w + x)] =
                static_cast<float>(fillCoverage(dPx + kOutline * kDensity));
        }
    // Soft shadow: the outline's coverage blurred, one point lower, at 30 %.
    constexpr int kShadowDrop = static_cast<int>(1.0 * kDensity);
    std::vector<float> shadow(count, 0.0f);
    for (int y = kShadowDrop; y < h; ++y)
        for (int x = 0; x < w; ++x)
            shadow[static_cast<std::size_t>(y * w + x)] =
                0.3f * outer[static_cast<std::size_t>((y - kShadowDrop) * w + x)];
    blur(shadow, w, h, 0.9 * kDensity);

    Sprite sprite;
    sprite.image.resize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t i = static_cast<std::size_t>(y * w + x);
            const double a = outer[i];
            const double white = a - inner[i];  // premultiplied: black adds alpha but no colour
            const double alpha = a + shadow[i] * (1.0 - a);
            std::uint8_t* p = sprite.image.row(y) + x * 4;
            p[0] = p[1] = p[2] = toByte(white);
            p[3] = toByte(alpha);
        }
    sprite.hotspot = {kPad * kDensity, kPad * kDensity};
    sprite.pixelsPerPoint = kDensity;
    return sprite;
}

}  // namespace vorpix::render::raster
