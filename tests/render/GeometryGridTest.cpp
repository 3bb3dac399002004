// Any geometry renders: canvases and screens down to 1 × 1, every zoom, any
// frame time and absurd style values give a full, opaque frame (run under
// ASan: small canvases with a zoom once wrote past the filter set-up's scratch).

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "TestImages.h"
#include "render/FrameRenderer.h"

namespace vorpix::render {
namespace {

int translucent(const Image& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) count += image.row(y)[x * 4 + 3] != 255;
    return count;
}

TEST(GeometryGrid, EverySizeZoomAndTimeRendersAnOpaqueFrame) {
    const std::vector<Size> sizes = {{1, 1}, {2, 1}, {1, 3}, {5, 7}, {64, 36}, {97, 55}, {128, 72}, {300, 2}};
    const std::vector<double> factors = {1.0, 1.05, 2.0, 6.0, 1e6};
    const std::vector<double> times = {0.0,  0.2, 1.0, 1.9, -1.0, std::numeric_limits<double>::quiet_NaN(),
                                       1e300};
    const Image webcam = testing::makeWebcam(3, 2);
    const ImageView camera = webcam.view();
    for (model::OutputAspect aspect : {model::OutputAspect::source, model::OutputAspect::portrait}) {
        for (const Size& size : sizes) {
            const int w = static_cast<int>(size.width);
            const int h = static_cast<int>(size.height);
            const Image screen = testing::makeScreen(w, h);
            const std::vector<model::MouseSample> samples = {{0, 0, 0}, {1, size.width, size.height}};
            const std::vector<model::ClickEvent> clicks = {{0.1, size.width, 0, 0}, {0.9, 0, size.height, 0}};
            for (double factor : factors) {
                SCOPED_TRACE(::testing::Message() << w << "x" << h << " " << toString(aspect) << " ×" << factor);
                model::StyleSettings style;
                style.outputAspect = aspect;
                model::ZoomSegment zoom{.start = 0, .end = 2, .centerX = 0.8, .centerY = 0.2, .factor = factor};
                const FrameRenderer renderer(size, style, {zoom}, samples, clicks, true);
                Image frame;
                for (double t : times) {
                    renderer.render(screen.view(), &camera, t, frame);
                    ASSERT_EQ(frame.width(), renderer.outputWidth());
                    EXPECT_EQ(translucent(frame), 0) << "t " << t;
                }
                std::vector<std::uint8_t> yuv(static_cast<std::size_t>(frame.width() + 2) * (frame.height() + 2) * 2);
                const int cw = (frame.width() + 1) / 2;
                std::uint8_t* u = yuv.data() + static_cast<std::size_t>(frame.width()) * frame.height();
                std::uint8_t* v = u + static_cast<std::size_t>(cw) * ((frame.height() + 1) / 2);
                renderer.renderYuv420(screen.view(), &camera, 0.2,
                                      {yuv.data(), frame.width(), u, cw, v, cw});
            }
        }
    }
}

TEST(GeometryGrid, AbsurdStyleValuesRenderQuickly) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Image screen = testing::makeScreen(64, 36);
    const ImageView camera = screen.view();
    for (double v : {-1e300, -1.0, 0.0, 1e9, 1e300, inf, nan}) {
        SCOPED_TRACE(v);
        model::StyleSettings style;
        style.padding = style.cornerRadius = style.shadowOpacity = style.shadowRadius = v;
        style.cursorScale = style.cursorSmoothing = style.webcamSize = v;
        const FrameRenderer renderer({64, 36}, style, {}, {{0, 10, 10}}, {{0, 10, 10, 0}}, true);
        Image frame;
        renderer.render(screen.view(), &camera, 0.1, frame);
        EXPECT_EQ(translucent(frame), 0);
    }
}

}  // namespace
}  // namespace vorpix::render
