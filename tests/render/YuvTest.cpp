// YUV 4:2:0 output: BT.709 limited-range values, chroma siting, kernel
// equivalence and the fused renderer path matching a conversion of its RGBA
// frame.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "TestImages.h"
#include "render/FrameRenderer.h"
#include "render/Resample.h"
#include "render/RowWorkers.h"

namespace vorpix::render {
namespace {

struct Planes {
    int width;
    int height;
    std::vector<std::uint8_t> y;
    std::vector<std::uint8_t> u;
    std::vector<std::uint8_t> v;

    Planes(int w, int h)
        : width(w),
          height(h),
          y(static_cast<std::size_t>(w * h)),
          u(static_cast<std::size_t>((w + 1) / 2 * ((h + 1) / 2))),
          v(u.size()) {}
    Yuv420Planes view() { return {y.data(), width, u.data(), (width + 1) / 2, v.data(), (width + 1) / 2}; }
    bool operator==(const Planes& o) const { return y == o.y && u == o.u && v == o.v; }
};

// Converts a whole RGBA image with the given kernels.
Planes convert(const Image& rgba, const detail::Kernels& k) {
    Planes p(rgba.width(), rgba.height());
    for (int row = 0; row < rgba.height(); row += 2) {
        const bool single = row + 1 >= rgba.height();
        k.rgbaToYuv420(rgba.row(row), rgba.row(single ? row : row + 1), rgba.width(),
                       p.y.data() + row * p.width, single ? nullptr : p.y.data() + (row + 1) * p.width,
                       p.u.data() + row / 2 * ((p.width + 1) / 2),
                       p.v.data() + row / 2 * ((p.width + 1) / 2));
    }
    return p;
}

TEST(Yuv, PrimariesHaveTheirBt709LimitedRangeValues) {
    struct Case {
        Rgba8 rgb;
        int y, u, v;
    };
    const std::vector<Case> cases = {
        {{0, 0, 0, 255}, 16, 128, 128},   {{255, 255, 255, 255}, 235, 128, 128},
        {{255, 0, 0, 255}, 63, 102, 240}, {{0, 255, 0, 255}, 173, 42, 26},
        {{0, 0, 255, 255}, 32, 240, 118}, {{128, 128, 128, 255}, 126, 128, 128},
    };
    for (const detail::Kernels* k : detail::availableKernels()) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message()
                         << k->name << " " << int(c.rgb.r) << "," << int(c.rgb.g) << "," << int(c.rgb.b));
            const Planes p = convert(testing::solidImage(20, 2, c.rgb), *k);
            EXPECT_EQ(p.y[0], c.y);
            EXPECT_EQ(p.y[19 + 20], c.y);
            EXPECT_EQ(p.u[3], c.u);
            EXPECT_EQ(p.v[9], c.v);
        }
    }
}

TEST(Yuv, ChromaSitsOnTheEvenColumnsBetweenTheRows) {
    // One white column (odd, 5) on black: chroma samples 2 and 3 (columns 4
    // and 6) each see it with weight 1/4; the others not at all.
    Image image = testing::solidImage(16, 2, {0, 0, 0, 255});
    for (int y = 0; y < 2; ++y) testing::setPixel(image, 5, y, {0, 0, 255, 255});
    const Planes p = convert(image, detail::portableKernels());
    const int quarter = 128 + (112 + 2) / 4;  // a quarter of blue's +112
    EXPECT_EQ(p.u[1], 128);
    EXPECT_NEAR(p.u[2], quarter, 1);
    EXPECT_NEAR(p.u[3], quarter, 1);
    EXPECT_EQ(p.u[4], 128);
    // The same column in only the top row gives half of that.
    testing::setPixel(image, 5, 1, {0, 0, 0, 255});
    EXPECT_NEAR(convert(image, detail::portableKernels()).u[2], 128 + 112 / 8, 1);
}

TEST(Yuv, EveryKernelSetMatchesThePortableOne) {
    for (const detail::Kernels* k : detail::availableKernels()) {
        for (int width : {1, 2, 3, 15, 16, 17, 31, 32, 33, 100, 1921}) {
            for (int height : {1, 2, 3, 6}) {
                SCOPED_TRACE(::testing::Message() << k->name << " " << width << "x" << height);
                const Image image = testing::makeScreen(width, height);
                // Make the rows differ so that the vertical average matters.
                Image noisy = image;
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                        testing::setPixel(noisy, x, y,
                                          {static_cast<std::uint8_t>((x * 37 + y * 101) & 255),
                                           static_cast<std::uint8_t>((x * 11 + y * 7) & 255),
                                           static_cast<std::uint8_t>((x * 3 + y * 59) & 255), 255});
                EXPECT_TRUE(convert(noisy, *k) == convert(noisy, detail::portableKernels()));
            }
        }
    }
}

TEST(Yuv, FusedFrameEqualsTheConvertedRgbaFrame) {
    model::StyleSettings style;  // everything on
    model::ZoomSegment zoom;
    zoom.start = 0;
    zoom.end = 5;
    zoom.factor = 1.8;
    std::vector<model::MouseSample> samples;
    for (int i = 0; i < 300; ++i) samples.push_back({i / 120.0, 40 + i * 0.5, 30 + i * 0.3});
    RowWorkers workers(2, "yuv-rows");
    for (Size size : {Size{320, 200}, Size{161, 97}}) {
        for (model::OutputAspect aspect : {model::OutputAspect::source, model::OutputAspect::portrait}) {
            style.outputAspect = aspect;
            const FrameRenderer renderer(size, style, {zoom}, samples, {{1.0, 60, 40, 0}}, true);
            const Image source = testing::makeScreen(static_cast<int>(size.width),
                                                     static_cast<int>(size.height), PixelFormat::bgra8);
            const Image webcam = testing::makeWebcam(40, 30);
            const ImageView cam = webcam.view();
            for (double t : {0.0, 1.1, 2.0}) {
                SCOPED_TRACE(::testing::Message() << size.width << " " << toString(aspect) << " t " << t);
                Image rgba;
                renderer.render(source.view(), &cam, t, rgba);
                const Planes expected = convert(rgba, detail::portableKernels());
                Planes fused(renderer.outputWidth(), renderer.outputHeight());
                renderer.renderYuv420(source.view(), &cam, t, fused.view());
                EXPECT_TRUE(fused == expected);
                Planes threaded(renderer.outputWidth(), renderer.outputHeight());
                renderer.renderYuv420(source.view(), &cam, t, threaded.view(), &workers);
                EXPECT_TRUE(threaded == expected);
            }
        }
    }
}

}  // namespace
}  // namespace vorpix::render
