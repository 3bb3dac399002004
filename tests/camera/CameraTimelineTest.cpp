#include "camera/CameraTimeline.h"

#include <vector>

#include <gtest/gtest.h>

namespace vorpix::camera {
namespace {

using model::ZoomSegment;

ZoomSegment segment(double start, double end, double cx, double cy, double factor, bool follow) {
    ZoomSegment s;
    s.start = start;
    s.end = end;
    s.centerX = cx;
    s.centerY = cy;
    s.factor = factor;
    s.followCursor = follow;
    return s;
}

const CursorPath kPointerAt900({{0, 900, 900}});

TEST(CameraTimeline, AimedSegmentStaysOnItsPoint) {
    const CameraTimeline cam({segment(1, 5, 0.35, 0.35, 2.2, false)}, {1000, 1000}, kPointerAt900);
    EXPECT_EQ(cam.samples().size(), 421u);
    const CameraState at3 = cam.state(3);
    EXPECT_NEAR(at3.center.x, 0.35, 0.08);
    EXPECT_NEAR(at3.center.y, 0.35, 0.08);
    EXPECT_DOUBLE_EQ(cam.state(0.5).scale, 1.0);
    EXPECT_GT(cam.state(0.65).scale, 1.0);
    EXPECT_GT(cam.state(1.0).scale, 2.1);
    EXPECT_NEAR(cam.state(6.0).scale, 1.0, 0.001);
}

TEST(CameraTimeline, FollowingSegmentMovesToPointer) {
    const CameraTimeline cam({segment(1, 5, 0.35, 0.35, 2.2, true)}, {1000, 1000}, kPointerAt900);
    const CameraState at3 = cam.state(3);
    EXPECT_GT(at3.center.x, 0.55);
    EXPECT_GT(at3.center.y, 0.55);
    EXPECT_LE(at3.center.x, 1 - 1 / (2 * 2.2) + 1e-9);
}

TEST(CameraTimeline, NothingToZoomIsIdentity) {
    const std::vector<std::vector<ZoomSegment>> inputs{
        {}, {segment(1, 5, 0.2, 0.2, 1.001, true)}, {segment(5, 5, 0.2, 0.2, 2, true)}};
    for (const auto& segs : inputs) {
        const CameraTimeline cam(segs, {1000, 1000}, kPointerAt900);
        EXPECT_TRUE(cam.samples().empty());
        for (double t : {-1.0, 0.0, 3.0, 1e9}) EXPECT_EQ(cam.state(t), CameraState{});
    }
    const CameraTimeline noPixels({segment(1, 5, 0.2, 0.2, 2, true)}, {0, 1000}, kPointerAt900);
    EXPECT_TRUE(noPixels.samples().empty());
}

TEST(CameraTimeline, AutoSegmentForOneClick) {
    const auto segs = CameraTimeline::autoSegments({{5, 400, 300, 0}}, {800, 600}, 20, {});
    ASSERT_EQ(segs.size(), 1u);
    EXPECT_NEAR(segs[0].start, 4.55, 1e-9);
    EXPECT_NEAR(segs[0].end, 6.6, 1e-9);
    EXPECT_DOUBLE_EQ(segs[0].centerX, 0.5);
    EXPECT_DOUBLE_EQ(segs[0].centerY, 0.5);
    EXPECT_DOUBLE_EQ(segs[0].factor, 1.9);
    EXPECT_TRUE(segs[0].followCursor);
}

}  // namespace
}  // namespace vorpix::camera
