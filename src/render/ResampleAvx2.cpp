// AVX2 versions of the resampling kernels, chosen at run time when the
// processor has AVX2. Each function carries the target attribute itself, so
// nothing here is compiled for AVX2 by accident and the rest of the program
// keeps running on any x86-64. Results are bit-identical to the portable
// kernels: the same Q14 products, sums and rounding, in 32-bit lanes.

#include "render/Resample.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <algorithm>
#include <cstring>

#define VORPIX_AVX2 __attribute__((target("avx2")))

namespace vorpix::render::detail {
namespace {

VORPIX_AVX2 inline __m128i load64(const void* p) {
    return _mm_loadl_epi64(static_cast<const __m128i*>(p));
}
VORPIX_AVX2 inline __m128i load32(const void* p) {
    int v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(v);
}
VORPIX_AVX2 inline std::int32_t weightPair(const std::int16_t* w) {
    std::int32_t v;
    std::memcpy(&v, w, 4);
    return v;
}

// Byte shuffles that turn two adjacent 4-byte pixels (bytes 0-7 or 8-15 of a
// lane) into the interleaved 16-bit pairs (c0 of pixel 0, c0 of pixel 1, ...)
// that _mm256_madd_epi16 multiplies by a weight pair; "swap" also exchanges red
// and blue.
VORPIX_AVX2 inline __m256i pairShuffle(bool swap, int offset) {
    const char o = static_cast<char>(offset);
    const char r = static_cast<char>(swap ? 2 : 0);
    const char b = static_cast<char>(swap ? 0 : 2);
    const char z = -1;
    const __m128i lane = _mm_setr_epi8(static_cast<char>(o + r), z, static_cast<char>(o + r + 4), z,
                                       static_cast<char>(o + 1), z, static_cast<char>(o + 5), z,
                                       static_cast<char>(o + b), z, static_cast<char>(o + b + 4), z,
                                       static_cast<char>(o + 3), z, static_cast<char>(o + 7), z);
    return _mm256_broadcastsi128_si256(lane);
}

// Same for two adjacent 16-bit pixels (16 bytes) of a lane.
VORPIX_AVX2 inline __m256i pairShuffle16(bool swap) {
    const char r = static_cast<char>(swap ? 4 : 0);
    const char b = static_cast<char>(swap ? 0 : 4);
    const __m128i lane = _mm_setr_epi8(r, static_cast<char>(r + 1), static_cast<char>(r + 8),
                                       static_cast<char>(r + 9), 2, 3, 10, 11, b, static_cast<char>(b + 1),
                                       static_cast<char>(b + 8), static_cast<char>(b + 9), 6, 7, 14, 15);
    return _mm256_broadcastsi128_si256(lane);
}

// One output pixel's 4 channels (32-bit sums) from taps pairs of 8-bit pixels,
// for two output pixels at once (lane 0: pixel a, lane 1: pixel b).
VORPIX_AVX2 inline __m256i sumTaps8(const std::uint8_t* pa, const std::uint8_t* pb, const std::int16_t* wa,
                                    const std::int16_t* wb, int taps, __m256i shuffle) {
    __m256i acc = _mm256_setzero_si256();
    int k = 0;
    for (; k + 1 < taps; k += 2) {
        const __m256i px = _mm256_set_m128i(load64(pb + k * 4), load64(pa + k * 4));
        const __m256i w =
            _mm256_set_m128i(_mm_set1_epi32(weightPair(wb + k)), _mm_set1_epi32(weightPair(wa + k)));
        acc = _mm256_add_epi32(acc, _mm256_madd_epi16(_mm256_shuffle_epi8(px, shuffle), w));
    }
    if (k < taps) {  // odd tap: the pair's second pixel may lie past the source, so read one pixel only
        const __m256i px = _mm256_set_m128i(load32(pb + k * 4), load32(pa + k * 4));
        const __m256i w = _mm256_set_m128i(_mm_set1_epi32(static_cast<std::uint16_t>(wb[k])),
                                           _mm_set1_epi32(static_cast<std::uint16_t>(wa[k])));
        acc = _mm256_add_epi32(acc, _mm256_madd_epi16(_mm256_shuffle_epi8(px, shuffle), w));
    }
    return acc;
}

VORPIX_AVX2 inline __m256i sumTaps16(const std::uint16_t* pa, const std::uint16_t* pb, const std::int16_t* wa,
                                     const std::int16_t* wb, int taps, __m256i shuffle) {
    __m256i acc = _mm256_setzero_si256();
    int k = 0;
    for (; k + 1 < taps; k += 2) {
        const __m256i px = _mm256_set_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pb + k * 4)),
                                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(pa + k * 4)));
        const __m256i w =
            _mm256_set_m128i(_mm_set1_epi32(weightPair(wb + k)), _mm_set1_epi32(weightPair(wa + k)));
        acc = _mm256_add_epi32(acc, _mm256_madd_epi16(_mm256_shuffle_epi8(px, shuffle), w));
    }
    if (k < taps) {
        const __m256i px = _mm256_set_m128i(load64(pb + k * 4), load64(pa + k * 4));
        const __m256i w = _mm256_set_m128i(_mm_set1_epi32(static_cast<std::uint16_t>(wb[k])),
                                           _mm_set1_epi32(static_cast<std::uint16_t>(wa[k])));
        acc = _mm256_add_epi32(acc, _mm256_madd_epi16(_mm256_shuffle_epi8(px, shuffle), w));
    }
    return acc;
}

VORPIX_AVX2 void avx2H8to16(const std::uint8_t* src, int base, const std::int32_t* first,
                            const std::int16_t* w, int taps, int count, bool swapRedBlue,
                            std::uint16_t* out) {
    const __m256i round = _mm256_set1_epi32(128);
    const __m256i lo = pairShuffle(swapRedBlue, 0);
    int i = 0;
    if (taps == 2) {
        const __m256i hi = pairShuffle(swapRedBlue, 8);
        const __m256i evens = _mm256_setr_epi32(0, 0, 0, 0, 2, 2, 2, 2);
        const __m256i odds = _mm256_setr_epi32(1, 1, 1, 1, 3, 3, 3, 3);
        for (; i + 4 <= count; i += 4) {
            const std::uint8_t* p0 = src + static_cast<std::ptrdiff_t>(first[i] - base) * 4;
            const std::uint8_t* p1 = src + static_cast<std::ptrdiff_t>(first[i + 1] - base) * 4;
            const std::uint8_t* p2 = src + static_cast<std::ptrdiff_t>(first[i + 2] - base) * 4;
            const std::uint8_t* p3 = src + static_cast<std::ptrdiff_t>(first[i + 3] - base) * 4;
            // Lane 0: pixels i, i + 1; lane 1: pixels i + 2, i + 3 (two source pixels each).
            const __m256i px = _mm256_set_m128i(_mm_unpacklo_epi64(load64(p2), load64(p3)),
                                                _mm_unpacklo_epi64(load64(p0), load64(p1)));
            const __m256i wq =
                _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w + i * 2)));
            const __m256i a =
                _mm256_madd_epi16(_mm256_shuffle_epi8(px, lo), _mm256_permutevar8x32_epi32(wq, evens));
            const __m256i b =
                _mm256_madd_epi16(_mm256_shuffle_epi8(px, hi), _mm256_permutevar8x32_epi32(wq, odds));
            const __m256i ra = _mm256_srai_epi32(_mm256_add_epi32(a, round), 8);
            const __m256i rb = _mm256_srai_epi32(_mm256_add_epi32(b, round), 8);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i * 4), _mm256_packus_epi32(ra, rb));
        }
    } else if (taps == 4) {
        // Lane 0 holds output pixel i's four source pixels, lane 1 pixel i + 1's;
        // one shuffle pairs up taps 0-1, another taps 2-3.
        const __m256i hi = pairShuffle(swapRedBlue, 8);
        const __m256i taps01 = _mm256_setr_epi32(0, 0, 0, 0, 2, 2, 2, 2);
        const __m256i taps23 = _mm256_setr_epi32(1, 1, 1, 1, 3, 3, 3, 3);
        for (; i + 4 <= count; i += 4) {
            __m256i sums[2];
            for (int h = 0; h < 2; ++h) {
                const int at = i + h * 2;
                const __m256i px =
                    _mm256_set_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(
                                         src + static_cast<std::ptrdiff_t>(first[at + 1] - base) * 4)),
                                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                                         src + static_cast<std::ptrdiff_t>(first[at] - base) * 4)));
                const __m256i wq =
                    _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w + at * 4)));
                const __m256i a =
                    _mm256_madd_epi16(_mm256_shuffle_epi8(px, lo), _mm256_permutevar8x32_epi32(wq, taps01));
                const __m256i b =
                    _mm256_madd_epi16(_mm256_shuffle_epi8(px, hi), _mm256_permutevar8x32_epi32(wq, taps23));
                sums[h] = _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(a, b), round), 8);
            }
            // packus: lane 0 = (i, i + 2), lane 1 = (i + 1, i + 3).
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i * 4),
                                _mm256_permute4x64_epi64(_mm256_packus_epi32(sums[0], sums[1]), 0xD8));
        }
    } else {
        for (; i + 2 <= count; i += 2) {
            const std::uint8_t* pa = src + static_cast<std::ptrdiff_t>(first[i] - base) * 4;
            const std::uint8_t* pb = src + static_cast<std::ptrdiff_t>(first[i + 1] - base) * 4;
            const __m256i s = sumTaps8(pa, pb, w + static_cast<std::ptrdiff_t>(i) * taps,
                                       w + static_cast<std::ptrdiff_t>(i + 1) * taps, taps, lo);
            const __m256i r = _mm256_srai_epi32(_mm256_add_epi32(s, round), 8);
            const __m128i packed =
                _mm_packus_epi32(_mm256_castsi256_si128(r), _mm256_extracti128_si256(r, 1));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i * 4), packed);
        }
    }
    if (i < count)
        portableKernels().horizontal8to16(src, base, first + i, w + static_cast<std::ptrdiff_t>(i) * taps,
                                          taps, count - i, swapRedBlue, out + i * 4);
}

VORPIX_AVX2 void avx2H16to8(const std::uint16_t* src, int base, const std::int32_t* first,
                            const std::int16_t* w, int taps, int count, bool swapRedBlue, std::uint8_t* out) {
    const __m256i round = _mm256_set1_epi32(1 << 19);
    const __m256i shuffle = pairShuffle16(swapRedBlue);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0);
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const std::int16_t* wi = w + static_cast<std::ptrdiff_t>(i) * taps;
        const std::uint16_t* p0 = src + static_cast<std::ptrdiff_t>(first[i] - base) * 4;
        const std::uint16_t* p1 = src + static_cast<std::ptrdiff_t>(first[i + 1] - base) * 4;
        const std::uint16_t* p2 = src + static_cast<std::ptrdiff_t>(first[i + 2] - base) * 4;
        const std::uint16_t* p3 = src + static_cast<std::ptrdiff_t>(first[i + 3] - base) * 4;
        const __m256i a = sumTaps16(p0, p1, wi, wi + taps, taps, shuffle);  // pixels i, i + 1
        const __m256i b = sumTaps16(p2, p3, wi + 2 * taps, wi + 3 * taps, taps, shuffle);
        const __m256i ra = _mm256_srai_epi32(_mm256_add_epi32(a, round), 20);
        const __m256i rb = _mm256_srai_epi32(_mm256_add_epi32(b, round), 20);
        // packs: lane 0 = (i, i + 2), lane 1 = (i + 1, i + 3); bytes then reorder to i ... i + 3.
        const __m256i words = _mm256_packs_epi32(ra, rb);
        const __m256i bytes = _mm256_packus_epi16(words, words);
        const __m256i ordered = _mm256_permutevar8x32_epi32(bytes, order);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i * 4), _mm256_castsi256_si128(ordered));
    }
    if (i < count)
        portableKernels().horizontal16to8(src, base, first + i, w + static_cast<std::ptrdiff_t>(i) * taps,
                                          taps, count - i, swapRedBlue, out + i * 4);
}

VORPIX_AVX2 bool avx2V16to8(const std::uint16_t* const* rows, const std::int16_t* w, int taps, int values,
                            std::uint8_t* out) {
    __m256i all = _mm256_set1_epi8(-1);
    int j = 0;
    for (; j + 32 <= values; j += 32) {
        __m256i lo = _mm256_set1_epi16(32);
        __m256i hi = lo;
        for (int k = 0; k < taps; ++k) {
            const __m256i q = _mm256_set1_epi16(static_cast<short>(q15(w[k])));
            lo = _mm256_add_epi16(
                lo,
                _mm256_mulhrs_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + j)), q));
            hi = _mm256_add_epi16(
                hi, _mm256_mulhrs_epi16(
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + j + 16)), q));
        }
        const __m256i bytes = _mm256_permute4x64_epi64(
            _mm256_packus_epi16(_mm256_srli_epi16(lo, 6), _mm256_srli_epi16(hi, 6)), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j), bytes);
        all = _mm256_and_si256(all, bytes);
    }
    const bool opaque = _mm256_testc_si256(all, _mm256_set1_epi32(static_cast<int>(0xFF000000u))) != 0;
    return vertical16to8Scalar(rows, w, taps, j, values, out) && opaque;
}

VORPIX_AVX2 void avx2V8to16(const std::uint8_t* const* rows, const std::int16_t* w, int taps, int values,
                            std::uint16_t* out) {
    const __m256i round = _mm256_set1_epi32(128);
    int j = 0;
    for (; j + 16 <= values; j += 16) {
        __m256i lo = round;
        __m256i hi = round;
        for (int k = 0; k < taps; k += 2) {
            const bool pair = k + 1 < taps;
            const std::int32_t wp = pair ? weightPair(w + k) : static_cast<std::uint16_t>(w[k]);
            const __m256i wv = _mm256_set1_epi32(wp);
            const __m256i a =
                _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + j)));
            const __m256i b =
                pair
                    ? _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k + 1] + j)))
                    : _mm256_setzero_si256();
            lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), wv));
            hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), wv));
        }
        const __m256i words = _mm256_packus_epi32(_mm256_srai_epi32(lo, 8), _mm256_srai_epi32(hi, 8));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j), words);
    }
    vertical8to16Scalar(rows, w, taps, j, values, out);
}

// x × y ÷ 255 rounded, per 16-bit lane, for x, y ≤ 255 (as mul255()).
VORPIX_AVX2 inline __m256i mul255x16(__m256i x, __m256i y) {
    const __m256i t = _mm256_add_epi16(_mm256_mullo_epi16(x, y), _mm256_set1_epi16(128));
    return _mm256_srli_epi16(_mm256_add_epi16(t, _mm256_srli_epi16(t, 8)), 8);
}

// Each pixel's alpha in all four of its 16-bit lanes.
VORPIX_AVX2 inline __m256i alphas(__m256i px) {
    return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(px, 0xFF), 0xFF);
}

VORPIX_AVX2 inline __m256i widen(const std::uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// Stores two 4-pixel 16-bit halves as 8 pixels of bytes, saturating.
VORPIX_AVX2 inline void narrowStore(std::uint8_t* p, __m256i lo, __m256i hi) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p),
                        _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8));
}

// One byte per pixel for pixels 0-3 (half 0) or 4-7 (half 1) of `bytes`,
// spread over each pixel's four 16-bit lanes.
VORPIX_AVX2 inline __m256i perPixel(__m256i wide8, int half) {
    const char b = static_cast<char>(half * 8);
    const __m256i pick =
        _mm256_setr_epi8(b, static_cast<char>(b + 1), b, static_cast<char>(b + 1), b,
                         static_cast<char>(b + 1), b, static_cast<char>(b + 1), static_cast<char>(b + 2),
                         static_cast<char>(b + 3), static_cast<char>(b + 2), static_cast<char>(b + 3),
                         static_cast<char>(b + 2), static_cast<char>(b + 3), static_cast<char>(b + 2),
                         static_cast<char>(b + 3), static_cast<char>(b + 4), static_cast<char>(b + 5),
                         static_cast<char>(b + 4), static_cast<char>(b + 5), static_cast<char>(b + 4),
                         static_cast<char>(b + 5), static_cast<char>(b + 4), static_cast<char>(b + 5),
                         static_cast<char>(b + 6), static_cast<char>(b + 7), static_cast<char>(b + 6),
                         static_cast<char>(b + 7), static_cast<char>(b + 6), static_cast<char>(b + 7),
                         static_cast<char>(b + 6), static_cast<char>(b + 7));
    return _mm256_shuffle_epi8(wide8, pick);
}

VORPIX_AVX2 void avx2BlendOver(std::uint8_t* dst, const std::uint8_t* src, int count, int alpha) {
    const __m256i a = _mm256_set1_epi16(static_cast<short>(alpha));
    const __m256i round = _mm256_set1_epi16(128);
    const __m256i full = _mm256_set1_epi16(255);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256i half[2];
        for (int h = 0; h < 2; ++h) {
            const __m256i s = _mm256_srli_epi16(
                _mm256_add_epi16(_mm256_mullo_epi16(widen(src + i * 4 + h * 16), a), round), 8);
            const __m256i d = widen(dst + i * 4 + h * 16);
            half[h] = _mm256_add_epi16(s, mul255x16(d, _mm256_sub_epi16(full, alphas(s))));
        }
        narrowStore(dst + i * 4, half[0], half[1]);
    }
    portableKernels().blendOver(dst + i * 4, src + i * 4, count - i, alpha);
}

VORPIX_AVX2 void avx2BlendOverInto(std::uint8_t* dst, const std::uint8_t* src, const std::uint8_t* under,
                                   int count) {
    const __m256i full = _mm256_set1_epi16(255);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256i half[2];
        for (int h = 0; h < 2; ++h) {
            const __m256i s = widen(src + i * 4 + h * 16);
            const __m256i u = widen(under + i * 4 + h * 16);
            half[h] = _mm256_add_epi16(s, mul255x16(u, _mm256_sub_epi16(full, alphas(s))));
        }
        narrowStore(dst + i * 4, half[0], half[1]);
    }
    portableKernels().blendOverInto(dst + i * 4, src + i * 4, under + i * 4, count - i);
}

VORPIX_AVX2 void avx2PipBlend(std::uint8_t* dst, const std::uint8_t* cam, const std::uint8_t* keep,
                              const std::uint8_t* border, const std::uint8_t* weight, int count) {
    const __m256i full = _mm256_set1_epi16(255);
    const __m256i alphaLanes = _mm256_set1_epi64x(static_cast<long long>(0xFFFF000000000000ULL));
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i keep16 = _mm256_broadcastsi128_si256(_mm_cvtepu8_epi16(load64(keep + i)));
        const __m256i weight16 = _mm256_broadcastsi128_si256(_mm_cvtepu8_epi16(load64(weight + i)));
        __m256i half[2];
        for (int h = 0; h < 2; ++h) {
            __m256i layer = widen(border + i * 4 + h * 16);
            if (cam != nullptr)
                layer = _mm256_min_epu16(full, _mm256_add_epi16(layer, mul255x16(widen(cam + i * 4 + h * 16),
                                                                                 perPixel(weight16, h))));
            // Under the layer: the black shadow (alpha 255 - keep) over dst.
            const __m256i keepPx = perPixel(keep16, h);
            const __m256i under =
                _mm256_add_epi16(mul255x16(widen(dst + i * 4 + h * 16), keepPx),
                                 _mm256_and_si256(_mm256_sub_epi16(full, keepPx), alphaLanes));
            half[h] = _mm256_add_epi16(layer, mul255x16(under, _mm256_sub_epi16(full, alphas(layer))));
        }
        narrowStore(dst + i * 4, half[0], half[1]);
    }
    portableKernels().pipBlend(dst + i * 4, cam ? cam + i * 4 : nullptr, keep + i, border + i * 4, weight + i,
                               count - i);
}

// A pixel's (R, B) and (G, A) as 16-bit pairs in its 32-bit lane.
VORPIX_AVX2 inline __m256i redBlue(__m256i px) {
    return _mm256_and_si256(px, _mm256_set1_epi32(0x00FF00FF));
}
VORPIX_AVX2 inline __m256i greenAlpha(__m256i px) {
    return _mm256_and_si256(_mm256_srli_epi32(px, 8), _mm256_set1_epi32(0x00FF00FF));
}

// Per 32-bit lane: R × kr + B × kb + G × kg, from (R, B) and (G, A) pairs.
VORPIX_AVX2 inline __m256i weighted(__m256i rb, __m256i ga, int kr, int kg, int kb) {
    const __m256i krb =
        _mm256_set1_epi32(static_cast<int>((static_cast<unsigned>(kb) << 16) | (kr & 0xFFFF)));
    const __m256i kga = _mm256_set1_epi32(kg & 0xFFFF);
    return _mm256_add_epi32(_mm256_madd_epi16(rb, krb), _mm256_madd_epi16(ga, kga));
}

// Eight 32-bit values to eight bytes: (v + (1 << 14)) >> 15, plus `offset`, saturated.
VORPIX_AVX2 inline std::int64_t narrow8(__m256i v, int offset) {
    const __m256i r = _mm256_add_epi32(_mm256_srai_epi32(_mm256_add_epi32(v, _mm256_set1_epi32(1 << 14)), 15),
                                       _mm256_set1_epi32(offset));
    const __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(r), _mm256_extracti128_si256(r, 1));
    return _mm_cvtsi128_si64(_mm_packus_epi16(words, words));
}

VORPIX_AVX2 inline __m256i loadPixels(const std::uint8_t* row, int x) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + static_cast<std::ptrdiff_t>(x) * 4));
}

VORPIX_AVX2 void avx2LumaRow(const std::uint8_t* row, int width, std::uint8_t* out) {
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m256i px = loadPixels(row, x);
        const std::int64_t bytes = narrow8(weighted(redBlue(px), greenAlpha(px), kLumaR, kLumaG, kLumaB), 16);
        std::memcpy(out + x, &bytes, 8);
    }
    for (; x < width; ++x)
        out[x] = static_cast<std::uint8_t>(
            16 +
            ((kLumaR * row[x * 4] + kLumaG * row[x * 4 + 1] + kLumaB * row[x * 4 + 2] + (1 << 14)) >> 15));
}

// Chroma sample i from the [1 2 1] sums around column 2i of both rows, as the portable kernel.
inline void chromaScalar(const std::uint8_t* top, const std::uint8_t* bottom, int width, int i,
                         std::uint8_t* u, std::uint8_t* v) {
    const int c = 2 * i;
    const int l = std::max(c - 1, 0) * 4;
    const int r = std::min(c + 1, width - 1) * 4;
    int sum[3];
    for (int k = 0; k < 3; ++k)
        sum[k] = top[l + k] + 2 * top[c * 4 + k] + top[r + k] + bottom[l + k] + 2 * bottom[c * 4 + k] +
                 bottom[r + k];
    const auto chroma = [&](int cr, int cg, int cb) {
        return static_cast<std::uint8_t>(
            std::clamp(128 + ((cr * sum[0] + cg * sum[1] + cb * sum[2] + (1 << 14)) >> 15), 0, 255));
    };
    u[i] = chroma(kCbR, kCbG, kCbB);
    v[i] = chroma(kCrR, kCrG, kCrB);
}

VORPIX_AVX2 void avx2RgbaToYuv420(const std::uint8_t* top, const std::uint8_t* bottom, int width,
                                  std::uint8_t* yTop, std::uint8_t* yBottom, std::uint8_t* u,
                                  std::uint8_t* v) {
    avx2LumaRow(top, width, yTop);
    if (yBottom != nullptr) avx2LumaRow(bottom, width, yBottom);

    // Chroma, eight samples (sixteen pixels) at a time. For every pixel the
    // [1 2 1] sum of both rows comes from three unaligned loads per row (the
    // pixel, its left and its right neighbour); only the even pixels are kept.
    const int chromaCount = (width + 1) / 2;
    int i = 0;
    if (chromaCount > 0) chromaScalar(top, bottom, width, i++, u, v);  // column 0 has no left neighbour
    for (; 2 * i + 17 <= width && i + 8 <= chromaCount; i += 8) {
        __m256i us[2];
        __m256i vs[2];
        for (int h = 0; h < 2; ++h) {
            const int c = 2 * i + h * 8;
            __m256i rb = _mm256_setzero_si256();
            __m256i ga = _mm256_setzero_si256();
            for (const std::uint8_t* row : {top, bottom}) {
                const __m256i left = loadPixels(row, c - 1);
                const __m256i centre = loadPixels(row, c);
                const __m256i right = loadPixels(row, c + 1);
                rb = _mm256_add_epi16(rb, _mm256_add_epi16(_mm256_add_epi16(redBlue(left), redBlue(right)),
                                                           _mm256_slli_epi16(redBlue(centre), 1)));
                ga = _mm256_add_epi16(ga,
                                      _mm256_add_epi16(_mm256_add_epi16(greenAlpha(left), greenAlpha(right)),
                                                       _mm256_slli_epi16(greenAlpha(centre), 1)));
            }
            us[h] = weighted(rb, ga, kCbR, kCbG, kCbB);
            vs[h] = weighted(rb, ga, kCrR, kCrG, kCrB);
        }
        // Even lanes of both halves, in order: a0 b0 a2 b2 ... then a0 a2 a4 a6 b0 b2 b4 b6.
        const __m256i order = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
        const auto evensOf = [&](const __m256i* x) VORPIX_AVX2 {
            return _mm256_permutevar8x32_epi32(_mm256_blend_epi32(x[0], _mm256_slli_epi64(x[1], 32), 0xAA),
                                               order);
        };
        const std::int64_t ub = narrow8(evensOf(us), 128);
        const std::int64_t vb = narrow8(evensOf(vs), 128);
        std::memcpy(u + i, &ub, 8);
        std::memcpy(v + i, &vb, 8);
    }
    for (; i < chromaCount; ++i) chromaScalar(top, bottom, width, i, u, v);
}

constexpr Kernels kAvx2{"avx2",        avx2H8to16,        avx2H16to8,   avx2V16to8,      avx2V8to16,
                        avx2BlendOver, avx2BlendOverInto, avx2PipBlend, avx2RgbaToYuv420};

}  // namespace

const Kernels* avx2Kernels() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? &kAvx2 : nullptr;
}

}  // namespace vorpix::render::detail

#else

namespace vorpix::render::detail {
const Kernels* avx2Kernels() {
    return nullptr;
}
}  // namespace vorpix::render::detail

#endif
