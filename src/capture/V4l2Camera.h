#pragma once

// Cameras through Video4Linux2: the devices under /dev/video* that can
// capture video, opened with memory-mapped streaming in MJPEG or YUYV at the
// offered size nearest 1280 x 720. The frame thread is "tavorin.webcam";
// frames carry the driver's capture time when it is on the monotonic clock.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "capture/CameraSource.h"

namespace vorpix::capture {

// One size a camera offers in one pixel format (a V4L2 fourcc).
struct V4l2Offer {
    std::uint32_t fourcc = 0;
    int width = 0;
    int height = 0;

    bool operator==(const V4l2Offer&) const = default;
};

// The offer to ask for: exactly 1280 x 720 when offered, else the size
// nearest it in pixel count (the larger of two equally near ones), MJPEG
// before YUYV at the same size because USB cameras send large YUYV
// pictures at a few frames a second. Formats other than MJPEG and YUYV are
// never chosen; none is left when nothing usable is offered.
std::optional<V4l2Offer> chooseV4l2Format(std::span<const V4l2Offer> offers);

// The frame layout of a chosen fourcc.
std::optional<CameraPixelFormat> cameraPixelFormat(std::uint32_t fourcc);

// The V4L2 cameras of this machine and a way to open them.
std::shared_ptr<CameraBackend> makeV4l2Cameras();

}  // namespace vorpix::capture
