// Rendering allocates nothing once warm: every frame of a preview or export
// goes through render(), so a heap allocation there is paid at 60 frames a
// second on every thread.

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

#include "TestImages.h"
#include "render/FrameRenderer.h"
#include "render/RowWorkers.h"

// The replaced operator new takes its memory from malloc, so free() is the
// matching release; GCC's mismatch warning cannot see through the replacement.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
// Counted on the rendering thread only: a row worker that first joins a
// frame late (it may sleep through the warm-up frames) sets up its own
// scratch rows once, which is per thread, not per frame.
thread_local bool counting = false;
std::atomic<long> allocations{0};
}  // namespace

// The whole family is replaced so that every allocation is counted and every
// release goes back to the allocator that made it.
namespace {
void* counted(std::size_t size, std::size_t alignment) noexcept {
    if (counting) allocations.fetch_add(1, std::memory_order_relaxed);
    if (size == 0) size = 1;
    if (alignment <= alignof(std::max_align_t)) return std::malloc(size);
    return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
}
void* countedOrThrow(std::size_t size, std::size_t alignment) {
    if (void* p = counted(size, alignment)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) {
    return countedOrThrow(size, 0);
}
void* operator new[](std::size_t size) {
    return countedOrThrow(size, 0);
}
void* operator new(std::size_t size, std::align_val_t a) {
    return countedOrThrow(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
    return countedOrThrow(size, static_cast<std::size_t>(a));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return counted(size, 0);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return counted(size, 0);
}
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return counted(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return counted(size, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace vorpix::render {
namespace {

TEST(Allocation, WarmRenderingAllocatesNothing) {
    model::StyleSettings style;  // shadow, cursor, ripples, PiP
    style.outputAspect = model::OutputAspect::landscape;
    model::ZoomSegment zoom;
    zoom.start = 0.2;
    zoom.end = 1.5;
    zoom.factor = 2.0;
    std::vector<model::MouseSample> samples;
    for (int i = 0; i < 300; ++i) samples.push_back({i / 120.0, 50 + i * 0.7, 60 + i * 0.4});
    const std::vector<model::ClickEvent> clicks = {{0.3, 100, 100, 0}, {0.5, 200, 120, 0}, {1.6, 150, 90, 0}};
    const FrameRenderer renderer({320, 200}, style, {zoom}, samples, clicks, true);
    const Image source = testing::makeScreen(320, 200, PixelFormat::bgra8);
    const Image webcam = testing::makeWebcam(64, 48);
    const ImageView cam = webcam.view();
    RowWorkers workers(2, "alloc-rows");
    Image out;
    // Warm-up: one pass over the scene, so every table has met its largest size.
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) counting = true;
        for (double t = 0.0; t < 2.5; t += 1.0 / 30) {
            renderer.render(source.view(), &cam, t, out);
            renderer.render(source.view(), &cam, t, out, &workers);
            renderer.render(source.view(), nullptr, t, out.mutableView(), &workers);
        }
        counting = false;
    }
    EXPECT_EQ(allocations.load(), 0);
}

}  // namespace
}  // namespace vorpix::render
