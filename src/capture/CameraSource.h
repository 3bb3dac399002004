#pragma once

// A camera of a take and the cameras of this machine. Backends: V4L2
// (V4l2Camera.h, real) and generated frames (FakeCamera.h, tests; no camera
// exists on a build machine). Frames arrive on the camera's own thread
// ("tavorin.webcam"), stamped on the host clock (HostClock.h).

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "model/Result.h"

namespace vorpix::capture {

// What the recorder shows in its camera menu: a stable id to persist (the
// device path for V4L2) and a name to show.
struct CameraDevice {
    std::string id;
    std::string name;

    bool operator==(const CameraDevice&) const = default;
};

// How a frame's bytes are laid out.
enum class CameraPixelFormat {
    yuyv,   // packed 4:2:2, Y0 U Y1 V, `stride` bytes per row
    mjpeg,  // one JPEG picture; `stride` unused
    bgra,   // packed 8-bit B G R A, `stride` bytes per row
};

struct CameraFrame {
    CameraPixelFormat format = CameraPixelFormat::yuyv;
    int width = 0;   // pixels
    int height = 0;  // pixels
    int stride = 0;  // bytes per row of packed formats
    std::span<const std::uint8_t> data;  // valid during the handler call only
    double hostTime = 0;                 // seconds (CLOCK_MONOTONIC) when it was captured
};

// One opened camera. Single-owner; start and stop may be called from any
// one thread (the recorder's control thread).
class CameraSource {
public:
    // Called on "tavorin.webcam" for each frame; must not block for long.
    using FrameHandler = std::function<void(const CameraFrame&)>;
    // Called at most once, on "tavorin.webcam", when the camera fails or is
    // unplugged mid-take; no frame follows it.
    using FailureHandler = std::function<void(const Error&)>;

    virtual ~CameraSource() = default;
    // Starts streaming. Fails with one line (a busy camera says so).
    virtual Result<void> start(FrameHandler onFrame, FailureHandler onFailure) = 0;
    // Stops; when it returns no handler is running or will run. Idempotent.
    virtual void stop() = 0;
};

// The cameras of this machine and a way to open one. Thread-safe.
class CameraBackend {
public:
    virtual ~CameraBackend() = default;
    // The cameras present now, in discovery order; the first is the default.
    virtual std::vector<CameraDevice> devices() const = 0;
    // Opens a camera and settles its format (1280 x 720 preferred). A camera
    // that another program holds fails here with one line.
    virtual Result<std::unique_ptr<CameraSource>> open(const CameraDevice& device) = 0;
};

}  // namespace vorpix::capture
