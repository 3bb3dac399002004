#pragma once

// Pixel buffers exchanged with the renderer. Every buffer holds 8-bit
// premultiplied colour, four bytes per pixel, rows top to bottom; `strideBytes`
// is the distance between the starts of two rows and may exceed width × 4.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace vorpix::render {

// Byte order of one pixel in memory.
enum class PixelFormat { rgba8, bgra8 };

// A read-only view of pixels owned by someone else (a decoded video frame, an
// Image). Valid only while the owner keeps the pixels alive and unchanged.
struct ImageView {
    const std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t strideBytes = 0;
    PixelFormat format = PixelFormat::rgba8;

    bool empty() const { return data == nullptr || width <= 0 || height <= 0; }
    const std::uint8_t* row(int y) const { return data + static_cast<std::ptrdiff_t>(y) * strideBytes; }
};

// A writable view of pixels owned by someone else.
struct MutableImageView {
    std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t strideBytes = 0;
    PixelFormat format = PixelFormat::rgba8;

    bool empty() const { return data == nullptr || width <= 0 || height <= 0; }
    std::uint8_t* row(int y) const { return data + static_cast<std::ptrdiff_t>(y) * strideBytes; }
    ImageView view() const { return {data, width, height, strideBytes, format}; }
};

// Leaves new elements uninitialised: a frame buffer is written before it is
// read, and zeroing tens of megabytes first costs more than rendering.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        if constexpr (sizeof...(Args) == 0)
            ::new (static_cast<void*>(p)) U;
        else
            ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// An owning, tightly packed buffer. Reusable: resizing to a size that fits the
// current allocation never allocates, so a caller that renders frame after
// frame into one Image allocates only for the first frame.
class Image {
public:
    Image() = default;
    Image(int width, int height, PixelFormat format = PixelFormat::rgba8);

    // Contents are unspecified afterwards. Negative sizes count as 0.
    void resize(int width, int height, PixelFormat format = PixelFormat::rgba8);
    // Every byte of every pixel set to `value` (0: transparent black).
    void fill(std::uint8_t value);

    int width() const { return width_; }
    int height() const { return height_; }
    PixelFormat format() const { return format_; }
    std::ptrdiff_t strideBytes() const { return static_cast<std::ptrdiff_t>(width_) * 4; }
    bool empty() const { return width_ <= 0 || height_ <= 0; }

    std::uint8_t* row(int y) { return pixels_.data() + y * strideBytes(); }
    const std::uint8_t* row(int y) const { return pixels_.data() + y * strideBytes(); }
    // The four bytes of pixel (x, y), in the image's own byte order.
    const std::uint8_t* pixel(int x, int y) const { return row(y) + static_cast<std::ptrdiff_t>(x) * 4; }

    ImageView view() const { return {pixels_.data(), width_, height_, strideBytes(), format_}; }
    MutableImageView mutableView() { return {pixels_.data(), width_, height_, strideBytes(), format_}; }

private:
    std::vector<std::uint8_t, UninitialisedAllocator<std::uint8_t>> pixels_;
    int width_ = 0;
    int height_ = 0;
    PixelFormat format_ = PixelFormat::rgba8;
};

// The three planes of an 8-bit YUV 4:2:0 frame of width × height: Y has
// width × height samples, U and V (width + 1) / 2 × (height + 1) / 2. Strides
// in bytes; the memory belongs to the caller.
struct Yuv420Planes {
    std::uint8_t* y = nullptr;
    std::ptrdiff_t yStride = 0;
    std::uint8_t* u = nullptr;
    std::ptrdiff_t uStride = 0;
    std::uint8_t* v = nullptr;
    std::ptrdiff_t vStride = 0;
};

// Colour of one pixel as red, green, blue, alpha whatever the byte order.
struct Rgba8 {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    std::uint8_t a = 0;
    bool operator==(const Rgba8&) const = default;
};

Rgba8 pixelAt(const ImageView& image, int x, int y);

}  // namespace vorpix::render
