#pragma once

// Pixel conversions between the decoders, the renderer and the encoder.
// FrameConverter wraps libswscale for decoded frames of any layout (to the
// renderer's BGRA, at any size); rgbaToYuv420 is a direct BT.709 pass for
// the encoder, about three times faster than libswscale's general path for
// that direction.

#include <cstdint>

#include "media/FFmpeg.h"
#include "media/VideoFrame.h"
#include "model/Result.h"

namespace vorpix::media {

// One conversion context, reused while the input and output stay alike.
// Single-threaded; one per thread.
class FrameConverter {
public:
    // A new frame of `width` × `height` in `format` holding `frame`'s picture,
    // scaled when the sizes differ. Colour: the frame's own matrix and range,
    // BT.709 limited range when it does not say.
    Result<FramePtr> convert(const AVFrame& frame, AVPixelFormat format, int width, int height);

private:
    SwsPtr context_;
    FramePool pool_;
    int srcWidth_ = 0;
    int srcHeight_ = 0;
    int srcFormat_ = -1;
    int srcSpace_ = -1;
    int srcRange_ = -1;
    int dstWidth_ = 0;
    int dstHeight_ = 0;
    int dstFormat_ = -1;
};

// Converts premultiplied RGBA (opaque, as the renderer's output is) to
// BT.709 limited-range YUV 4:2:0 planes of `dst` (AV_PIX_FMT_YUV420P, even
// size no larger than the source), chroma as the mean of each 2 × 2 block.
// Rows [rowBegin, rowEnd) of luma, both even, so several threads can share
// one frame.
void rgbaToYuv420(const std::uint8_t* rgba, std::ptrdiff_t strideBytes, AVFrame& dst, int rowBegin,
                  int rowEnd);

}  // namespace vorpix::media
