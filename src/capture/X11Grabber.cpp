#include "capture/X11Grabber.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/damage.h>
#include <xcb/shm.h>

#include "capture/CaptureErrors.h"

namespace vorpix::capture {

namespace {

// Bits per pixel the server uses for `depth` (ZPixmap), 0 when not listed.
int bitsPerPixel(xcb_connection_t* c, std::uint8_t depth) {
    for (auto it = xcb_setup_pixmap_formats_iterator(xcb_get_setup(c)); it.rem > 0; xcb_format_next(&it)) {
        if (it.data->depth == depth) return it.data->bits_per_pixel;
    }
    return 0;
}

}  // namespace

Result<std::unique_ptr<X11Grabber>> X11Grabber::open(const std::string& displayName, const PixelRect& area) {
    auto x = connectX11(displayName);
    if (!x) return x.error();
    std::unique_ptr<X11Grabber> g(new X11Grabber());
    g->x_ = std::move(*x);
    g->area_ = area;
    xcb_connection_t* c = g->x_.connection.get();
    const xcb_screen_t& screen = *g->x_.screen;
    if (area.width <= 0 || area.height <= 0 || area.x < 0 || area.y < 0 ||
        area.x + area.width > screen.width_in_pixels || area.y + area.height > screen.height_in_pixels) {
        return makeError(domain::kTavorin, codes::kUnknownDisplay, "The area to record lies outside the screen.");
    }
    const int bpp = bitsPerPixel(c, screen.root_depth);
    if (bpp != 32 || screen.root_depth < 24) {
        return makeError(domain::kTavorin, codes::kDisplayFormat,
                         "This X display's pixel format (depth " + std::to_string(screen.root_depth) +
                             ", " + std::to_string(bpp) + " bits) cannot be recorded.");
    }

    // DAMAGE tells which ticks can be skipped: the server reports when the
    // root window's contents change, so a still screen is not grabbed.
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c, &xcb_damage_id);
    if (damage != nullptr && damage->present != 0) {
        XcbReply<xcb_damage_query_version_reply_t> version(
            xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
        if (version) {
            g->damage_ = xcb_generate_id(c);
            xcb_damage_create(c, g->damage_, screen.root, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
            g->damageEvent_ = static_cast<std::uint8_t>(damage->first_event + XCB_DAMAGE_NOTIFY);
        }
    }

    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    if (shm == nullptr || shm->present == 0) return g;  // GetImage fallback
    const std::size_t bytes = static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height) * 4;
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) return g;
    void* address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return g;
    }
    g->segment_ = xcb_generate_id(c);
    XcbReply<xcb_generic_error_t> error(
        xcb_request_check(c, xcb_shm_attach_checked(c, g->segment_, static_cast<std::uint32_t>(id), 0)));
    // Marked for removal at once: the kernel frees it when both sides have
    // detached, even if this process is killed.
    shmctl(id, IPC_RMID, nullptr);
    if (error) {
        shmdt(address);
        g->segment_ = 0;
        return g;
    }
    g->shmAddress_ = address;
    return g;
}

X11Grabber::~X11Grabber() {
    if (shmAddress_ != nullptr) {
        xcb_shm_detach(x_.connection.get(), segment_);
        xcb_flush(x_.connection.get());
        shmdt(shmAddress_);
    }
}

Error X11Grabber::lost() const {
    return makeError(domain::kTavorin, codes::kGrabFailed, "The X display stopped answering; the screen is no longer recorded.");
}

bool X11Grabber::changed() {
    if (damage_ == 0) return true;
    xcb_connection_t* c = x_.connection.get();
    while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
        if ((event->response_type & 0x7f) == damageEvent_) dirty_ = true;
    }
    return dirty_ || xcb_connection_has_error(c) != 0;
}

Result<BgraView> X11Grabber::grab() {
    xcb_connection_t* c = x_.connection.get();
    if (damage_ != 0) {
        // Cleared before the copy: a change during it is reported again.
        xcb_damage_subtract(c, damage_, XCB_NONE, XCB_NONE);
        dirty_ = false;
    }
    const auto x = static_cast<std::int16_t>(area_.x);
    const auto y = static_cast<std::int16_t>(area_.y);
    const auto w = static_cast<std::uint16_t>(area_.width);
    const auto h = static_cast<std::uint16_t>(area_.height);
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(area_.width) * 4;
    if (shmAddress_ != nullptr) {
        XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
            c, xcb_shm_get_image(c, x_.screen->root, x, y, w, h, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment_, 0),
            nullptr));
        if (!reply) return lost();
        return BgraView{static_cast<const std::uint8_t*>(shmAddress_), stride, area_.width, area_.height};
    }
    lastImage_.reset(xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, x_.screen->root, x, y, w, h, ~0u), nullptr));
    if (!lastImage_ || xcb_get_image_data_length(lastImage_.get()) < stride * area_.height) return lost();
    return BgraView{xcb_get_image_data(lastImage_.get()), stride, area_.width, area_.height};
}

}  // namespace vorpix::capture
