#pragma once

// Turns camera frames (packed YUYV, BGRA, or one MJPEG picture) into the
// planar frames the webcam movie's encoder takes, scaling when the sizes
// differ. Single-threaded: lives on the webcam thread of one take.

#include "capture/CameraSource.h"
#include "media/FFmpeg.h"
#include "model/Result.h"

namespace vorpix::capture {

class CameraFrameDecoder {
public:
    CameraFrameDecoder() = default;
    CameraFrameDecoder(const CameraFrameDecoder&) = delete;
    CameraFrameDecoder& operator=(const CameraFrameDecoder&) = delete;

    // Fills `out` (allocated, any size and pixel format sws can write) from
    // `frame`. A frame whose bytes are short of its size, or a JPEG that
    // does not decode, fails with one line and leaves `out` as it was.
    Result<void> decode(const CameraFrame& frame, AVFrame& out);

private:
    Result<void> scale(const std::uint8_t* const planes[], const int strides[], AVPixelFormat format,
                       bool fullRange, int width, int height, AVFrame& out);

    media::CodecContextPtr jpeg_;
    media::PacketPtr packet_;
    media::FramePtr picture_;
    media::SwsPtr sws_;
};

}  // namespace vorpix::capture
