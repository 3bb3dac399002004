#include "capture/X11Screen.h"

#include <xcb/randr.h>

#include "capture/X11Connection.h"
#include "capture/X11Grabber.h"
#include "capture/X11Pointer.h"

namespace vorpix::capture {

Result<std::vector<DisplayInfo>> X11Screen::displays() {
    auto x = connectX11(displayName_);
    if (!x) return x.error();
    xcb_connection_t* c = x->connection.get();
    const xcb_screen_t& screen = *x->screen;
    std::vector<DisplayInfo> result;

    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (randr != nullptr && randr->present != 0) {
        XcbReply<xcb_randr_get_monitors_reply_t> monitors(
            xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, screen.root, 1), nullptr));
        if (monitors) {
            for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem > 0;
                 xcb_randr_monitor_info_next(&it)) {
                const xcb_randr_monitor_info_t& m = *it.data;
                DisplayInfo display;
                display.id = m.name;
                if (xcb_randr_monitor_info_outputs_length(&m) > 0)
                    display.id = xcb_randr_monitor_info_outputs(&m)[0];
                XcbReply<xcb_get_atom_name_reply_t> name(
                    xcb_get_atom_name_reply(c, xcb_get_atom_name(c, m.name), nullptr));
                if (name) {
                    display.name.assign(xcb_get_atom_name_name(name.get()),
                                        static_cast<std::size_t>(xcb_get_atom_name_name_length(name.get())));
                }
                display.bounds = PixelRect{m.x, m.y, m.width, m.height};
                if (display.name.empty()) display.name = "Display " + std::to_string(result.size() + 1);
                if (display.bounds.width > 0 && display.bounds.height > 0) result.push_back(std::move(display));
            }
        }
    }
    if (result.empty()) {
        DisplayInfo whole;
        whole.id = screen.root;
        whole.name = "Screen";
        whole.bounds = PixelRect{0, 0, screen.width_in_pixels, screen.height_in_pixels};
        result.push_back(std::move(whole));
    }
    return result;
}

Result<std::unique_ptr<ScreenGrabber>> X11Screen::open(const PixelRect& area) {
    auto grabber = X11Grabber::open(displayName_, area);
    if (!grabber) return grabber.error();
    return std::unique_ptr<ScreenGrabber>(std::move(*grabber));
}

Result<std::unique_ptr<PointerSource>> X11Screen::openPointer() {
    auto pointer = X11Pointer::open(displayName_);
    if (!pointer) return pointer.error();
    return std::unique_ptr<PointerSource>(std::move(*pointer));
}

}  // namespace vorpix::capture
