#pragma once

// RAII ownership of XCB handles, and opening a connection with one clear
// line when there is no X display. Each capture thread opens its own
// connection, so nothing here is shared between threads.

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "model/Result.h"

namespace vorpix::capture {

struct XcbConnectionDeleter {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using XcbConnectionPtr = std::unique_ptr<xcb_connection_t, XcbConnectionDeleter>;

// Replies and events are malloc'ed by XCB and freed with free().
struct XcbFree {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using XcbReply = std::unique_ptr<T, XcbFree>;

struct X11Connection {
    XcbConnectionPtr connection;
    xcb_screen_t* screen = nullptr;  // the default screen; owned by the connection
};

// Connects to `displayName` (empty: $DISPLAY). Fails with one line when
// DISPLAY is unset or the server cannot be reached.
Result<X11Connection> connectX11(const std::string& displayName);

}  // namespace vorpix::capture
