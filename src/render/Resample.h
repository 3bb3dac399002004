#pragma once

// Separable resampling on premultiplied 8-bit RGBA, the per-frame work of the
// renderer. An axis-aligned scale plus translation is applied as two 1-D
// filters, each a table of taps per output sample (AxisFilter), run by the
// kernels below. Weights are Q14 fixed point (1.0 = 16384, never negative);
// the intermediate between the two passes is 16-bit with 6 extra fractional
// bits, so an exact copy (weight 1.0 at an integer position) comes out
// bit-identical. Internal to the render module; public only for its tests and
// benchmark.

#include <cstdint>
#include <vector>

namespace vorpix::render::detail {

inline constexpr int kWeightOne = 1 << 14;

// Outside the source: repeat the edge sample, or read transparent black.
enum class EdgeMode { clamp, transparent };

// Taps along one axis. Output sample o (o in begin ... end - 1) is
// Σ_k source[first[o - begin] + k] × weights[(o - begin) × taps + k] with k in
// 0 ... taps - 1; first + taps never leaves 0 ... sourceLength.
struct AxisFilter {
    int begin = 0;
    int end = 0;
    int taps = 0;
    std::vector<std::int32_t> first;
    std::vector<std::int16_t> weights;

    int count() const { return end - begin; }
    const std::int16_t* weightsAt(int o) const {
        return weights.data() + static_cast<std::ptrdiff_t>(o - begin) * taps;
    }
    std::int32_t firstAt(int o) const { return first[static_cast<std::size_t>(o - begin)]; }

    // Output coordinate X (pixel o spans [o, o + 1)) of source coordinate S:
    // X = offset + scale × S, or offset + scale × (sourceLength - S) when
    // mirrored. Magnification (scale ≥ 1) filters with a tent of one source
    // pixel (bilinear); minification averages the source over each output
    // pixel's footprint (area filter), which keeps text sharper than a wider
    // tent and lets every source pixel contribute. `taps` is even unless the
    // source is shorter. Reuses the vectors' storage, and does nothing when
    // called again with the same arguments.
    void build(int outBegin, int outEnd, double scale, double offset, bool mirrored, int sourceLength,
               EdgeMode edge);

private:
    bool matches(int outBegin, int outEnd, double scale, double offset, bool mirrored, int sourceLength,
                 EdgeMode edge) const;

    bool built_ = false;
    double scale_ = 0;
    double offset_ = 0;
    bool mirrored_ = false;
    int sourceLength_ = 0;
    EdgeMode edge_ = EdgeMode::clamp;
};

// The output pixels a source of `sourceLength` samples reaches when placed as
// in AxisFilter::build (its filter's support included), limited to lo ... hi.
// Returns {begin, end}; begin == end when none.
struct Span {
    int begin = 0;
    int end = 0;
};
Span reach(double scale, double offset, int sourceLength, int lo, int hi);

// The kernels, one implementation per instruction set; all give identical
// results. "swapRedBlue" converts BGRA input to RGBA output (or back).
struct Kernels {
    const char* name;
    // Horizontal, 8-bit pixels to 16-bit: out[i] = Σ src[first[i] - base + k] w[i × taps + k].
    void (*horizontal8to16)(const std::uint8_t* src, int base, const std::int32_t* first,
                            const std::int16_t* w, int taps, int count, bool swapRedBlue, std::uint16_t* out);
    // Horizontal, 16-bit pixels to 8-bit.
    void (*horizontal16to8)(const std::uint16_t* src, int base, const std::int32_t* first,
                            const std::int16_t* w, int taps, int count, bool swapRedBlue, std::uint8_t* out);
    // Vertical, `taps` rows of 16-bit values (4 per pixel) to 8-bit; `values` =
    // pixels × 4. Each tap is rounded on its own in Q15 (as verticalTap16()), which
    // is exact for a copy and within 1/64 of a level otherwise. Returns whether
    // every alpha written (every fourth byte) is 255.
    bool (*vertical16to8)(const std::uint16_t* const* rows, const std::int16_t* w, int taps, int values,
                          std::uint8_t* out);
    // Vertical, rows of 8-bit values to 16-bit.
    void (*vertical8to16)(const std::uint8_t* const* rows, const std::int16_t* w, int taps, int values,
                          std::uint16_t* out);

    // Composites on premultiplied RGBA runs of `count` pixels; results
    // saturate at 255.
    // dst = src × (alpha ÷ 256) over dst; alpha 0 ... 256.
    void (*blendOver)(std::uint8_t* dst, const std::uint8_t* src, int count, int alpha);
    // dst = src over under (dst may be src).
    void (*blendOverInto)(std::uint8_t* dst, const std::uint8_t* src, const std::uint8_t* under, int count);
    // The picture-in-picture: layer = border + cam × weight (border alone when
    // cam is null), then dst = layer over (a black shadow of alpha 1 - keep
    // over dst); keep and weight are one byte per pixel, 255 = 1.
    void (*pipBlend)(std::uint8_t* dst, const std::uint8_t* cam, const std::uint8_t* keep,
                     const std::uint8_t* border, const std::uint8_t* weight, int count);

    // Two RGBA rows of `width` pixels to BT.709 limited-range YUV 4:2:0: two
    // luma rows (the second skipped when yBottom is null) and one row each of
    // U and V of (width + 1) / 2 samples, filtered [1 2 1] / 4 around the even
    // columns and averaged over the two rows.
    void (*rgbaToYuv420)(const std::uint8_t* top, const std::uint8_t* bottom, int width, std::uint8_t* yTop,
                         std::uint8_t* yBottom, std::uint8_t* u, std::uint8_t* v);
};

// BT.709 limited range, Q15: Y = 16 + 219 ÷ 255 × (Kr R + Kg G + Kb B) with
// Kr = 0.2126, Kb = 0.0722, from 0 ... 255 RGB; U and V = 128 + 224 ÷ 255 ×
// (B - Y′) ÷ 1.8556 and (R - Y′) ÷ 1.5748, from RGB sums of eight taps
// (0 ... 2040, hence the extra ÷ 8 folded into these).
inline constexpr int kLumaR = 5983;
inline constexpr int kLumaG = 20127;
inline constexpr int kLumaB = 2032;
inline constexpr int kCbR = -412;
inline constexpr int kCbG = -1387;
inline constexpr int kCbB = 1799;
inline constexpr int kCrR = 1799;
inline constexpr int kCrG = -1634;
inline constexpr int kCrB = -165;

// The fastest set this processor runs.
const Kernels& bestKernels();
// Plain C++, the reference the others are tested against.
const Kernels& portableKernels();
// Every set this processor runs, portable first.
std::vector<const Kernels*> availableKernels();

// The Q14 weight as Q15, held below 1.0 (32767) to fit 16 signed bits.
inline int q15(std::int16_t w) {
    return w >= kWeightOne ? 32767 : 2 * w;
}

// One tap of the 16-to-8-bit vertical pass: value × weight in Q15, rounded.
inline int verticalTap16(int value, int weightQ15) {
    return (value * weightQ15 + 16384) >> 15;
}

// The vertical passes for values begin ... end - 1, one value at a time.
inline bool vertical16to8Scalar(const std::uint16_t* const* rows, const std::int16_t* w, int taps, int begin,
                                int end, std::uint8_t* out) {
    int alphas = 255;
    for (int j = begin; j < end; ++j) {
        int sum = 32;
        for (int k = 0; k < taps; ++k) sum += verticalTap16(rows[k][j], q15(w[k]));
        out[j] = static_cast<std::uint8_t>(sum >> 6 > 255 ? 255 : sum >> 6);
        if ((j & 3) == 3) alphas &= out[j];
    }
    return alphas == 255;
}

inline void vertical8to16Scalar(const std::uint8_t* const* rows, const std::int16_t* w, int taps, int begin,
                                int end, std::uint16_t* out) {
    for (int j = begin; j < end; ++j) {
        std::int32_t acc = 128;
        for (int k = 0; k < taps; ++k) acc += rows[k][j] * w[k];
        out[j] = static_cast<std::uint16_t>(acc >> 8);
    }
}

// x × y ÷ 255, rounded, for 0 ≤ x, y ≤ 255.
inline int mul255(int x, int y) {
    const int v = x * y + 128;
    return (v + (v >> 8)) >> 8;
}

}  // namespace vorpix::render::detail
