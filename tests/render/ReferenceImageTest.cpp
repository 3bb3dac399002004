// Whole frames compared with reference images in data/, one per aspect, with
// every effect in view somewhere. A failure means the picture changed: look
// at the new frames (VORPIX_RENDER_PNG_DIR) next to the references. If the
// change is intended (a new filter, different anti-aliasing, another cursor
// sprite), regenerate the references with VORPIX_UPDATE_REFERENCES=1 and
// commit them with the change that explains them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TestImages.h"
#include "render/FrameRenderer.h"
#include "render/Png.h"

namespace vorpix::render {
namespace {

struct Scene {
    std::string name;
    Size source;
    model::StyleSettings style;
    std::vector<model::ZoomSegment> zooms;
    std::vector<model::ClickEvent> clicks;
    bool webcam = false;
    double t = 1.0;
};

model::ZoomSegment zoomAt(double cx, double cy, double factor) {
    model::ZoomSegment z;
    z.start = 0;
    z.end = 10;
    z.centerX = cx;
    z.centerY = cy;
    z.factor = factor;
    z.followCursor = false;
    return z;
}

std::vector<Scene> scenes() {
    std::vector<Scene> all;
    {
        Scene s{"source-midnight", {320, 200}, {}, {}, {{0.8, 160, 30, 0}}, false, 1.0};
        all.push_back(s);
    }
    {
        Scene s{"landscape-sunset-zoom-pip", {288, 200}, {}, {zoomAt(0.3, 0.4, 2.0)}, {}, true, 5.0};
        s.style.background = model::BackgroundPreset::sunset;
        s.style.outputAspect = model::OutputAspect::landscape;
        all.push_back(s);
    }
    {
        Scene s{"portrait-ocean-circle", {320, 200}, {}, {}, {{0.9, 200, 30, 0}}, true, 1.0};
        s.style.background = model::BackgroundPreset::ocean;
        s.style.outputAspect = model::OutputAspect::portrait;
        s.style.webcamCircular = true;
        s.style.webcamCorner = model::WebcamCorner::topLeft;
        s.style.webcamSize = 0.3;
        all.push_back(s);
    }
    {
        Scene s{"square-forest-plain", {320, 200}, {}, {zoomAt(0.9, 0.1, 1.6)}, {}, false, 5.0};
        s.style.background = model::BackgroundPreset::forest;
        s.style.outputAspect = model::OutputAspect::square;
        s.style.padding = 0.2;
        s.style.cornerRadius = 60;
        s.style.shadowOpacity = 0;
        all.push_back(s);
    }
    return all;
}

TEST(ReferenceImages, FramesMatchTheirReferences) {
    const bool update = std::getenv("VORPIX_UPDATE_REFERENCES") != nullptr;
    for (const Scene& scene : scenes()) {
        SCOPED_TRACE(scene.name);
        std::vector<model::MouseSample> samples;
        for (int i = 0; i <= 120 * 6; ++i)
            samples.push_back({i / 120.0, scene.source.width * (0.5 + 0.2 * std::sin(i / 120.0)),
                               scene.source.height * (0.5 + 0.2 * std::cos(i / 100.0))});
        const FrameRenderer renderer(scene.source, scene.style, scene.zooms, samples, scene.clicks,
                                     scene.webcam);
        const Image source = testing::makeScreen(static_cast<int>(scene.source.width),
                                                 static_cast<int>(scene.source.height), PixelFormat::bgra8);
        const Image webcam = testing::makeWebcam(64, 48);
        const ImageView cam = webcam.view();
        Image frame;
        renderer.render(source.view(), scene.webcam ? &cam : nullptr, scene.t, frame);
        testing::saveForInspection(frame.view(), "reference-" + scene.name);

        const std::filesystem::path file =
            std::filesystem::path(VORPIX_TEST_DATA_DIR) / (scene.name + ".png");
        if (update) {
            ASSERT_TRUE(writePng(file, frame.view()).ok());
            continue;
        }
        const Result<Image> reference = readPng(file);
        ASSERT_TRUE(reference.ok()) << reference.error().message;
        // Rendering is deterministic; the tolerance only absorbs rounding
        // differences between compilers and kernel sets.
        EXPECT_LE(testing::maxChannelDifference(frame.view(), reference->view()), 3);
        EXPECT_LE(testing::meanChannelDifference(frame.view(), reference->view()), 0.1);
    }
}

}  // namespace
}  // namespace vorpix::render
