// Rendering allocates nothing once warm: every frame of a preview or export
// goes through render(), so a heap allocation there is paid at 60 frames a
// second on every thread.

#include <gtest/gtest.h>

#include <vector>

#include "TestImages.h"
#include "render/FrameRenderer.h"
#include "render/RowWorkers.h"
#include "support/AllocationCounter.h"

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
    // Counted on the rendering thread only: a row worker that first joins a
    // frame late (it may sleep through the warm-up pass) sets up its own
    // scratch rows once, which is per thread, not per frame.
    const auto scene = [&] {
        for (double t = 0.0; t < 2.5; t += 1.0 / 30) {
            renderer.render(source.view(), &cam, t, out);
            renderer.render(source.view(), &cam, t, out, &workers);
            renderer.render(source.view(), nullptr, t, out.mutableView(), &workers);
        }
    };
    scene();  // warm-up: every table meets its largest size
    const vorpix::testing::AllocationScope allocations;
    scene();
    EXPECT_EQ(allocations.count(), 0u);
}

}  // namespace
}  // namespace vorpix::render
