// What rendered frames look like, checked pixel by pixel: the background's
// corner colours, identity output, the shadow, the mask, the cursor's hotspot,
// the ripple, the PiP and the equivalence of every way of rendering a frame.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "TestImages.h"
#include "render/FrameRenderer.h"
#include "render/Raster.h"
#include "render/RowWorkers.h"

namespace vorpix::render {
namespace {

using model::BackgroundPreset;
using model::OutputAspect;
using model::StyleSettings;
using testing::makeScreen;
using testing::makeWebcam;
using testing::maxChannelDifference;
using testing::saveForInspection;

std::uint8_t expectedByte(double unit) {
    return static_cast<std::uint8_t>(std::lround(unit * 255.0));
}

StyleSettings bareStyle() {
    StyleSettings style;
    style.padding = 0;
    style.cornerRadius = 0;
    style.shadowOpacity = 0;
    style.showCursor = false;
    style.clickRipples = false;
    style.webcamEnabled = false;
    style.outputAspect = OutputAspect::source;
    return style;
}

TEST(FramePixels, CanvasCornersShowEachPresetsColours) {
    const std::vector<BackgroundPreset> presets = {BackgroundPreset::midnight, BackgroundPreset::ocean,
                                                   BackgroundPreset::sunset,   BackgroundPreset::forest,
                                                   BackgroundPreset::graphite, BackgroundPreset::plain};
    const std::vector<OutputAspect> aspects = {OutputAspect::source, OutputAspect::landscape,
                                               OutputAspect::portrait, OutputAspect::square};
    const Image screen = makeScreen(480, 300);
    for (BackgroundPreset preset : presets) {
        for (OutputAspect aspect : aspects) {
            StyleSettings style;
            style.background = preset;
            style.outputAspect = aspect;
            style.padding = 0.1;
            const FrameRenderer renderer({480, 300}, style, {}, {}, {}, false);
            Image frame;
            renderer.render(screen.view(), nullptr, 0.0, frame);
            const std::string name = std::string("preset-") + std::string(model::toString(preset)) + "-" +
                                     std::string(model::toString(aspect));
            saveForInspection(frame.view(), name);
            SCOPED_TRACE(name);
            const auto colors = raster::presetColors(preset);
            const Rgba8 topLeft = pixelAt(frame.view(), 0, 0);
            const Rgba8 bottomRight = pixelAt(frame.view(), frame.width() - 1, frame.height() - 1);
            // The gradient runs corner to corner, so the outermost pixels are
            // within a fraction of one level of the stop colours.
            EXPECT_NEAR(topLeft.r, expectedByte(colors[0].r), 1);
            EXPECT_NEAR(topLeft.g, expectedByte(colors[0].g), 1);
            EXPECT_NEAR(topLeft.b, expectedByte(colors[0].b), 1);
            EXPECT_EQ(topLeft.a, 255);
            EXPECT_NEAR(bottomRight.r, expectedByte(colors[1].r), 1);
            EXPECT_NEAR(bottomRight.g, expectedByte(colors[1].g), 1);
            EXPECT_NEAR(bottomRight.b, expectedByte(colors[1].b), 1);
            EXPECT_EQ(bottomRight.a, 255);
        }
    }
}

}  // namespace
}  // namespace vorpix::render

namespace vorpix::render {
namespace {

Image renderFrame(const FrameRenderer& renderer, const Image& source, double t, const Image* webcam = nullptr,
                  RowWorkers* workers = nullptr) {
    Image out;
    const ImageView cam = webcam ? webcam->view() : ImageView{};
    renderer.render(source.view(), webcam ? &cam : nullptr, t, out, workers);
    return out;
}

// Pixels whose alpha is not 255.
int translucentPixels(const Image& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) count += pixelAt(image.view(), x, y).a != 255;
    return count;
}

int brightness(const Rgba8& p) {
    return (p.r + p.g + p.b) / 3;
}

TEST(FramePixels, BareStyleReproducesTheSourceExactly) {
    for (PixelFormat format : {PixelFormat::rgba8, PixelFormat::bgra8}) {
        for (Size size : {Size{37, 23}, Size{320, 200}}) {
            const Image source =
                makeScreen(static_cast<int>(size.width), static_cast<int>(size.height), format);
            const FrameRenderer renderer(size, bareStyle(), {}, {}, {}, false);
            const Image frame = renderFrame(renderer, source, 1.0);
            ASSERT_EQ(frame.width(), source.width());
            ASSERT_EQ(frame.height(), source.height());
            EXPECT_EQ(maxChannelDifference(frame.view(), source.view()), 0)
                << (format == PixelFormat::bgra8 ? "bgra" : "rgba") << " " << size.width;
        }
    }
}

TEST(FramePixels, ScreenFillsItsRoundedRectangleOnTheBackdrop) {
    StyleSettings style = bareStyle();
    style.padding = 0.1;
    style.cornerRadius = 40;  // 40 canvas pixels at 1600 wide
    const Image source = testing::solidImage(1600, 1000, {200, 30, 30, 255});
    const FrameRenderer renderer({1600, 1000}, style, {}, {}, {}, false);
    const Image frame = renderFrame(renderer, source, 0.0);
    saveForInspection(frame.view(), "rounded-screen");
    const Rect r = renderer.screenRect();  // (160, 100, 1280, 800)
    const ImageView backdrop = renderer.backdrop().view();
    const auto at = [&](double x, double y) {
        return pixelAt(frame.view(), static_cast<int>(x), static_cast<int>(y));
    };
    const auto back = [&](double x, double y) {
        return pixelAt(backdrop, static_cast<int>(x), static_cast<int>(y));
    };
    const Rgba8 red{200, 30, 30, 255};
    // Inside, including the straight edges' first pixels.
    EXPECT_EQ(at(r.midX(), r.midY()), red);
    EXPECT_EQ(at(r.minX(), r.midY()), red);
    EXPECT_EQ(at(r.maxX() - 1, r.midY()), red);
    EXPECT_EQ(at(r.midX(), r.minY()), red);
    EXPECT_EQ(at(r.midX(), r.maxY() - 1), red);
    EXPECT_EQ(at(r.minX() + 40, r.minY() + 1), red);
    // Just outside, and in the cut-away corners.
    EXPECT_EQ(at(r.minX() - 1, r.midY()), back(r.minX() - 1, r.midY()));
    EXPECT_EQ(at(r.midX(), r.maxY()), back(r.midX(), r.maxY()));
    for (const Point& corner : {Point{r.minX(), r.minY()}, Point{r.maxX() - 1, r.minY()},
                                Point{r.minX(), r.maxY() - 1}, Point{r.maxX() - 1, r.maxY() - 1}}) {
        EXPECT_EQ(at(corner.x, corner.y), back(corner.x, corner.y)) << corner.x << "," << corner.y;
    }
    // On the arc (45° from the corner centre) the edge pixel is a blend.
    const double d = 40 - 40 / std::sqrt(2.0);
    const Rgba8 edge = at(r.minX() + d, r.minY() + d);
    EXPECT_GT(edge.r, back(r.minX() + d, r.minY() + d).r + 20);
    EXPECT_LT(edge.r, 200 - 20);
}

TEST(FramePixels, TranslucentScreenShowsTheBackdropThrough) {
    StyleSettings style = bareStyle();
    style.padding = 0.1;
    // Premultiplied half-transparent blue, with opaque rows to make sure
    // opaque and translucent rows are told apart.
    Image source = testing::solidImage(320, 200, {0, 0, 128, 128});
    for (int y = 40; y < 60; ++y)
        for (int x = 0; x < 320; ++x) testing::setPixel(source, x, y, {0, 0, 255, 255});
    const FrameRenderer renderer({320, 200}, style, {}, {}, {}, false);
    const Image frame = renderFrame(renderer, source, 0.0);
    const Rect r = renderer.screenRect();
    const int x = static_cast<int>(r.midX());
    const int y = static_cast<int>(r.y + 100 * renderer.screenScale());
    const Rgba8 back = pixelAt(renderer.backdrop().view(), x, y);
    const Rgba8 got = pixelAt(frame.view(), x, y);
    EXPECT_NEAR(got.r, back.r * 127 / 255.0, 1);
    EXPECT_NEAR(got.g, back.g * 127 / 255.0, 1);
    EXPECT_NEAR(got.b, 128 + back.b * 127 / 255.0, 1);
    EXPECT_EQ(got.a, 255);
    EXPECT_EQ(pixelAt(frame.view(), x, static_cast<int>(r.y + 50.5 * renderer.screenScale())),
              (Rgba8{0, 0, 255, 255}));
}

TEST(FramePixels, ShadowDarkensBelowTheScreenOnlyAboveOnePercent) {
    StyleSettings style = bareStyle();
    style.padding = 0.1;
    style.cornerRadius = 18;
    const Image source = testing::solidImage(320, 200, {255, 255, 255, 255});
    const FrameRenderer plain({320, 200}, style, {}, {}, {}, false);
    style.shadowOpacity = 0.01;
    const FrameRenderer threshold({320, 200}, style, {}, {}, {}, false);
    style.shadowOpacity = 0.8;
    const FrameRenderer shadowed({320, 200}, style, {}, {}, {}, false);
    const Image a = renderFrame(plain, source, 0.0);
    const Image b = renderFrame(threshold, source, 0.0);
    const Image c = renderFrame(shadowed, source, 0.0);
    saveForInspection(c.view(), "shadow");
    EXPECT_EQ(maxChannelDifference(a.view(), b.view()), 0);
    const Rect r = plain.screenRect();
    // Right below the screen's bottom edge the shadow is strongest (it is moved down).
    const int below = static_cast<int>(r.maxY()) + 1;
    const int middle = static_cast<int>(r.midX());
    EXPECT_LT(brightness(pixelAt(c.view(), middle, below)), brightness(pixelAt(a.view(), middle, below)) - 5);
    EXPECT_LE(brightness(pixelAt(c.view(), middle, below)),
              brightness(pixelAt(c.view(), middle, static_cast<int>(r.minY()) - 2)));
    // The screen itself is untouched; far corners barely change.
    EXPECT_EQ(pixelAt(c.view(), middle, static_cast<int>(r.midY())), (Rgba8{255, 255, 255, 255}));
    EXPECT_LE(std::abs(brightness(pixelAt(c.view(), 0, 0)) - brightness(pixelAt(a.view(), 0, 0))), 2);
}

TEST(FramePixels, CursorTipLandsOnThePointer) {
    StyleSettings style = bareStyle();
    style.showCursor = true;
    style.cursorScale = 4.0;  // big, so that one pixel is a small error
    style.cursorSmoothing = 0;
    const Image source = testing::solidImage(800, 500, {128, 128, 128, 255});
    for (const Point pointer : {Point{200, 150}, Point{523.5, 310.25}}) {
        const FrameRenderer with({800, 500}, style, {}, {{0.0, pointer.x, pointer.y}}, {}, false);
        const Image frame = renderFrame(with, source, 1.0);
        saveForInspection(frame.view(), "cursor");
        // The tip is the top-left-most strongly changed pixel (the arrow's
        // outline is white, its body black; the faint shadow stays below 60).
        int minX = 1 << 20;
        int minY = 1 << 20;
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                if (std::abs(brightness(pixelAt(frame.view(), x, y)) - 128) > 60) {
                    minX = std::min(minX, x);
                    minY = std::min(minY, y);
                }
        // Canvas = source here (unit 0.5, scale 1): the hotspot is the pointer itself.
        EXPECT_NEAR(minX + 0.5, pointer.x, 1.5);
        EXPECT_NEAR(minY + 0.5, pointer.y, 1.5);
    }
}

TEST(FramePixels, RippleAtAgeZeroIsA22UnitRingAt80Percent) {
    StyleSettings style = bareStyle();
    style.clickRipples = true;
    const Image black = testing::solidImage(3200, 1000, {0, 0, 0, 255});
    const FrameRenderer renderer({3200, 1000}, style, {}, {}, {{2.0, 1000, 500, 0}}, false);  // unit 2
    const Image frame = renderFrame(renderer, black, 2.0);
    // The sprite's ring (radius 104 of 256, blurred) scaled to a 44-pixel square.
    int peak = 0;
    double peakRadius = 0;
    for (int x = 1000; x < 1030; ++x) {
        const int v = pixelAt(frame.view(), x, 500).r;
        if (v > peak) peak = v, peakRadius = x + 0.5 - 1000;
    }
    EXPECT_NEAR(peakRadius, 44.0 * 104 / 256, 1.5);
    const raster::Sprite sprite = raster::makeRipple();
    const int spritePeak = sprite.image.pixel(128 + 104, 128)[0];
    EXPECT_NEAR(peak, 0.8 * spritePeak, 0.1 * spritePeak);
    // Hollow inside, nothing beyond the 44-pixel square.
    EXPECT_LT(pixelAt(frame.view(), 1000, 500).r, 10);
    EXPECT_EQ(pixelAt(frame.view(), 1000 + 23, 500).r, 0);
    EXPECT_EQ(pixelAt(frame.view(), 1000, 500 - 23).r, 0);
    // At 0.55 s the ripple is gone.
    EXPECT_EQ(maxChannelDifference(renderFrame(renderer, black, 2.55).view(), black.view()), 0);
}

TEST(FramePixels, PipShowsTheWebcamMirroredInItsCorner) {
    StyleSettings style = bareStyle();
    style.webcamEnabled = true;
    style.webcamSize = 0.3;
    style.webcamCorner = model::WebcamCorner::bottomRight;
    const Image source = testing::solidImage(640, 400, {20, 20, 20, 255});
    const Image webcam = makeWebcam(160, 90, PixelFormat::bgra8);
    const FrameRenderer renderer({640, 400}, style, {}, {}, {}, true);
    const Image frame = renderFrame(renderer, source, 0.0, &webcam);
    saveForInspection(frame.view(), "pip");
    const Rect pip = *renderer.pipRect();
    const auto at = [&](double x, double y) {
        return pixelAt(frame.view(), static_cast<int>(x), static_cast<int>(y));
    };
    // Face-coloured centre; the yellow marker of the webcam's left edge shows on the right.
    EXPECT_EQ(at(pip.midX(), pip.midY()), (Rgba8{225, 180, 150, 255}));
    EXPECT_EQ(at(pip.maxX() - pip.width * 0.06, pip.midY()), (Rgba8{255, 255, 0, 255}));
    EXPECT_NE(at(pip.minX() + pip.width * 0.06, pip.midY()), (Rgba8{255, 255, 0, 255}));
    // The webcam's left half (red) is on the PiP's right.
    EXPECT_GT(at(pip.maxX() - pip.width * 0.25, pip.minY() + pip.height * 0.2).r, 100);
    EXPECT_GT(at(pip.minX() + pip.width * 0.25, pip.minY() + pip.height * 0.2).b, 100);
    // The border is whitish; the shadow darkens just below; far away nothing changes.
    EXPECT_GT(brightness(at(pip.midX(), pip.minY() + 0.5)), 150);
    EXPECT_LT(brightness(at(pip.midX(), pip.maxY() + 2)), 20);
    const Image without = renderFrame(renderer, source, 0.0);
    EXPECT_EQ(pixelAt(frame.view(), 10, 10), pixelAt(without.view(), 10, 10));
    // Webcam frames of one pixel in either direction are ignored.
    for (Size tiny : {Size{1, 1}, Size{1, 50}, Size{50, 1}}) {
        const Image t = makeWebcam(static_cast<int>(tiny.width), static_cast<int>(tiny.height));
        EXPECT_EQ(maxChannelDifference(renderFrame(renderer, source, 0.0, &t).view(), without.view()), 0);
    }
}

TEST(FramePixels, CameraMagnifiesAroundItsCentre) {
    StyleSettings style = bareStyle();
    model::ZoomSegment zoom;
    zoom.start = 0;
    zoom.end = 10;
    zoom.factor = 2.0;
    zoom.followCursor = false;
    // A white 2-pixel-wide column at x = 240 of a 320-wide source; centre 160.
    Image source = testing::solidImage(320, 200, {0, 0, 0, 255});
    for (int y = 0; y < 200; ++y)
        for (int x = 240; x < 242; ++x) testing::setPixel(source, x, y, {255, 255, 255, 255});
    const FrameRenderer renderer({320, 200}, style, {zoom}, {}, {}, false);
    const CameraTransform cam = renderer.layout(5.0).camera;
    ASSERT_NEAR(cam.scale, 2.0, 1e-3);
    const Image frame = renderFrame(renderer, source, 5.0);
    saveForInspection(frame.view(), "zoom-line");
    // The column now spans about 320 ... 324 in output pixels: beyond the frame
    // at 320 wide, except its left edge; use the camera itself to predict.
    const double left = 240 * cam.scale + cam.tx;
    for (int x = 0; x < frame.width(); ++x) {
        const bool inside = x + 0.5 > left + 0.5 && x + 0.5 < left + 2 * cam.scale - 0.5;
        const bool outside = x + 0.5 < left - 1 || x + 0.5 > left + 2 * cam.scale + 1;
        const int v = pixelAt(frame.view(), x, 100).r;
        if (inside) {
            EXPECT_EQ(v, 255) << x;
        }
        if (outside) {
            EXPECT_EQ(v, 0) << x;
        }
    }
}

TEST(FramePixels, ThreadsAndByteOrdersGiveIdenticalFrames) {
    StyleSettings style;  // everything on
    style.outputAspect = OutputAspect::landscape;
    style.webcamCircular = true;
    model::ZoomSegment zoom;
    zoom.start = 0.5;
    zoom.end = 3;
    zoom.factor = 2.2;
    zoom.centerX = 0.3;
    zoom.centerY = 0.6;
    std::vector<model::MouseSample> samples;
    for (int i = 0; i < 400; ++i) samples.push_back({i / 120.0, 100 + i * 0.8, 150 + i * 0.3});
    const FrameRenderer renderer({480, 300}, style, {zoom}, samples, {{1.0, 200, 200, 0}, {1.2, 300, 100, 0}},
                                 true);
    const Image rgba = makeScreen(480, 300, PixelFormat::rgba8);
    const Image bgra = makeScreen(480, 300, PixelFormat::bgra8);
    const Image cam = makeWebcam(64, 48, PixelFormat::rgba8);
    const Image camBgra = makeWebcam(64, 48, PixelFormat::bgra8);
    RowWorkers two(2, "test-render");
    RowWorkers five(5, "test-render");
    for (double t : {0.0, 0.7, 1.3, 2.0, 4.5}) {
        SCOPED_TRACE(t);
        const Image one = renderFrame(renderer, rgba, t, &cam);
        saveForInspection(one.view(), "threads-" + std::to_string(static_cast<int>(t * 10)));
        // An opaque screen on the opaque backdrop gives an opaque frame, shadows and sprites included.
        EXPECT_EQ(translucentPixels(one), 0);
        EXPECT_EQ(maxChannelDifference(renderFrame(renderer, rgba, t, &cam, &two).view(), one.view()), 0);
        EXPECT_EQ(maxChannelDifference(renderFrame(renderer, bgra, t, &camBgra, &five).view(), one.view()),
                  0);
    }
}

TEST(FramePixels, OddInputsRenderWithoutFailing) {
    StyleSettings style;
    const FrameRenderer renderer({320, 200}, style, {}, {{0, 10, 10}}, {{0, 10, 10, 0}}, true);
    const Image source = makeScreen(320, 200);
    const Image backdropOnly = [&] {
        Image out;
        renderer.render(ImageView{}, nullptr, 0.0, out);
        return out;
    }();
    // No source: the backdrop shows where the screen would be (plus sprites).
    EXPECT_EQ(pixelAt(backdropOnly.view(), 160, 150), pixelAt(renderer.backdrop().view(), 160, 150));
    // A frame of another size is stretched onto the screen rectangle.
    const Image small = makeScreen(32, 20);
    const Image stretched = renderFrame(renderer, small, 0.0);
    const Image exact = renderFrame(renderer, makeScreen(320, 200), 0.0);
    EXPECT_EQ(pixelAt(stretched.view(), 5, 5), pixelAt(exact.view(), 5, 5));
    for (double t : {-1.0, std::nan(""), 1e300, -std::numeric_limits<double>::infinity()}) {
        const Image frame = renderFrame(renderer, source, t);
        EXPECT_EQ(frame.width(), 320);
    }
}

}  // namespace
}  // namespace vorpix::render
