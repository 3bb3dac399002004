#pragma once

// Generated cameras for tests: no camera can exist on a build machine. A
// fake camera sends frames of a known colour sequence at a fixed rate on
// its own thread ("tavorin.webcam"), stamped on the host clock; it can also
// be busy, stay silent, or be unplugged after some frames.

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture/CameraSource.h"

namespace vorpix::capture {

struct FakeCameraSettings {
    int width = 1280;
    int height = 720;
    double framesPerSecond = 30;
    CameraPixelFormat format = CameraPixelFormat::yuyv;  // mjpeg sends bytes that are no JPEG
    bool busy = false;     // open() fails as a camera held by another program
    bool silent = false;   // starts but never sends a frame
    std::optional<int> unplugAfterFrames;  // then the failure handler runs once
};

// Frame n is a flat picture whose luma is fakeCameraLuma(n), so a test can tell
// which frames reached a movie.
int fakeCameraLuma(long frameIndex);

class FakeCameraBackend final : public CameraBackend {
public:
    FakeCameraBackend(std::vector<CameraDevice> devices, FakeCameraSettings settings)
        : devices_(std::move(devices)), settings_(settings) {}

    std::vector<CameraDevice> devices() const override { return devices_; }
    Result<std::unique_ptr<CameraSource>> open(const CameraDevice& device) override;

    // The id of the last camera opened, for tests of the device choice.
    std::string lastOpened() const { return lastOpened_; }

private:
    std::vector<CameraDevice> devices_;
    FakeCameraSettings settings_;
    std::string lastOpened_;
};

}  // namespace vorpix::capture
