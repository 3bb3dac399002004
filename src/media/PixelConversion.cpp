#include "media/PixelConversion.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace vorpix::media {

namespace {

// BT.709 limited range in Q16: Y = 16 + (Kr R + Kg G + Kb B) × 219/255,
// Cb and Cr = 128 + ... × 224/255.
constexpr int kYR = 11966;   // 0.2126 × 219/255 × 65536
constexpr int kYG = 40254;   // 0.7152 × 219/255 × 65536
constexpr int kYB = 4064;    // 0.0722 × 219/255 × 65536
constexpr int kUR = -6596;   // -0.1146 × 224/255 × 65536
constexpr int kUG = -22189;  // -0.3854 × 224/255 × 65536
constexpr int kUB = 28785;   // 0.5 × 224/255 × 65536
constexpr int kVR = 28785;
constexpr int kVG = -26145;  // -0.4542 × 224/255 × 65536
constexpr int kVB = -2640;   // -0.0458 × 224/255 × 65536
constexpr int kHalf = 1 << 15;

}  // namespace

void rgbaToYuv420(const std::uint8_t* rgba, std::ptrdiff_t strideBytes, AVFrame& dst, int rowBegin,
                  int rowEnd) {
    const int width = dst.width & ~1;
    for (int y = rowBegin; y < rowEnd; y += 2) {
        const std::uint8_t* top = rgba + y * strideBytes;
        const std::uint8_t* bottom = top + strideBytes;
        std::uint8_t* yTop = dst.data[0] + y * dst.linesize[0];
        std::uint8_t* yBottom = yTop + dst.linesize[0];
        std::uint8_t* u = dst.data[1] + (y / 2) * dst.linesize[1];
        std::uint8_t* v = dst.data[2] + (y / 2) * dst.linesize[2];
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = top + 4 * x;
            const std::uint8_t* q = bottom + 4 * x;
            yTop[x] = static_cast<std::uint8_t>(16 + ((kYR * p[0] + kYG * p[1] + kYB * p[2] + kHalf) >> 16));
            yBottom[x] =
                static_cast<std::uint8_t>(16 + ((kYR * q[0] + kYG * q[1] + kYB * q[2] + kHalf) >> 16));
        }
        for (int x = 0; x < width / 2; ++x) {
            const std::uint8_t* p = top + 8 * x;
            const std::uint8_t* q = bottom + 8 * x;
            // Sums of four pixels: the mean's factor 1/4 goes into the shift.
            const int r = p[0] + p[4] + q[0] + q[4];
            const int g = p[1] + p[5] + q[1] + q[5];
            const int b = p[2] + p[6] + q[2] + q[6];
            u[x] = static_cast<std::uint8_t>(128 + ((kUR * r + kUG * g + kUB * b + (1 << 17)) >> 18));
            v[x] = static_cast<std::uint8_t>(128 + ((kVR * r + kVG * g + kVB * b + (1 << 17)) >> 18));
        }
    }
}

Result<FramePtr> FrameConverter::convert(const AVFrame& frame, AVPixelFormat format, int width, int height) {
    const int space = frame.colorspace == AVCOL_SPC_UNSPECIFIED ? AVCOL_SPC_BT709 : frame.colorspace;
    const int range = frame.color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    if (!context_ || srcWidth_ != frame.width || srcHeight_ != frame.height || srcFormat_ != frame.format ||
        srcSpace_ != space || srcRange_ != range || dstWidth_ != width || dstHeight_ != height ||
        dstFormat_ != format) {
        context_.reset(sws_getContext(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
                                      width, height, format, SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!context_) {
            return makeError(kFFmpegDomain, AVERROR(EINVAL),
                             std::string("Cannot convert ") +
                                 av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame.format)) + " pictures");
        }
        const int* inTable = sws_getCoefficients(space);
        const int* outTable = sws_getCoefficients(AVCOL_SPC_BT709);
        // Brightness 0, contrast and saturation 1.0 in 16.16.
        sws_setColorspaceDetails(context_.get(), inTable, range, outTable, 1, 0, 1 << 16, 1 << 16);
        srcWidth_ = frame.width;
        srcHeight_ = frame.height;
        srcFormat_ = frame.format;
        srcSpace_ = space;
        srcRange_ = range;
        dstWidth_ = width;
        dstHeight_ = height;
        dstFormat_ = format;
    }
    auto pooled = pool_.get(format, width, height);
    if (!pooled) return pooled.error();
    FramePtr out = std::move(*pooled);
    const int err =
        sws_scale(context_.get(), frame.data, frame.linesize, 0, frame.height, out->data, out->linesize);
    if (err < 0) return ffmpegError(err, "Could not convert a picture");
    return out;
}

}  // namespace vorpix::media
