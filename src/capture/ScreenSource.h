#pragma once

// The screen backend of a take: which displays there are, and a grabber that
// copies one rectangle of the desktop on demand. Backends: X11 (XCB with
// MIT-SHM) and a generated picture for tests. Pacing, time stamps and
// hand-over to the writer are ScreenCapture's job, not the backend's.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/PointerSource.h"
#include "model/Result.h"

namespace vorpix::capture {

// A rectangle of the desktop in pixels, top-left origin.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PixelRect&) const = default;
};

// One display (an X11 RandR monitor): its id, output name and place on the
// desktop. Pixels per point are 1.0 on X11.
struct DisplayInfo {
    std::uint32_t id = 0;
    std::string name;
    PixelRect bounds;
    double scale = 1.0;
    bool operator==(const DisplayInfo&) const = default;
};

// A grabbed picture: 32-bit BGRX rows (alpha undefined), valid until the
// next grab on the same grabber.
struct BgraView {
    const std::uint8_t* data = nullptr;
    std::ptrdiff_t stride = 0;  // bytes per row
    int width = 0;
    int height = 0;
};

class ScreenGrabber {
public:
    virtual ~ScreenGrabber() = default;
    // Copies the area now. Single-threaded: the capture thread only. A
    // failure means the display is gone; no later grab will succeed.
    virtual Result<BgraView> grab() = 0;
    // False when the backend knows the area has not changed since the last
    // grab, so the tick can be skipped (a still screen costs nothing).
    virtual bool changed() { return true; }
};

class ScreenBackend {
public:
    virtual ~ScreenBackend() = default;
    // The displays in the server's order. Fails with one line (no display
    // server, no connection).
    virtual Result<std::vector<DisplayInfo>> displays() = 0;
    // A grabber of `area` (desktop pixels, inside the desktop). The grabber
    // may be used from another thread than the one that opened it.
    virtual Result<std::unique_ptr<ScreenGrabber>> open(const PixelRect& area) = 0;
    // The pointer of the same desktop (see PointerSource.h).
    virtual Result<std::unique_ptr<PointerSource>> openPointer() = 0;
};

}  // namespace vorpix::capture
