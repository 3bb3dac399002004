#include "camera/CursorPath.h"

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace vorpix::camera {
namespace {

using model::MouseSample;

TEST(CursorPath, EmptyPathHasNoPosition) {
    const CursorPath path;
    for (double t : {-1.0, 0.0, 3.5, std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_FALSE(path.rawPosition(t));
        for (double w : {0.0, 0.14, 2.0}) EXPECT_FALSE(path.smoothedPosition(t, w));
    }
}

TEST(CursorPath, SingleSampleEverywhere) {
    const CursorPath path({{2.0, 10, 20}});
    for (double t : {-5.0, 2.0, 2.5, 100.0}) {
        EXPECT_EQ(path.rawPosition(t), (Point{10, 20}));
        EXPECT_EQ(path.smoothedPosition(t, 0.14), (Point{10, 20}));
    }
}

TEST(CursorPath, TwoSampleLine) {
    const CursorPath path({{0, 0, 0}, {1, 100, 0}});
    const Point raw = *path.rawPosition(0.25);
    EXPECT_DOUBLE_EQ(raw.x, 25);
    EXPECT_DOUBLE_EQ(raw.y, 0);
    const Point mid = *path.smoothedPosition(0.5, 0.14);
    EXPECT_NEAR(mid.x, 50, 1e-9);
    // Negative taps clamp to the first sample, positive ones follow the line.
    const Point start = *path.smoothedPosition(0, 0.14);
    EXPECT_GT(start.x, 0.5);
    EXPECT_LT(start.x, 7);
}

TEST(CursorPath, SortsStablyAndResolvesDuplicateTimes) {
    // Out of order, with duplicates at the first, an interior and the last time.
    const CursorPath path({{2, 20, 0}, {0, 1, 0}, {1, 10, 0}, {0, 2, 0}, {1, 11, 0}, {2, 21, 0}});
    ASSERT_EQ(path.samples().size(), 6u);
    const std::vector<double> xs{1, 2, 10, 11, 20, 21};
    for (std::size_t i = 0; i < xs.size(); ++i) EXPECT_EQ(path.samples()[i].x, xs[i]) << i;

    EXPECT_EQ(path.rawPosition(0)->x, 1);   // first of those at the first time
    EXPECT_EQ(path.rawPosition(1)->x, 11);  // last of those at an interior time
    EXPECT_EQ(path.rawPosition(2)->x, 21);  // last of those at the last time
    EXPECT_EQ(path.rawPosition(9)->x, 21);
    EXPECT_DOUBLE_EQ(path.rawPosition(0.5)->x, 2 + 0.5 * (10 - 2));
}

TEST(CursorPath, WindowAtOrBelowFloorIsRaw) {
    const CursorPath path({{0, 0, 0}, {0.01, 50, 5}, {0.02, 0, 10}, {1, 100, 0}});
    for (double t : {0.003, 0.01, 0.015, 0.5}) {
        EXPECT_EQ(path.smoothedPosition(t, 0.005), path.rawPosition(t));
        EXPECT_EQ(path.smoothedPosition(t, 0.0), path.rawPosition(t));
        EXPECT_EQ(path.smoothedPosition(t, -1.0), path.rawPosition(t));
    }
    // 0.006 s already averages across the spike at 0.01 s.
    EXPECT_LT(path.smoothedPosition(0.01, 0.006)->x, path.rawPosition(0.01)->x);
}

}  // namespace
}  // namespace vorpix::camera
