#include "render/Image.h"

#include <algorithm>
#include <cstring>

namespace vorpix::render {

Image::Image(int width, int height, PixelFormat format) {
    resize(width, height, format);
}

void Image::resize(int width, int height, PixelFormat format) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    format_ = format;
    const std::size_t bytes = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4;
    if (pixels_.size() < bytes) pixels_.resize(bytes);
}

void Image::fill(std::uint8_t value) {
    const std::size_t bytes = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4;
    if (bytes > 0) std::memset(pixels_.data(), value, bytes);
}

Rgba8 pixelAt(const ImageView& image, int x, int y) {
    const std::uint8_t* p = image.row(y) + static_cast<std::ptrdiff_t>(x) * 4;
    if (image.format == PixelFormat::bgra8) return {p[2], p[1], p[0], p[3]};
    return {p[0], p[1], p[2], p[3]};
}

}  // namespace vorpix::render
