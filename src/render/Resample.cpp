#include "render/Resample.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace vorpix::render::detail {

const Kernels* avx2Kernels();  // ResampleAvx2.cpp; null where the processor lacks AVX2

namespace {

// The most taps a filter keeps in fixed-size scratch; minifying by more than
// 1/kMaxTaps × 2 falls back to the heap once per build (never per frame in
// practice: the renderer's smallest scale is 0.08, 26 taps).
constexpr int kLocalTaps = 64;

void portableH8to16(const std::uint8_t* src, int base, const std::int32_t* first, const std::int16_t* w,
                    int taps, int count, bool swapRedBlue, std::uint16_t* out) {
    const int r = swapRedBlue ? 2 : 0;
    const int b = swapRedBlue ? 0 : 2;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* p = src + static_cast<std::ptrdiff_t>(first[i] - base) * 4;
        const std::int16_t* wi = w + static_cast<std::ptrdiff_t>(i) * taps;
        std::int32_t acc[4] = {128, 128, 128, 128};
        for (int k = 0; k < taps; ++k)
            for (int c = 0; c < 4; ++c) acc[c] += p[k * 4 + c] * wi[k];
        std::uint16_t* o = out + static_cast<std::ptrdiff_t>(i) * 4;
        o[0] = static_cast<std::uint16_t>(acc[r] >> 8);
        o[1] = static_cast<std::uint16_t>(acc[1] >> 8);
        o[2] = static_cast<std::uint16_t>(acc[b] >> 8);
        o[3] = static_cast<std::uint16_t>(acc[3] >> 8);
    }
}

void portableH16to8(const std::uint16_t* src, int base, const std::int32_t* first, const std::int16_t* w,
                    int taps, int count, bool swapRedBlue, std::uint8_t* out) {
    const int r = swapRedBlue ? 2 : 0;
    const int b = swapRedBlue ? 0 : 2;
    for (int i = 0; i < count; ++i) {
        const std::uint16_t* p = src + static_cast<std::ptrdiff_t>(first[i] - base) * 4;
        const std::int16_t* wi = w + static_cast<std::ptrdiff_t>(i) * taps;
        std::int32_t acc[4] = {1 << 19, 1 << 19, 1 << 19, 1 << 19};
        for (int k = 0; k < taps; ++k)
            for (int c = 0; c < 4; ++c) acc[c] += p[k * 4 + c] * wi[k];
        std::uint8_t* o = out + static_cast<std::ptrdiff_t>(i) * 4;
        o[0] = static_cast<std::uint8_t>(std::min(acc[r] >> 20, 255));
        o[1] = static_cast<std::uint8_t>(std::min(acc[1] >> 20, 255));
        o[2] = static_cast<std::uint8_t>(std::min(acc[b] >> 20, 255));
        o[3] = static_cast<std::uint8_t>(std::min(acc[3] >> 20, 255));
    }
}

bool portableV16to8(const std::uint16_t* const* rows, const std::int16_t* w, int taps, int values,
                    std::uint8_t* out) {
    return vertical16to8Scalar(rows, w, taps, 0, values, out);
}

void portableV8to16(const std::uint8_t* const* rows, const std::int16_t* w, int taps, int values,
                    std::uint16_t* out) {
    vertical8to16Scalar(rows, w, taps, 0, values, out);
}

void portableBlendOver(std::uint8_t* dst, const std::uint8_t* src, int count, int alpha) {
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* s = src + i * 4;
        std::uint8_t* d = dst + i * 4;
        int c[4];
        for (int k = 0; k < 4; ++k) c[k] = (s[k] * alpha + 128) >> 8;
        const int keep = 255 - c[3];
        for (int k = 0; k < 4; ++k)
            d[k] = static_cast<std::uint8_t>(std::min(255, c[k] + mul255(d[k], keep)));
    }
}

void portableBlendOverInto(std::uint8_t* dst, const std::uint8_t* src, const std::uint8_t* under, int count) {
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* s = src + i * 4;
        const std::uint8_t* u = under + i * 4;
        std::uint8_t* d = dst + i * 4;
        const int keep = 255 - s[3];
        for (int k = 0; k < 4; ++k)
            d[k] = static_cast<std::uint8_t>(std::min(255, s[k] + mul255(u[k], keep)));
    }
}

void portablePipBlend(std::uint8_t* dst, const std::uint8_t* cam, const std::uint8_t* keep,
                      const std::uint8_t* border, const std::uint8_t* weight, int count) {
    for (int i = 0; i < count; ++i) {
        std::uint8_t* d = dst + i * 4;
        const std::uint8_t* b = border + i * 4;
        int layer[4];
        for (int k = 0; k < 4; ++k)
            layer[k] = cam ? std::min(255, b[k] + mul255(cam[i * 4 + k], weight[i])) : b[k];
        // Under the layer: the black shadow (alpha 255 - keep) over dst.
        int under[4];
        for (int k = 0; k < 4; ++k) under[k] = mul255(d[k], keep[i]);
        under[3] += 255 - keep[i];
        const int rest = 255 - layer[3];
        for (int k = 0; k < 4; ++k)
            d[k] = static_cast<std::uint8_t>(std::min(255, layer[k] + mul255(under[k], rest)));
    }
}

std::uint8_t luma(const std::uint8_t* p) {
    return static_cast<std::uint8_t>(16 +
                                     ((kLumaR * p[0] + kLumaG * p[1] + kLumaB * p[2] + (1 << 14)) >> 15));
}

std::uint8_t chroma(int r, int g, int b, int cr, int cg, int cb) {
    return static_cast<std::uint8_t>(
        std::clamp(128 + ((cr * r + cg * g + cb * b + (1 << 14)) >> 15), 0, 255));
}

void portableRgbaToYuv420(const std::uint8_t* top, const std::uint8_t* bottom, int width, std::uint8_t* yTop,
                          std::uint8_t* yBottom, std::uint8_t* u, std::uint8_t* v) {
    for (int x = 0; x < width; ++x) yTop[x] = luma(top + x * 4);
    if (yBottom != nullptr)
        for (int x = 0; x < width; ++x) yBottom[x] = luma(bottom + x * 4);
    for (int i = 0; i < (width + 1) / 2; ++i) {
        const int c = 2 * i;
        const int l = std::max(c - 1, 0) * 4;
        const int r = std::min(c + 1, width - 1) * 4;
        int sum[3];
        for (int k = 0; k < 3; ++k)
            sum[k] = top[l + k] + 2 * top[c * 4 + k] + top[r + k] + bottom[l + k] + 2 * bottom[c * 4 + k] +
                     bottom[r + k];
        u[i] = chroma(sum[0], sum[1], sum[2], kCbR, kCbG, kCbB);
        v[i] = chroma(sum[0], sum[1], sum[2], kCrR, kCrG, kCrB);
    }
}

constexpr Kernels kPortable{"portable",          portableH8to16,    portableH16to8,        portableV16to8,
                            portableV8to16,      portableBlendOver, portableBlendOverInto, portablePipBlend,
                            portableRgbaToYuv420};

}  // namespace

bool AxisFilter::matches(int outBegin, int outEnd, double scale, double offset, bool mirrored,
                         int sourceLength, EdgeMode edge) const {
    return built_ && begin == outBegin && end == std::max(outBegin, outEnd) && scale_ == scale &&
           offset_ == offset && mirrored_ == mirrored && sourceLength_ == sourceLength && edge_ == edge;
}

void AxisFilter::build(int outBegin, int outEnd, double scale, double offset, bool mirrored, int sourceLength,
                       EdgeMode edge) {
    if (matches(outBegin, outEnd, scale, offset, mirrored, sourceLength, edge)) return;
    built_ = true;
    scale_ = scale;
    offset_ = offset;
    mirrored_ = mirrored;
    sourceLength_ = sourceLength;
    edge_ = edge;

    begin = outBegin;
    end = std::max(outBegin, outEnd);
    const int n = end - begin;
    // A scale or offset that is not a finite positive number places the source
    // nowhere: every output sample reads transparent black from pixel 0.
    const bool placed = scale > 0 && std::isfinite(scale) && std::isfinite(1.0 / scale) && std::isfinite(offset) &&
                        sourceLength > 0;
    const bool magnify = scale >= 1.0;
    const double footprint = placed ? 1.0 / scale : 1.0;  // source pixels per output pixel
    // Magnification: a tent of one source pixel (bilinear), two taps.
    // Minification: the area average of the output pixel's footprint, which
    // touches at most ceil(footprint) + 1 source pixels. Counted in double so
    // that a huge footprint cannot overflow; the source length bounds it.
    const double raw = magnify ? 2.0 : std::ceil(footprint - 1e-9) + 1.0;
    // An even count lets the kernels work on pairs of taps.
    const double even = raw + std::fmod(raw, 2.0);
    taps = static_cast<int>(std::max(1.0, std::min(even, static_cast<double>(std::max(sourceLength, 1)))));
    first.assign(static_cast<std::size_t>(n), 0);
    weights.assign(static_cast<std::size_t>(n) * static_cast<std::size_t>(taps), 0);
    if (n == 0 || !placed) return;

    // Accumulated weights of the taps, the local array unless taps are many.
    std::array<double, kLocalTaps> localAcc;
    std::vector<double> heapAcc;
    double* acc = localAcc.data();
    if (taps > kLocalTaps) {
        heapAcc.resize(static_cast<std::size_t>(taps));
        acc = heapAcc.data();
    }
    const double length = sourceLength;
    for (int o = 0; o < n; ++o) {
        // Source coordinates of the output pixel's left and right edges.
        double s0 = (begin + o - offset) * footprint;
        double s1 = s0 + footprint;
        if (mirrored) {
            s0 = length - s0;
            s1 = length - s1;
            std::swap(s0, s1);
        }
        std::fill_n(acc, taps, 0.0);
        double total = 0;
        double kept = 0;
        int window = 0;
        // Adds `w` of source pixel i (outside the source: the edge, or nothing).
        const auto add = [&](int i, double w) {
            if (!(w > 0)) return;
            if (i < 0 || i >= sourceLength) {
                if (edge == EdgeMode::transparent) return;
                i = std::clamp(i, 0, sourceLength - 1);
            }
            const int k = i - window;
            if (k < 0 || k >= taps) return;  // a sliver below 1e-9 of a pixel past the footprint
            acc[k] += w;
            kept += w;
        };
        if (magnify) {
            // Pixel i is centred on i; beyond one pixel outside the source
            // every centre reads the same, so hold it there (and in int range).
            const double centre = std::clamp((s0 + s1) * 0.5 - 0.5, -1.0, length);
            const int i0 = static_cast<int>(std::floor(centre));
            const double f = centre - i0;
            window = std::clamp(i0, 0, sourceLength - taps);
            add(i0, 1.0 - f);
            add(i0 + 1, f);
            total = 1.0;
        } else {
            // Outside the source the footprint only reads the edges (or
            // nothing), so the loop runs over the part inside the source.
            total = s1 - s0;
            const double a = std::clamp(s0, 0.0, length);
            const double b = std::clamp(s1, 0.0, length);
            const int i0 = std::min(static_cast<int>(std::floor(a)), sourceLength - 1);
            window = std::clamp(i0, 0, sourceLength - taps);
            add(-1, std::min(s1, 0.0) - s0);
            add(sourceLength, s1 - std::max(s0, length));
            for (int i = i0; i < sourceLength && i < b; ++i)
                add(i, std::min(b, i + 1.0) - std::max(a, static_cast<double>(i)));
        }
        // Round to Q14 so that the weights add up to the rounded total exactly.
        std::int16_t* wo = weights.data() + static_cast<std::ptrdiff_t>(o) * taps;
        const double norm = total > 0 ? kWeightOne / total : 0.0;
        const int target = static_cast<int>(kept * norm + 0.5);
        int sum = 0;
        int largest = 0;
        for (int k = 0; k < taps; ++k) {
            const int q = static_cast<int>(acc[k] * norm + 0.5);
            wo[k] = static_cast<std::int16_t>(q);
            sum += q;
            if (q > wo[largest]) largest = k;
        }
        wo[largest] = static_cast<std::int16_t>(wo[largest] + (target - sum));
        first[static_cast<std::size_t>(o)] = window;
    }
}

Span reach(double scale, double offset, int sourceLength, int lo, int hi) {
    // Magnification reaches half a source pixel beyond the edges (the tent
    // around the outermost pixel centres); minification only the footprint.
    const double margin = scale >= 1.0 ? 0.5 * scale : 0.0;
    const double x0 = offset - margin;
    const double x1 = offset + scale * sourceLength + margin;
    const double b = std::floor(std::min(x0, x1));
    const double e = std::ceil(std::max(x0, x1));
    const int begin = static_cast<int>(std::clamp(b, static_cast<double>(lo), static_cast<double>(hi)));
    const int end = static_cast<int>(std::clamp(e, static_cast<double>(begin), static_cast<double>(hi)));
    return {begin, end};
}

const Kernels& portableKernels() {
    return kPortable;
}

const Kernels& bestKernels() {
    static const Kernels* const best = [] {
        const Kernels* k = avx2Kernels();
        return k ? k : &kPortable;
    }();
    return *best;
}

std::vector<const Kernels*> availableKernels() {
    std::vector<const Kernels*> all{&kPortable};
    if (const Kernels* k = avx2Kernels()) all.push_back(k);
    return all;
}

}  // namespace vorpix::render::detail
