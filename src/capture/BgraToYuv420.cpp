#include "capture/BgraToYuv420.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vorpix::capture {

namespace {

// BT.709, Q15: luma 219 / 255 × (Kr, Kg, Kb); chroma 224 / 255 × the rows
// of the colour-difference matrix. Chroma is taken from sums of four pixels,
// so its shift is two bits longer.
constexpr int kYR = 5983, kYG = 20127, kYB = 2032;
constexpr int kUR = -3298, kUG = -11094, kUB = 14392;
constexpr int kVR = 14392, kVG = -13073, kVB = -1320;

inline std::uint8_t luma(const std::uint8_t* p) {
    return static_cast<std::uint8_t>(16 + ((kYR * p[2] + kYG * p[1] + kYB * p[0] + (1 << 14)) >> 15));
}

// Pixels [x0, x1) of rows y and y + 1, x0 and x1 even.
void convertPortable(const std::uint8_t* top, const std::uint8_t* bottom, int x0, int x1, std::uint8_t* yTop,
                     std::uint8_t* yBottom, std::uint8_t* u, std::uint8_t* v) {
    for (int x = x0; x < x1; x += 2) {
        const std::uint8_t* p = top + 4 * x;
        const std::uint8_t* q = bottom + 4 * x;
        yTop[x] = luma(p);
        yTop[x + 1] = luma(p + 4);
        yBottom[x] = luma(q);
        yBottom[x + 1] = luma(q + 4);
        const int b = p[0] + p[4] + q[0] + q[4];
        const int g = p[1] + p[5] + q[1] + q[5];
        const int r = p[2] + p[6] + q[2] + q[6];
        u[x / 2] = static_cast<std::uint8_t>(128 + ((kUR * r + kUG * g + kUB * b + (1 << 16)) >> 17));
        v[x / 2] = static_cast<std::uint8_t>(128 + ((kVR * r + kVG * g + kVB * b + (1 << 16)) >> 17));
    }
}

#if defined(__SSE2__)

// Per-pixel sums of the two madd lanes of each pixel: [a0 a1 a2 a3] and
// [b0 b1 b2 b3] hold (BG, R) pairs of four pixels.
inline __m128i pairSums(__m128i a, __m128i b) {
    const __m128 fa = _mm_castsi128_ps(a);
    const __m128 fb = _mm_castsi128_ps(b);
    return _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0))),
                         _mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1))));
}

// Luma of four pixels as four 32-bit values.
inline __m128i luma4(__m128i px, __m128i coef, __m128i zero) {
    const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi8(px, zero), coef);
    const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi8(px, zero), coef);
    return _mm_srai_epi32(_mm_add_epi32(pairSums(lo, hi), _mm_set1_epi32(1 << 14)), 15);
}

// 16 luma bytes of one row.
inline void luma16(const std::uint8_t* row, std::uint8_t* out, __m128i coef, __m128i zero) {
    const __m128i* p = reinterpret_cast<const __m128i*>(row);
    const __m128i a = _mm_packs_epi32(luma4(_mm_loadu_si128(p), coef, zero), luma4(_mm_loadu_si128(p + 1), coef, zero));
    const __m128i b =
        _mm_packs_epi32(luma4(_mm_loadu_si128(p + 2), coef, zero), luma4(_mm_loadu_si128(p + 3), coef, zero));
    const __m128i sixteen = _mm_set1_epi16(16);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_packus_epi16(_mm_add_epi16(a, sixteen), _mm_add_epi16(b, sixteen)));
}

// 2 × 2 sums of four pixels of two rows: [p01 B G R A, p23 B G R A] as u16.
inline __m128i blockSums(__m128i top, __m128i bottom, __m128i zero) {
    const __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(top, zero), _mm_unpacklo_epi8(bottom, zero));
    const __m128i hi = _mm_add_epi16(_mm_unpackhi_epi8(top, zero), _mm_unpackhi_epi8(bottom, zero));
    return _mm_unpacklo_epi64(_mm_add_epi16(lo, _mm_srli_si128(lo, 8)), _mm_add_epi16(hi, _mm_srli_si128(hi, 8)));
}

// Four chroma values from eight pixels of two rows (two block-sum vectors).
inline __m128i chroma4(__m128i s0, __m128i s1, __m128i coef) {
    const __m128i sum = pairSums(_mm_madd_epi16(s0, coef), _mm_madd_epi16(s1, coef));
    return _mm_add_epi32(_mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << 16)), 17), _mm_set1_epi32(128));
}

void convertSse2(const std::uint8_t* top, const std::uint8_t* bottom, int width, std::uint8_t* yTop,
                 std::uint8_t* yBottom, std::uint8_t* u, std::uint8_t* v) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i cy = _mm_setr_epi16(kYB, kYG, kYR, 0, kYB, kYG, kYR, 0);
    const __m128i cu = _mm_setr_epi16(kUB, kUG, kUR, 0, kUB, kUG, kUR, 0);
    const __m128i cv = _mm_setr_epi16(kVB, kVG, kVR, 0, kVB, kVG, kVR, 0);
    const int whole = width & ~15;
    for (int x = 0; x < whole; x += 16) {
        luma16(top + 4 * x, yTop + x, cy, zero);
        luma16(bottom + 4 * x, yBottom + x, cy, zero);
        const __m128i* t = reinterpret_cast<const __m128i*>(top + 4 * x);
        const __m128i* b = reinterpret_cast<const __m128i*>(bottom + 4 * x);
        __m128i sums[4];
        for (int i = 0; i < 4; ++i) sums[i] = blockSums(_mm_loadu_si128(t + i), _mm_loadu_si128(b + i), zero);
        const __m128i us = _mm_packs_epi32(chroma4(sums[0], sums[1], cu), chroma4(sums[2], sums[3], cu));
        const __m128i vs = _mm_packs_epi32(chroma4(sums[0], sums[1], cv), chroma4(sums[2], sums[3], cv));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(u + x / 2), _mm_packus_epi16(us, us));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(v + x / 2), _mm_packus_epi16(vs, vs));
    }
    convertPortable(top, bottom, whole, width, yTop, yBottom, u, v);
}

#endif

template <class Rows>
void eachRowPair(const std::uint8_t* bgra, std::ptrdiff_t stride, int width, int height, const YuvPlanes& out,
                 Rows rows) {
    width &= ~1;
    height &= ~1;
    for (int y = 0; y < height; y += 2) {
        const std::uint8_t* top = bgra + y * stride;
        rows(top, top + stride, width, out.y + y * out.yStride, out.y + (y + 1) * out.yStride,
             out.u + (y / 2) * out.uStride, out.v + (y / 2) * out.vStride);
    }
}

}  // namespace

void bgraToYuv420Portable(const std::uint8_t* bgra, std::ptrdiff_t stride, int width, int height,
                          const YuvPlanes& out) {
    eachRowPair(bgra, stride, width, height, out,
                [](const std::uint8_t* t, const std::uint8_t* b, int w, std::uint8_t* yt, std::uint8_t* yb,
                   std::uint8_t* u, std::uint8_t* v) { convertPortable(t, b, 0, w, yt, yb, u, v); });
}

void bgraToYuv420(const std::uint8_t* bgra, std::ptrdiff_t stride, int width, int height, const YuvPlanes& out) {
#if defined(__SSE2__)
    eachRowPair(bgra, stride, width, height, out, convertSse2);
#else
    bgraToYuv420Portable(bgra, stride, width, height, out);
#endif
}

}  // namespace vorpix::capture
