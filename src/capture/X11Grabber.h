#pragma once

// Grabs one rectangle of the X11 root window per call. With MIT-SHM the
// server writes the pixels straight into a shared segment that the writer
// converts from, so a grab costs no copy on our side; without it (a remote
// display) it falls back to GetImage over the socket.

#include <memory>
#include <string>

#include "capture/ScreenSource.h"
#include "capture/X11Connection.h"

namespace vorpix::capture {

class X11Grabber final : public ScreenGrabber {
public:
    // Fails with one line when there is no display, the area leaves the
    // root window, or the root's pixels are not 32-bit.
    static Result<std::unique_ptr<X11Grabber>> open(const std::string& displayName, const PixelRect& area);
    ~X11Grabber() override;
    X11Grabber(const X11Grabber&) = delete;
    X11Grabber& operator=(const X11Grabber&) = delete;

    Result<BgraView> grab() override;
    // From DAMAGE events on the root window; always true without the
    // extension.
    bool changed() override;

    bool sharedMemory() const { return shmAddress_ != nullptr; }

private:
    X11Grabber() = default;
    Error lost() const;

    X11Connection x_;
    PixelRect area_;
    std::uint32_t segment_ = 0;       // XCB id of the attached segment
    void* shmAddress_ = nullptr;      // our mapping of it; null: GetImage fallback
    std::uint32_t damage_ = 0;        // 0: no DAMAGE extension
    std::uint8_t damageEvent_ = 0;    // its event code
    bool dirty_ = true;               // damage seen since the last grab
    XcbReply<xcb_get_image_reply_t> lastImage_;  // the fallback's last reply
};

}  // namespace vorpix::capture
