#pragma once

// Grabbed BGRX pictures into the encoder's BT.709 limited-range YUV 4:2:0,
// chroma as the mean of each 2 × 2 block: one pass from the X server's
// shared memory into the encoder's input frame. SSE2 (every x86-64) with a
// plain C++ tail and fallback, both with the same integer arithmetic, so
// their results are identical. About three times faster than libswscale's
// path for this pair of formats, which at 1080p60 is a third of a core.

#include <cstdint>

namespace vorpix::capture {

struct YuvPlanes {
    std::uint8_t* y = nullptr;
    std::uint8_t* u = nullptr;
    std::uint8_t* v = nullptr;
    int yStride = 0;  // bytes per row
    int uStride = 0;
    int vStride = 0;
};

// Converts the even part (width & ~1 × height & ~1) of a `width` × `height`
// picture whose rows are `stride` bytes apart. Single-threaded, no state.
void bgraToYuv420(const std::uint8_t* bgra, std::ptrdiff_t stride, int width, int height, const YuvPlanes& out);

// The same without SIMD: the reference the fast path is checked against.
void bgraToYuv420Portable(const std::uint8_t* bgra, std::ptrdiff_t stride, int width, int height,
                          const YuvPlanes& out);

}  // namespace vorpix::capture
