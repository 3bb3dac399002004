// Keeps an X screen busy for the capture benchmark: 30 times a second it
// repaints a band of coloured blocks (like scrolling text) and moves a
// window across the screen, so every frame differs from the last.
//
//   capture_screen_animator <seconds>      (uses $DISPLAY)

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c) != 0) return 1;
    xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const int w = s->width_in_pixels;
    const int h = s->height_in_pixels;
    xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t values[] = {0x3060c0, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, s->root, 0, 0, static_cast<std::uint16_t>(w / 4),
                      static_cast<std::uint16_t>(h / 4), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c, window);
    xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, s->root, 0, nullptr);
    std::uint32_t seed = 1;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (int frame = 0; std::chrono::steady_clock::now() < end; ++frame) {
        std::vector<xcb_rectangle_t> blocks;
        for (int i = 0; i < 200; ++i) {
            const std::uint32_t colour = next() & 0xffffff;
            xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colour);
            const xcb_rectangle_t r{static_cast<std::int16_t>(next() % static_cast<std::uint32_t>(w)),
                                    static_cast<std::int16_t>(h / 2 + next() % static_cast<std::uint32_t>(h / 2)),
                                    static_cast<std::uint16_t>(8 + next() % 40), 12};
            xcb_poly_fill_rectangle(c, s->root, gc, 1, &r);
        }
        const std::uint32_t place[] = {static_cast<std::uint32_t>((frame * 7) % (w - w / 4)),
                                       static_cast<std::uint32_t>((frame * 3) % (h / 2))};
        xcb_configure_window(c, window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, place);
        xcb_flush(c);
        std::this_thread::sleep_for(std::chrono::milliseconds(33));
    }
    xcb_disconnect(c);
    return 0;
}
