#pragma once

// A private X server for one test: Xvfb on a display number it picks itself
// (-displayfd), with XInput 2, plus an XCB connection to draw a window and
// drive the pointer through XTest. Never touches the user's display.

#include <sys/types.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <string>

namespace vorpix::capture::test {

class XvfbSession {
public:
    XvfbSession(int width, int height);
    ~XvfbSession();
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    bool ok() const { return connection_ != nullptr; }
    const std::string& display() const { return display_; }  // ":N"

    // A window with a solid background colour (0xRRGGBB), shown at once.
    void showWindow(int x, int y, int width, int height, std::uint32_t rgb);
    void moveWindow(int x, int y, std::uint32_t rgb);
    // XTest: pointer to (x, y), button press / release; returns after the
    // server has handled it.
    void movePointer(int x, int y);
    void button(int number, bool down);

private:
    void sync();

    pid_t server_ = -1;
    std::string display_;
    xcb_connection_t* connection_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    xcb_window_t window_ = 0;
};

}  // namespace vorpix::capture::test
