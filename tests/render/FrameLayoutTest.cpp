// The per-frame geometry: ripples (life, size, alpha, order), the cursor
// (hotspot, press pulse, idle hiding, bounds) and the camera transform.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "render/FrameRenderer.h"

namespace vorpix::render {
namespace {

using model::ClickEvent;
using model::MouseSample;
using model::OutputAspect;
using model::StyleSettings;
using model::ZoomSegment;

// 1600 × 1000 canvas from a 1600 × 1000 source with padding 0.1: unit 1,
// screen scale 0.8 (inset 200), screen rectangle (160, 100, 1280, 800).
constexpr Size kSource{1600, 1000};

StyleSettings paddedStyle() {
    StyleSettings style;
    style.padding = 0.1;
    style.cursorSmoothing = 0;  // raw positions, so expectations are exact
    return style;
}

TEST(FrameLayout, RippleGrowsFrom22To110UnitsAndFadesFrom80Percent) {
    const std::vector<ClickEvent> clicks = {{1.0, 400, 300, 0}};
    const FrameRenderer renderer(kSource, paddedStyle(), {}, {}, clicks, false);
    struct Case {
        double age;
        bool drawn;
    };
    for (const Case& c : std::vector<Case>{
             {-0.001, false}, {0.0, true}, {0.2, true}, {0.5499, true}, {0.55, false}, {3.0, false}}) {
        SCOPED_TRACE(c.age);
        const FrameLayout layout = renderer.layout(1.0 + c.age);
        ASSERT_EQ(layout.ripples.size(), c.drawn ? 1u : 0u);
        if (!c.drawn) continue;
        const double p = c.age / 0.55;
        const double e = 1 - p;
        const double d = (1 - e * e) * 88 + 22;
        const RipplePlacement& r = layout.ripples[0];
        EXPECT_NEAR(r.rect.width, d, 1e-9);
        EXPECT_NEAR(r.rect.height, d, 1e-9);
        EXPECT_NEAR(r.alpha, (1 - p) * 0.8, 1e-9);
        // Centred on the click: 0.8 × (400, 300) + (160, 100).
        EXPECT_NEAR(r.rect.midX(), 480, 1e-9);
        EXPECT_NEAR(r.rect.midY(), 340, 1e-9);
    }
    const FrameLayout atZero = renderer.layout(1.0);
    EXPECT_DOUBLE_EQ(atZero.ripples[0].rect.width, 22.0);
    EXPECT_DOUBLE_EQ(atZero.ripples[0].alpha, 0.8);
}

TEST(FrameLayout, RippleSizeScalesWithTheCanvas) {
    const std::vector<ClickEvent> clicks = {{0.0, 10, 10, 0}};
    const FrameRenderer renderer({3200, 2000}, paddedStyle(), {}, {}, clicks, false);
    EXPECT_DOUBLE_EQ(renderer.layout(0.0).ripples.at(0).rect.width, 44.0);  // unit 2
}

TEST(FrameLayout, ClicksOutsideTheSourceDrawNothing) {
    const std::vector<ClickEvent> clicks = {
        {0.0, -1, 10, 0},   {0.0, 10, -0.5, 0}, {0.0, 1600.5, 10, 0},
        {0.0, 10, 1001, 0}, {0.0, 0, 0, 0},     {0.0, 1600, 1000, 0},  // the edges themselves count as inside
    };
    const FrameRenderer renderer(kSource, paddedStyle(), {}, {}, clicks, false);
    const FrameLayout layout = renderer.layout(0.1);
    ASSERT_EQ(layout.ripples.size(), 2u);
    EXPECT_NEAR(layout.ripples[0].rect.midX(), 160, 1e-9);
    EXPECT_NEAR(layout.ripples[1].rect.midX(), 1440, 1e-9);
}

TEST(FrameLayout, RipplesAreDrawnInListOrderNotTimeOrder) {
    const std::vector<ClickEvent> clicks = {{0.3, 100, 100, 0}, {0.1, 200, 200, 0}};
    const FrameRenderer renderer(kSource, paddedStyle(), {}, {}, clicks, false);
    const FrameLayout layout = renderer.layout(0.4);
    ASSERT_EQ(layout.ripples.size(), 2u);
    EXPECT_NEAR(layout.ripples[0].rect.midX(), 0.8 * 100 + 160, 1e-9);
    EXPECT_NEAR(layout.ripples[1].rect.midX(), 0.8 * 200 + 160, 1e-9);
}

TEST(FrameLayout, RipplesNeedTheirSwitchButNotTheCursor) {
    StyleSettings style = paddedStyle();
    style.showCursor = false;
    const std::vector<ClickEvent> clicks = {{0.0, 100, 100, 0}};
    const std::vector<MouseSample> samples = {{0.0, 100, 100}};
    EXPECT_EQ(FrameRenderer(kSource, style, {}, samples, clicks, false).layout(0.1).ripples.size(), 1u);
    EXPECT_FALSE(FrameRenderer(kSource, style, {}, samples, clicks, false).layout(0.1).cursor.has_value());
    style.clickRipples = false;
    EXPECT_TRUE(FrameRenderer(kSource, style, {}, samples, clicks, false).layout(0.1).ripples.empty());
}

TEST(FrameLayout, CursorHotspotLandsOnThePointer) {
    const std::vector<MouseSample> samples = {{0.0, 500, 250}, {2.0, 700, 650}};
    StyleSettings style = paddedStyle();
    style.cursorScale = 1.6;
    const FrameRenderer renderer(kSource, style, {}, samples, {}, false);
    for (double t : {0.0, 0.5, 1.0, 2.0, 5.0}) {
        SCOPED_TRACE(t);
        const auto layout = renderer.layout(t);
        ASSERT_TRUE(layout.cursor.has_value());
        const double f = std::clamp(t / 2.0, 0.0, 1.0);
        const Point pointer{500 + 200 * f, 250 + 400 * f};
        const CursorPlacement& c = *layout.cursor;
        EXPECT_NEAR(c.hotspot.x, 0.8 * pointer.x + 160, 1e-9);
        EXPECT_NEAR(c.hotspot.y, 0.8 * pointer.y + 100, 1e-9);
        // The sprite's own hotspot, scaled, lands on that point.
        EXPECT_NEAR(c.rect.x + renderer.cursorHotspot().x * c.scale, c.hotspot.x, 1e-9);
        EXPECT_NEAR(c.rect.y + renderer.cursorHotspot().y * c.scale, c.hotspot.y, 1e-9);
        // unit 1 × screen scale 0.8 × cursorScale 1.6 × pixel scale 1.
        EXPECT_NEAR(c.scale, 0.8 * 1.6, 1e-12);
    }
}

TEST(FrameLayout, CursorOutsideTheSourceOrWithoutSamplesIsNotDrawn) {
    EXPECT_FALSE(FrameRenderer(kSource, paddedStyle(), {}, {}, {}, false).layout(1.0).cursor.has_value());
    for (const MouseSample& s : std::vector<MouseSample>{{0, -0.1, 10}, {0, 10, 1000.1}, {0, 1601, 0}}) {
        const FrameRenderer renderer(kSource, paddedStyle(), {}, {s}, {}, false);
        EXPECT_FALSE(renderer.layout(1.0).cursor.has_value()) << s.x << "," << s.y;
    }
}

TEST(FrameLayout, PressPulseShrinksTheCursorTo85PercentAndBack) {
    const std::vector<MouseSample> samples = {{0.0, 100, 100}};
    const std::vector<ClickEvent> clicks = {{1.0, 100, 100, 0}};
    const FrameRenderer renderer(kSource, paddedStyle(), {}, samples, clicks, false);
    const double base = renderer.layout(0.5).cursor->scale;
    struct Case {
        double age;
        double factor;
    };
    for (const Case& c : std::vector<Case>{{-0.01, 1.0},
                                           {0.0, 1.0},
                                           {0.045, 1 - 0.15 * std::sin(std::numbers::pi / 4)},
                                           {0.09, 0.85},
                                           {0.1799, 1 - 0.15 * std::sin(std::numbers::pi * 0.1799 / 0.18)},
                                           {0.18, 1.0}}) {
        SCOPED_TRACE(c.age);
        EXPECT_NEAR(renderer.layout(1.0 + c.age).cursor->scale / base, c.factor, 1e-9);
    }
}

TEST(FrameLayout, PressPulseOfTheLastClickInTheListWins) {
    const std::vector<MouseSample> samples = {{0.0, 100, 100}};
    // At t = 1.09 the first click is 0.09 old (factor 0.85), the second 0.0 old (factor 1).
    const std::vector<ClickEvent> clicks = {{1.0, 100, 100, 0}, {1.09, 100, 100, 0}};
    const FrameRenderer renderer(kSource, paddedStyle(), {}, samples, clicks, false);
    const double base = renderer.layout(0.5).cursor->scale;
    EXPECT_NEAR(renderer.layout(1.09).cursor->scale / base, 1.0, 1e-9);
}

TEST(FrameLayout, IdleCursorHidesAfterMovingLessThanEightPixelsIn135Seconds) {
    StyleSettings style = paddedStyle();
    style.hideIdleCursor = true;
    struct Case {
        double distance;  // moved between t = 0 and t = 0.05, then held
        double t;
        bool shown;
    };
    const std::vector<Case> cases = {
        {8.0, 1.35, true},   // exactly 8 pixels within the window: drawn
        {7.9, 1.35, false},  // less: hidden
        {8.0, 1.41, false},  // the move has left the 1.35 s window
        {7.9, 1.0, false},   // before 1.35 s the comparison is with time 0
        {8.0, 1.0, true},   {50.0, 0.5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.distance << " px, t = " << c.t);
        const std::vector<MouseSample> samples = {{0.0, 300, 300}, {0.05, 300 + c.distance, 300}};
        const FrameRenderer renderer(kSource, style, {}, samples, {}, false);
        EXPECT_EQ(renderer.layout(c.t).cursor.has_value(), c.shown);
    }
    style.hideIdleCursor = false;
    const FrameRenderer always(kSource, style, {}, {{0.0, 300, 300}}, {}, false);
    EXPECT_TRUE(always.layout(100.0).cursor.has_value());
}

ZoomSegment zoom(double start, double end, double cx, double cy, double factor) {
    ZoomSegment s;
    s.start = start;
    s.end = end;
    s.centerX = cx;
    s.centerY = cy;
    s.factor = factor;
    s.followCursor = false;
    return s;
}

TEST(FrameLayout, NoZoomMeansTheIdentityCamera) {
    const FrameRenderer plain(kSource, paddedStyle(), {}, {}, {}, false);
    EXPECT_EQ(plain.layout(3.0).camera, CameraTransform{});
    // A factor of 1.001 or less is no zoom at all.
    const FrameRenderer tiny(kSource, paddedStyle(), {zoom(1, 5, 0.3, 0.3, 1.001)}, {}, {}, false);
    EXPECT_EQ(tiny.layout(3.0).camera, CameraTransform{});
}

TEST(FrameLayout, CentredZoomKeepsTheCanvasCentreInPlace) {
    for (OutputAspect aspect :
         {OutputAspect::source, OutputAspect::landscape, OutputAspect::portrait, OutputAspect::square}) {
        SCOPED_TRACE(toString(aspect));
        StyleSettings style = paddedStyle();
        style.outputAspect = aspect;
        const FrameRenderer renderer({1440, 900}, style, {zoom(1, 6, 0.5, 0.5, 2.0)}, {}, {}, false);
        const CameraTransform cam = renderer.layout(4.0).camera;
        EXPECT_NEAR(cam.scale, 2.0, 1e-3);
        const Size canvas = renderer.canvasSize();
        EXPECT_NEAR(cam.scale * canvas.width * 0.5 + cam.tx, canvas.width * 0.5, 1e-9);
        EXPECT_NEAR(cam.scale * canvas.height * 0.5 + cam.ty, canvas.height * 0.5, 1e-9);
    }
}

TEST(FrameLayout, ZoomTowardTheScreenCornerStaysInsideTheCanvas) {
    const std::vector<Point> centres = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0.5, 0}, {0.1, 0.9}};
    for (OutputAspect aspect : {OutputAspect::source, OutputAspect::landscape, OutputAspect::portrait}) {
        for (const Point& centre : centres) {
            StyleSettings style = paddedStyle();
            style.outputAspect = aspect;
            style.padding = 0.0;
            const FrameRenderer renderer({1440, 900}, style, {zoom(0.5, 3, centre.x, centre.y, 2.5)}, {}, {},
                                         false);
            const Size canvas = renderer.canvasSize();
            for (double t = 0.0; t < 6.0; t += 0.1) {
                SCOPED_TRACE(testing::Message()
                             << toString(aspect) << " centre " << centre.x << "," << centre.y << " t " << t);
                const CameraTransform cam = renderer.layout(t).camera;
                // The canvas, zoomed, covers the whole output.
                EXPECT_LE(cam.tx, 1e-9);
                EXPECT_LE(cam.ty, 1e-9);
                EXPECT_GE(cam.tx + cam.scale * canvas.width, canvas.width - 1e-9);
                EXPECT_GE(cam.ty + cam.scale * canvas.height, canvas.height - 1e-9);
            }
        }
    }
}

TEST(FrameLayout, CameraTargetsTheScreenPictureAndIsHeldInsideTheCanvas) {
    // 1600 × 1000 canvas, screen (160, 100, 1280, 800).
    const Size canvas{1600, 1000};
    const Rect screen{160, 100, 1280, 800};
    struct Case {
        Point centre;
        double scale;
        Point target;  // the canvas point that lands on the output's centre
    };
    const std::vector<Case> cases = {
        {{0.5, 0.5}, 2.0, {800, 500}},     // the screen's centre is the canvas centre
        {{0.75, 0.25}, 2.0, {1120, 300}},  // inside the limits: untouched
        {{1.0, 0.0}, 2.0, {1200, 250}},    // the screen's top-right corner (1440, 100), held at W - W/4, H/4
        {{0.0, 1.0}, 4.0, {200, 875}},     // bottom-left (160, 900), held at W/8, H - H/8
        {{0.0, 0.0}, 1.5, {1600 / 3.0, 1000 / 3.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.centre.x << "," << c.centre.y << " ×" << c.scale);
        const CameraTransform cam = FrameRenderer::cameraTransform({c.centre, c.scale}, canvas, screen);
        EXPECT_DOUBLE_EQ(cam.scale, c.scale);
        EXPECT_NEAR(c.target.x * cam.scale + cam.tx, 800, 1e-9);
        EXPECT_NEAR(c.target.y * cam.scale + cam.ty, 500, 1e-9);
    }
    EXPECT_EQ(FrameRenderer::cameraTransform({{0.0, 0.0}, 1.001}, canvas, screen), CameraTransform{});
    EXPECT_EQ(FrameRenderer::cameraTransform({{0.9, 0.1}, 1.0}, canvas, screen), CameraTransform{});
    EXPECT_NE(FrameRenderer::cameraTransform({{0.5, 0.5}, 1.0011}, canvas, screen), CameraTransform{});
}

TEST(FrameLayout, ZoomAtTheTopRightCornerPinsTheCanvasCorner) {
    // Source aspect, no padding: the camera centre (1, 0) is held at 1 - 1/(2z),
    // 1/(2z), which puts the top-right canvas corner on the output's corner.
    StyleSettings style = paddedStyle();
    style.padding = 0;
    const FrameRenderer renderer(kSource, style, {zoom(0, 8, 1.0, 0.0, 2.0)}, {}, {}, false);
    const CameraTransform cam = renderer.layout(5.0).camera;
    EXPECT_NEAR(cam.scale, 2.0, 1e-3);
    EXPECT_NEAR(cam.ty, 0.0, 1e-6);
    EXPECT_NEAR(cam.tx + cam.scale * 1600, 1600, 1e-6);
}

}  // namespace
}  // namespace vorpix::render
