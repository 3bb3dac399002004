#include "capture/X11Pointer.h"

#include <xcb/xinput.h>

#include "capture/CaptureErrors.h"

namespace vorpix::capture {

Result<std::unique_ptr<X11Pointer>> X11Pointer::open(const std::string& displayName) {
    auto x = connectX11(displayName);
    if (!x) return x.error();
    std::unique_ptr<X11Pointer> p(new X11Pointer());
    p->x_ = std::move(*x);
    xcb_connection_t* c = p->x_.connection.get();

    const xcb_query_extension_reply_t* xi = xcb_get_extension_data(c, &xcb_input_id);
    if (xi == nullptr || xi->present == 0) return p;
    XcbReply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
    if (!version || version->major_version < 2) return p;
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
    XcbReply<xcb_generic_error_t> error(
        xcb_request_check(c, xcb_input_xi_select_events_checked(c, p->x_.screen->root, 1, &selection.head)));
    if (!error) p->xinputOpcode_ = xi->major_opcode;
    return p;
}

Result<PointerReading> X11Pointer::read() {
    xcb_connection_t* c = x_.connection.get();
    XcbReply<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, x_.screen->root), nullptr));
    if (!reply) {
        return makeError(domain::kTavorin, codes::kGrabFailed,
                         "The X display stopped answering; the pointer is no longer recorded.");
    }
    PointerReading reading;
    reading.x = reply->root_x;
    reading.y = reply->root_y;
    reading.left = (reply->mask & XCB_KEY_BUT_MASK_BUTTON_1) != 0;
    reading.right = (reply->mask & XCB_KEY_BUT_MASK_BUTTON_3) != 0;
    // The reply has pulled in every event the server sent before it.
    while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
        if ((event->response_type & 0x7f) != XCB_GE_GENERIC || xinputOpcode_ == 0) continue;
        const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event.get());
        if (generic->extension != xinputOpcode_ || generic->event_type != XCB_INPUT_RAW_BUTTON_PRESS) continue;
        const auto* press = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event.get());
        if (press->detail == 1) ++reading.leftPresses;
        if (press->detail == 3) ++reading.rightPresses;
    }
    return reading;
}

}  // namespace vorpix::capture
