#pragma once

// The X11 pointer: position and held buttons from `xcb_query_pointer` on
// the root window (Button1 = left, Button3 = right), plus button presses
// from XInput 2 raw events on the root, which arrive even when another
// client grabs the pointer and count presses shorter than one poll.

#include <memory>
#include <string>

#include "capture/PointerSource.h"
#include "capture/X11Connection.h"

namespace vorpix::capture {

class X11Pointer final : public PointerSource {
public:
    // Without XInput 2 (an old server) only the poll's press edges count.
    static Result<std::unique_ptr<X11Pointer>> open(const std::string& displayName);

    Result<PointerReading> read() override;

    bool rawEvents() const { return xinputOpcode_ != 0; }

private:
    X11Pointer() = default;

    X11Connection x_;
    std::uint8_t xinputOpcode_ = 0;  // 0: XInput 2 is not there
};

}  // namespace vorpix::capture
