#pragma once

// The X11 screen backend: displays from RandR monitors, grabs through
// MIT-SHM (X11Grabber) and the pointer through XCB (X11Pointer). Every call
// opens what it needs on its own connection, so a grabber or pointer can
// live on another thread than this object.

#include <string>

#include "capture/ScreenSource.h"

namespace vorpix::capture {

class X11Screen final : public ScreenBackend {
public:
    // `displayName` as for XOpenDisplay; empty: $DISPLAY.
    explicit X11Screen(std::string displayName = {}) : displayName_(std::move(displayName)) {}

    // RandR monitors (id: the monitor's first output, else its name atom;
    // name: the monitor's name, such as "DP-1"); the whole root window as one
    // display when the server lists no monitor.
    Result<std::vector<DisplayInfo>> displays() override;
    Result<std::unique_ptr<ScreenGrabber>> open(const PixelRect& area) override;
    Result<std::unique_ptr<PointerSource>> openPointer() override;

private:
    std::string displayName_;
};

}  // namespace vorpix::capture
