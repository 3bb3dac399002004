// Where things land on the canvas: canvas size per aspect, padding, the
// screen rectangle, the shadow switch, the PiP rectangle per corner, size and
// shape, and which sprites exist.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "render/FrameRenderer.h"

namespace vorpix::render {
namespace {

using model::OutputAspect;
using model::StyleSettings;
using model::WebcamCorner;

FrameRenderer makeRenderer(Size pixels, const StyleSettings& style, bool hasWebcam = false) {
    return FrameRenderer(pixels, style, {}, {}, {}, hasWebcam);
}

TEST(CanvasGeometry, CanvasSizePerAspect) {
    struct Case {
        Size source;
        OutputAspect aspect;
        Size expected;
    };
    const std::vector<Case> cases = {
        {{1440, 900}, OutputAspect::source, {1440, 900}},
        {{1440, 900}, OutputAspect::landscape, {1600, 900}},
        {{1440, 900}, OutputAspect::portrait, {1440, 2560}},
        {{1440, 900}, OutputAspect::square, {1440, 1440}},
        {{1920, 1080}, OutputAspect::landscape, {1920, 1080}},  // already 16:9: unchanged
        {{1080, 1920}, OutputAspect::portrait, {1080, 1920}},
        {{900, 1440}, OutputAspect::landscape, {2560, 1440}},     // tall source: keep the height
        {{3000, 1000}, OutputAspect::landscape, {3000, 1687.5}},  // wider than 16:9: keep the width
        {{1000, 1000}, OutputAspect::landscape, {16000.0 / 9.0, 1000}},
        {{0, 900}, OutputAspect::landscape, {0, 900}},  // degenerate sizes come back unchanged
        {{1440, -5}, OutputAspect::square, {1440, -5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.source.width << "x" << c.source.height << " " << toString(c.aspect));
        const Size got = FrameRenderer::canvasSize(c.source, c.aspect);
        EXPECT_DOUBLE_EQ(got.width, c.expected.width);
        EXPECT_DOUBLE_EQ(got.height, c.expected.height);
    }
}

TEST(CanvasGeometry, OutputFrameIsTheCanvasTruncated) {
    StyleSettings style;
    style.outputAspect = OutputAspect::landscape;
    const FrameRenderer renderer = makeRenderer({1000, 1000}, style);
    EXPECT_DOUBLE_EQ(renderer.canvasSize().width, 16000.0 / 9.0);
    EXPECT_EQ(renderer.outputWidth(), 1777);
    EXPECT_EQ(renderer.outputHeight(), 1000);
    style.outputAspect = OutputAspect::square;
    const FrameRenderer square = makeRenderer({1001, 1000}, style);
    EXPECT_EQ(square.outputWidth(), 1001);
    EXPECT_EQ(square.outputHeight(), 1001);
}

TEST(CanvasGeometry, NoPaddingFillsASourceCanvasExactly) {
    StyleSettings style;
    style.padding = 0;
    const FrameRenderer renderer = makeRenderer({1440, 900}, style);
    EXPECT_DOUBLE_EQ(renderer.screenScale(), 1.0);
    EXPECT_EQ(renderer.screenRect(), (Rect{0, 0, 1440, 900}));
}

TEST(CanvasGeometry, PaddingIsLimitedToAQuarterAndNeverNegative) {
    // 1600 × 900 canvas, short side 900: inset = 1800 × padding.
    struct Case {
        double padding;
        double effective;
    };
    const std::vector<Case> cases = {{-0.2, 0.0},
                                     {0.0, 0.0},
                                     {0.07, 0.07},
                                     {0.25, 0.25},
                                     {0.26, 0.25},
                                     {0.9, 0.25},
                                     {std::numeric_limits<double>::quiet_NaN(), 0.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.padding);
        StyleSettings style;
        style.outputAspect = OutputAspect::landscape;
        style.padding = c.padding;
        const FrameRenderer renderer = makeRenderer({1440, 900}, style);
        const double inset = 2.0 * 900 * c.effective;
        const double scale = std::min((1600 - inset) / 1440, (900 - inset) / 900);
        EXPECT_DOUBLE_EQ(renderer.screenScale(), scale);
        const Rect r = renderer.screenRect();
        EXPECT_DOUBLE_EQ(r.width, 1440 * scale);
        EXPECT_DOUBLE_EQ(r.height, 900 * scale);
        // Centred on the canvas.
        EXPECT_DOUBLE_EQ(r.midX(), 800);
        EXPECT_DOUBLE_EQ(r.midY(), 450);
        EXPECT_GE(renderer.screenScale(), 0.08);
    }
}

TEST(CanvasGeometry, CornerRadiusScalesWithTheCanvasWidth) {
    StyleSettings style;
    style.cornerRadius = 18;
    EXPECT_DOUBLE_EQ(makeRenderer({1600, 900}, style).cornerRadius(), 18.0);
    EXPECT_DOUBLE_EQ(makeRenderer({3200, 1800}, style).cornerRadius(), 36.0);
    EXPECT_DOUBLE_EQ(makeRenderer({400, 300}, style).cornerRadius(), 4.5);
}

TEST(CanvasGeometry, ShadowOnlyAboveOnePercentOpacity) {
    StyleSettings style;
    for (const auto& [opacity, expected] : std::vector<std::pair<double, bool>>{
             {0.0, false}, {0.01, false}, {0.0101, true}, {0.55, true}, {1.0, true}}) {
        style.shadowOpacity = opacity;
        EXPECT_EQ(makeRenderer({320, 200}, style).hasShadow(), expected) << opacity;
    }
}

TEST(CanvasGeometry, PipSizeIsLimitedToTenToThirtyPercent) {
    struct Case {
        double size;
        double fraction;
    };
    const std::vector<Case> cases = {{0.05, 0.1}, {0.1, 0.1}, {0.18, 0.18}, {0.3, 0.3}, {0.5, 0.3}};
    for (const Case& c : cases) {
        for (bool circular : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.size << (circular ? " circle" : " rectangle"));
            StyleSettings style;
            style.webcamSize = c.size;
            style.webcamCircular = circular;
            const FrameRenderer renderer = makeRenderer({1600, 1000}, style, true);
            ASSERT_TRUE(renderer.pipRect().has_value());
            const Rect pip = *renderer.pipRect();
            EXPECT_DOUBLE_EQ(pip.width, 1600 * c.fraction);
            if (circular) {
                EXPECT_DOUBLE_EQ(pip.height, pip.width);
                EXPECT_DOUBLE_EQ(renderer.pipCornerRadius(), pip.height * 0.5);
            } else {
                EXPECT_DOUBLE_EQ(pip.height, pip.width * 9.0 / 16.0);
                EXPECT_DOUBLE_EQ(renderer.pipCornerRadius(), pip.height * 0.22);
            }
        }
    }
}

TEST(CanvasGeometry, PipSitsInTheChosenCornerWithAMargin) {
    // 1600 × 1000 canvas: margin = 1000 × 0.035 = 35; PiP 288 × 162 at size 0.18.
    struct Case {
        WebcamCorner corner;
        Point origin;  // top-left corner, y downward
    };
    const std::vector<Case> cases = {
        {WebcamCorner::topLeft, {35, 35}},
        {WebcamCorner::topRight, {1600 - 35 - 288, 35}},
        {WebcamCorner::bottomLeft, {35, 1000 - 35 - 162}},
        {WebcamCorner::bottomRight, {1600 - 35 - 288, 1000 - 35 - 162}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toString(c.corner));
        StyleSettings style;
        style.webcamCorner = c.corner;
        const FrameRenderer renderer = makeRenderer({1600, 1000}, style, true);
        ASSERT_TRUE(renderer.pipRect().has_value());
        EXPECT_NEAR(renderer.pipRect()->x, c.origin.x, 1e-9);
        EXPECT_NEAR(renderer.pipRect()->y, c.origin.y, 1e-9);
        EXPECT_NEAR(renderer.pipRect()->width, 288, 1e-9);
        EXPECT_NEAR(renderer.pipRect()->height, 162, 1e-9);
    }
}

TEST(CanvasGeometry, PipNeedsBothAWebcamTrackAndTheStyleSwitch) {
    StyleSettings style;
    style.webcamEnabled = true;
    EXPECT_FALSE(makeRenderer({320, 200}, style, false).pipRect().has_value());
    EXPECT_TRUE(makeRenderer({320, 200}, style, true).pipRect().has_value());
    style.webcamEnabled = false;
    EXPECT_FALSE(makeRenderer({320, 200}, style, true).pipRect().has_value());
}

TEST(CanvasGeometry, SpritesExistOnlyWhenSwitchedOn) {
    StyleSettings style;
    style.showCursor = true;
    style.clickRipples = false;
    const FrameRenderer withCursor = makeRenderer({320, 200}, style);
    EXPECT_TRUE(withCursor.hasCursorSprite());
    EXPECT_FALSE(withCursor.hasRippleSprite());
    // The arrow is drawn at two pixels per point, so it needs no normalising.
    EXPECT_DOUBLE_EQ(withCursor.cursorPixelScale(), 1.0);
    EXPECT_EQ(withCursor.cursorHotspot(), (Point{8, 8}));

    style.showCursor = false;
    style.clickRipples = true;
    const FrameRenderer withRipples = makeRenderer({320, 200}, style);
    EXPECT_FALSE(withRipples.hasCursorSprite());
    EXPECT_TRUE(withRipples.hasRippleSprite());
    EXPECT_EQ(withRipples.cursorHotspot(), (Point{0, 0}));
    EXPECT_DOUBLE_EQ(withRipples.cursorPixelScale(), 1.0);
}

}  // namespace
}  // namespace vorpix::render
