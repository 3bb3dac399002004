#include "capture/X11Connection.h"

#include "capture/CaptureErrors.h"

namespace vorpix::capture {

Result<X11Connection> connectX11(const std::string& displayName) {
    const char* name = displayName.empty() ? std::getenv("DISPLAY") : displayName.c_str();
    if (name == nullptr || *name == '\0') {
        return makeError(domain::kTavorin, codes::kNoDisplay,
                         "No X display to record: DISPLAY is not set (recording needs an X11 session).");
    }
    int screenNumber = 0;
    XcbConnectionPtr connection(xcb_connect(name, &screenNumber));
    if (!connection || xcb_connection_has_error(connection.get()) != 0) {
        return makeError(domain::kTavorin, codes::kNoDisplay,
                         std::string("Could not connect to the X display \"") + name + "\".");
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (int i = 0; i < screenNumber && it.rem > 0; ++i) xcb_screen_next(&it);
    if (it.rem == 0 || it.data == nullptr) {
        return makeError(domain::kTavorin, codes::kNoDisplay,
                         std::string("The X display \"") + name + "\" has no screen.");
    }
    X11Connection result;
    result.screen = it.data;
    result.connection = std::move(connection);
    return result;
}

}  // namespace vorpix::capture
