// Pixel conversions: the direct RGBA to BT.709 4:2:0 pass against the
// defining formulas, and decoded YUV to the renderer's BGRA.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "support/TempFolder.h"
#include "TestMedia.h"
#include "media/PixelConversion.h"
#include "media/VideoReader.h"

namespace vorpix::media {
namespace {

struct Yuv {
    double y, u, v;
};

// BT.709, limited range, straight from the definitions.
Yuv reference(double r, double g, double b) {
    const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    return {16 + 219 * y / 255, 128 + 224 * (b - y) / 1.8556 / 255, 128 + 224 * (r - y) / 1.5748 / 255};
}

FramePtr yuvFrame(int width, int height) {
    FramePtr f = makeFrame();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = width;
    f->height = height;
    EXPECT_EQ(av_frame_get_buffer(f.get(), 64), 0);
    return f;
}

TEST(RgbaToYuv420, KnownColours) {
    struct Case {
        std::uint8_t r, g, b;
        int y, u, v;
    };
    const Case cases[] = {
        {255, 255, 255, 235, 128, 128}, {0, 0, 0, 16, 128, 128},  {128, 128, 128, 126, 128, 128},
        {255, 0, 0, 63, 102, 240},      {0, 255, 0, 173, 42, 26}, {0, 0, 255, 32, 240, 118},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> rgba(4 * 4 * 2);
        for (std::size_t i = 0; i < rgba.size(); i += 4) {
            rgba[i] = c.r;
            rgba[i + 1] = c.g;
            rgba[i + 2] = c.b;
            rgba[i + 3] = 255;
        }
        FramePtr f = yuvFrame(4, 2);
        rgbaToYuv420(rgba.data(), 16, *f, 0, 2);
        EXPECT_EQ(f->data[0][0], c.y) << int(c.r) << "," << int(c.g) << "," << int(c.b);
        EXPECT_EQ(f->data[0][f->linesize[0] + 3], c.y);
        EXPECT_EQ(f->data[1][1], c.u);
        EXPECT_EQ(f->data[2][1], c.v);
    }
}

TEST(RgbaToYuv420, RandomPicturesMatchTheFormulasWithinOneStep) {
    std::mt19937 random(11);
    const int w = 38, h = 24;
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(w * h * 4));
    for (auto& byte : rgba) byte = static_cast<std::uint8_t>(random());
    FramePtr f = yuvFrame(w, h);
    // In two halves, as two threads would.
    rgbaToYuv420(rgba.data(), w * 4, *f, 0, 12);
    rgbaToYuv420(rgba.data(), w * 4, *f, 12, 24);
    auto px = [&](int x, int y, int c) {
        return static_cast<double>(rgba[static_cast<std::size_t>((y * w + x) * 4 + c)]);
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Yuv e = reference(px(x, y, 0), px(x, y, 1), px(x, y, 2));
            ASSERT_NEAR(f->data[0][y * f->linesize[0] + x], e.y, 1.0) << x << "," << y;
        }
    }
    for (int y = 0; y < h / 2; ++y) {
        for (int x = 0; x < w / 2; ++x) {
            double r = 0, g = 0, b = 0;
            for (int k = 0; k < 4; ++k) {
                r += px(2 * x + k % 2, 2 * y + k / 2, 0) / 4;
                g += px(2 * x + k % 2, 2 * y + k / 2, 1) / 4;
                b += px(2 * x + k % 2, 2 * y + k / 2, 2) / 4;
            }
            const Yuv e = reference(r, g, b);
            ASSERT_NEAR(f->data[1][y * f->linesize[1] + x], e.u, 1.0) << x << "," << y;
            ASSERT_NEAR(f->data[2][y * f->linesize[2] + x], e.v, 1.0) << x << "," << y;
        }
    }
}

TEST(FrameConverter, DecodedBarsBecomeBlackAndWhiteBgraAtAnySize) {
    testing::TempFolder folder;
    testing::TestMovieRecipe recipe;
    recipe.frames = 3;
    ASSERT_TRUE(testing::writeTestMovie(folder / "bars.mov", recipe));
    auto reader = VideoReader::open(folder / "bars.mov");
    ASSERT_TRUE(reader);
    auto frame = (*reader)->frameAt(MediaTime::fromSeconds(2.0 / 30));  // index 2: 0000000010
    ASSERT_TRUE(frame);
    FrameConverter converter;
    for (auto [w, h] : {std::pair{320, 200}, std::pair{160, 100}, std::pair{640, 400}}) {
        auto bgra = converter.convert((*frame)->av(), AV_PIX_FMT_BGRA, w, h);
        ASSERT_TRUE(bgra) << bgra.error().message;
        ASSERT_EQ((*bgra)->width, w);
        auto at = [&](double fx) {
            return (*bgra)->data[0] + (h / 2) * (*bgra)->linesize[0] + 4 * int(fx * w);
        };
        // Band 8 of 10 is white, band 0 black; alpha opaque.
        EXPECT_GE(at(0.85)[0], 250);
        EXPECT_GE(at(0.85)[2], 250);
        EXPECT_LE(at(0.05)[1], 5);
        EXPECT_EQ(at(0.05)[3], 255);
    }
}

}  // namespace
}  // namespace vorpix::media
