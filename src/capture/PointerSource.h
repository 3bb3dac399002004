#pragma once

// Where the pointer is and which buttons are down, read on demand by the
// input tracker. Backends: X11 (`xcb_query_pointer` plus XInput 2 raw button
// presses) and a scripted fake for tests.

#include "model/Result.h"

namespace vorpix::capture {

struct PointerReading {
    double x = 0;  // desktop pixels, top-left origin
    double y = 0;
    bool left = false;  // held now
    bool right = false;
    // Presses the backend saw as events since the previous reading, so that
    // a click shorter than the polling interval still counts.
    int leftPresses = 0;
    int rightPresses = 0;
};

class PointerSource {
public:
    virtual ~PointerSource() = default;
    // Single-threaded: the tracker's thread only. A failure means the
    // display is gone.
    virtual Result<PointerReading> read() = 0;
};

}  // namespace vorpix::capture
