#include "XvfbSession.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <vector>

namespace vorpix::capture::test {

XvfbSession::XvfbSession(int width, int height) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    server_ = ::fork();
    if (server_ == 0) {
        ::dup2(fds[1], 3);
        ::close(fds[0]);
        ::dup2(::open("/dev/null", O_WRONLY), 2);  // its notes on display numbers it skipped
        ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "+extension",
                 "XInputExtension", "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    char c = 0;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;  // written once the server listens
    ::close(fds[0]);
    if (number.empty()) return;
    display_ = ":" + number;
    int screenNumber = 0;
    connection_ = xcb_connect(display_.c_str(), &screenNumber);
    if (xcb_connection_has_error(connection_) != 0) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
        return;
    }
    screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
}

XvfbSession::~XvfbSession() {
    if (connection_ != nullptr) xcb_disconnect(connection_);
    if (server_ > 0) {
        ::kill(server_, SIGTERM);
        ::waitpid(server_, nullptr, 0);
    }
}

void XvfbSession::sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void XvfbSession::showWindow(int x, int y, int width, int height, std::uint32_t rgb) {
    window_ = xcb_generate_id(connection_);
    const std::uint32_t values[] = {rgb, 1};  // background, override-redirect
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen_->root, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(connection_, window_);
    sync();
}

void XvfbSession::moveWindow(int x, int y, std::uint32_t rgb) {
    const std::uint32_t place[] = {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)};
    xcb_change_window_attributes(connection_, window_, XCB_CW_BACK_PIXEL, &rgb);
    xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, place);
    xcb_clear_area(connection_, 0, window_, 0, 0, 0, 0);
    sync();
}

void XvfbSession::movePointer(int x, int y) {
    xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, screen_->root,
                        static_cast<std::int16_t>(x), static_cast<std::int16_t>(y), 0);
    sync();
}

void XvfbSession::button(int number, bool down) {
    xcb_test_fake_input(connection_, down ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, static_cast<std::uint8_t>(number),
                        XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync();
}

}  // namespace vorpix::capture::test
