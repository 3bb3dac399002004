#pragma once

// Deterministic pictures for the renderer's tests and benchmark, and helpers
// to compare and save frames.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "render/Image.h"
#include "render/Png.h"

namespace vorpix::render::testing {

inline void setPixel(Image& image, int x, int y, Rgba8 c) {
    std::uint8_t* p = image.row(y) + x * 4;
    if (image.format() == PixelFormat::bgra8) {
        p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = c.a;
    } else {
        p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = c.a;
    }
}

// A desktop-like screen: a light backdrop with a fine 1-pixel grid, a window
// with a dark title bar, rows of "text" (alternating dark and light pixel
// runs) and four coloured blocks, one in each quadrant.
inline Image makeScreen(int width, int height, PixelFormat format = PixelFormat::rgba8) {
    Image image(width, height, format);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgba8 c{228, 230, 235, 255};
            if (x % 16 == 0 || y % 16 == 0) c = {200, 204, 212, 255};
            const bool inWindow = x > width / 8 && x < width * 7 / 8 && y > height / 8 && y < height * 7 / 8;
            if (inWindow) {
                c = {250, 250, 250, 255};
                if (y < height / 8 + height / 20) c = {60, 64, 72, 255};
                const int line = (y - height / 4) % 12;
                if (y > height / 4 && line < 7 && ((x / 3 + y / 12) % 9) < 6 && (x / 2) % 2 == 0)
                    c = {30, 30, 30, 255};
            }
            if (x < width / 2 && y < height / 2 && x > width / 16 && x < width / 5 && y > height / 16 &&
                y < height / 5)
                c = {220, 40, 40, 255};
            if (x >= width / 2 && y < height / 2 && x > width * 4 / 5 && x < width * 15 / 16 &&
                y > height / 16 && y < height / 5)
                c = {40, 180, 60, 255};
            if (x < width / 2 && y >= height / 2 && x > width / 16 && x < width / 5 && y > height * 4 / 5 &&
                y < height * 15 / 16)
                c = {40, 80, 220, 255};
            if (x >= width / 2 && y >= height / 2 && x > width * 4 / 5 && x < width * 15 / 16 &&
                y > height * 4 / 5 && y < height * 15 / 16)
                c = {240, 200, 30, 255};
            setPixel(image, x, y, c);
        }
    }
    return image;
}

// A webcam-like frame: a left half redder than the right, a face-coloured
// disc in the middle and a bright marker near the left edge, so that mirroring
// is visible.
inline Image makeWebcam(int width, int height, PixelFormat format = PixelFormat::rgba8) {
    Image image(width, height, format);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgba8 c = x < width / 2 ? Rgba8{150, 60, 60, 255} : Rgba8{60, 60, 150, 255};
            const double dx = x + 0.5 - width * 0.5;
            const double dy = y + 0.5 - height * 0.5;
            if (dx * dx + dy * dy < (height * 0.3) * (height * 0.3)) c = {225, 180, 150, 255};
            if (x < width / 10 && y > height * 2 / 5 && y < height * 3 / 5) c = {255, 255, 0, 255};
            setPixel(image, x, y, c);
        }
    }
    return image;
}

inline Image solidImage(int width, int height, Rgba8 c, PixelFormat format = PixelFormat::rgba8) {
    Image image(width, height, format);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) setPixel(image, x, y, c);
    return image;
}

// Largest difference of any channel between two images of one size, or 256
// when their sizes differ.
inline int maxChannelDifference(const ImageView& a, const ImageView& b) {
    if (a.width != b.width || a.height != b.height) return 256;
    int worst = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const Rgba8 p = pixelAt(a, x, y);
            const Rgba8 q = pixelAt(b, x, y);
            worst = std::max(
                {worst, std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b), std::abs(p.a - q.a)});
        }
    return worst;
}

inline double meanChannelDifference(const ImageView& a, const ImageView& b) {
    double sum = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const Rgba8 p = pixelAt(a, x, y);
            const Rgba8 q = pixelAt(b, x, y);
            sum += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b) + std::abs(p.a - q.a);
        }
    return sum / (4.0 * a.width * a.height);
}

// Writes `image` as <name>.png into the folder named by VORPIX_RENDER_PNG_DIR,
// when that is set, so a person can look at what a test rendered.
inline void saveForInspection(const ImageView& image, const std::string& name) {
    const char* folder = std::getenv("VORPIX_RENDER_PNG_DIR");
    if (folder == nullptr || *folder == '\0') return;
    std::filesystem::create_directories(folder);
    (void)writePng(std::filesystem::path(folder) / (name + ".png"), image);
}

}  // namespace vorpix::render::testing
