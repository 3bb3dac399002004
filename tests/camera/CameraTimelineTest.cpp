#include "camera/CameraTimeline.h"

#include <algorithm>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/AllocationCounter.h"
#include "Reference.h"

namespace vorpix::camera {
namespace {

using model::ZoomSegment;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

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

const CursorPath kStill({{0, 500, 500}});

TEST(CameraTimeline, StateInterpolatesBetweenSamples) {
    const CameraTimeline cam({segment(0.5, 2, 0.3, 0.7, 2, false)}, {1920, 1080}, kStill);
    const auto& s = cam.samples();
    ASSERT_GT(s.size(), 100u);
    for (std::size_t k : {std::size_t{0}, std::size_t{30}, std::size_t{61}, s.size() - 2}) {
        EXPECT_EQ(cam.state(static_cast<double>(k) / 60.0).scale, s[k].scale) << k;
        const CameraState mid = cam.state((static_cast<double>(k) + 0.25) / 60.0);
        EXPECT_NEAR(mid.scale, s[k].scale + 0.25 * (s[k + 1].scale - s[k].scale), 1e-12);
        EXPECT_NEAR(mid.center.x, s[k].center.x + 0.25 * (s[k + 1].center.x - s[k].center.x), 1e-12);
        EXPECT_NEAR(mid.center.y, s[k].center.y + 0.25 * (s[k + 1].center.y - s[k].center.y), 1e-12);
    }
}

TEST(CameraTimeline, StateAtTimesOffTheLine) {
    const CameraTimeline cam({segment(0, 2, 0.3, 0.7, 2, false)}, {1920, 1080}, kStill);
    const auto& s = cam.samples();
    EXPECT_EQ(cam.state(kNaN), s.front());
    EXPECT_EQ(cam.state(kInf), s.front());
    EXPECT_EQ(cam.state(-kInf), s.front());
    EXPECT_EQ(cam.state(-0.5), s.front());
    EXPECT_EQ(cam.state(1e300), s.back());
    EXPECT_EQ(cam.state(static_cast<double>(s.size())), s.back());
}

TEST(CameraTimeline, SegmentsThatCannotBeSimulatedAreDropped) {
    const std::vector<std::vector<ZoomSegment>> inputs{
        {segment(1, kInf, 0.3, 0.3, 2, false)},  {segment(kNaN, 5, 0.3, 0.3, 2, false)},
        {segment(-kInf, 5, 0.3, 0.3, 2, false)}, {segment(1, 5, 0.3, 0.3, kNaN, false)},
        {segment(-8, -5, 0.3, 0.3, 2, false)},  // over before the path begins
    };
    for (const auto& segs : inputs) EXPECT_TRUE(CameraTimeline(segs, {100, 100}, kStill).samples().empty());
    EXPECT_TRUE(CameraTimeline({segment(1, 5, 0.3, 0.3, 2, false)}, {100, kNaN}, kStill).samples().empty());
}

TEST(CameraTimeline, PathOfACorruptSegmentEndIsCappedAtADay) {
    const CameraTimeline cam({segment(1, 1e12, 0.3, 0.3, 2, false)}, {100, 100}, kStill);
    EXPECT_EQ(cam.samples().size(), static_cast<std::size_t>((24 * 3600 + 2) * 60 + 1));
}

TEST(CameraTimeline, StateAllocatesNothing) {
    const CameraTimeline cam({segment(1, 5, 0.3, 0.3, 2, true)}, {100, 100}, kStill);
    testing::AllocationScope scope;
    double sum = 0;
    for (double t = -1; t < 10; t += 0.001) sum += cam.state(t).scale;
    EXPECT_EQ(scope.count(), 0u);
    EXPECT_GT(sum, 0);
}

class RandomEdits : public ::testing::Test {
protected:
    std::vector<ZoomSegment> segments(int count, double length) {
        std::vector<ZoomSegment> out;
        for (int i = 0; i < count; ++i) {
            const double start = uniform(-1, length);
            // Some overlap, some have equal factors, some do not count.
            const double factor = i % 7 == 0 ? 1.0 : i % 5 == 0 ? 2.0 : uniform(1, 4);
            out.push_back(segment(start, start + uniform(-0.5, 6), uniform(-0.2, 1.2), uniform(-0.2, 1.2),
                                  factor, uniform(0, 1) < 0.6));
        }
        return out;
    }
    std::vector<model::MouseSample> pointer(double length, Size frame) {
        std::vector<model::MouseSample> out;
        double x = frame.width / 2;
        double y = frame.height / 2;
        for (double t = 0; t < length; t += 1.0 / 120) {
            // Wanders, sometimes off the frame.
            x += uniform(-40, 40);
            y += uniform(-30, 30);
            out.push_back({t, x, y});
        }
        return out;
    }
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }

private:
    std::mt19937_64 rng_{42};
};

TEST_F(RandomEdits, MatchesAScanOfEverySegmentAtEveryStep) {
    for (int round = 0; round < 40; ++round) {
        const Size frame{uniform(200, 4000), uniform(200, 3000)};
        const auto segs = segments(1 + round % 9, 20);
        const CursorPath cursor(pointer(30, frame));
        const CameraTimeline cam(segs, frame, cursor);
        const auto expected = reference::cameraSamples(segs, frame, cursor.samples());
        ASSERT_EQ(cam.samples().size(), expected.size()) << round;
        for (std::size_t k = 0; k < expected.size(); ++k) {
            ASSERT_NEAR(cam.samples()[k].scale, expected[k].scale, 1e-9) << round << " sample " << k;
            ASSERT_NEAR(cam.samples()[k].center.x, expected[k].center.x, 1e-9) << round << " sample " << k;
            ASSERT_NEAR(cam.samples()[k].center.y, expected[k].center.y, 1e-9) << round << " sample " << k;
        }
    }
}

TEST_F(RandomEdits, CentreStaysInsideTheVisibleFrame) {
    for (int round = 0; round < 40; ++round) {
        const Size frame{uniform(200, 4000), uniform(200, 3000)};
        const CameraTimeline cam(segments(1 + round % 12, 30), frame, CursorPath(pointer(40, frame)));
        for (const CameraState& s : cam.samples()) {
            ASSERT_GE(s.scale, 1.0);
            const double h = 1 / (2 * s.scale);
            ASSERT_GE(s.center.x, h);
            ASSERT_LE(s.center.x, 1 - h);
            ASSERT_GE(s.center.y, h);
            ASSERT_LE(s.center.y, 1 - h);
        }
    }
}

TEST_F(RandomEdits, AutoSegmentsAreOrderedApartAndInsideTheRecording) {
    for (int round = 0; round < 300; ++round) {
        const Size frame{uniform(100, 3000), uniform(100, 2000)};
        const double duration = uniform(0, 120);
        std::vector<model::ClickEvent> clicks;
        const int count = static_cast<int>(uniform(0, 40));
        for (int i = 0; i < count; ++i) {
            clicks.push_back({uniform(-1, duration + 1), uniform(-50, frame.width + 50),
                              uniform(-50, frame.height + 50), i % 2});
        }
        model::StyleSettings style;
        style.zoomHold = uniform(0, 3);
        style.zoomLead = uniform(0, 1);
        const auto segs = CameraTimeline::autoSegments(clicks, frame, duration, style);
        for (std::size_t i = 0; i < segs.size(); ++i) {
            ASSERT_GE(segs[i].start, 0);
            ASSERT_LE(segs[i].end, duration);
            ASSERT_GT(segs[i].end - segs[i].start, 0.8);
            ASSERT_GE(segs[i].centerX, 0);
            ASSERT_LE(segs[i].centerX, 1);
            ASSERT_GE(segs[i].centerY, 0);
            ASSERT_LE(segs[i].centerY, 1);
            if (i > 0) {
                ASSERT_GE(segs[i].start, segs[i - 1].end + 0.3);
            }
        }
        // Click order does not matter.
        std::reverse(clicks.begin(), clicks.end());
        std::stable_sort(clicks.begin(), clicks.end(),
                         [](const auto& a, const auto& b) { return a.t < b.t; });
        const auto again = CameraTimeline::autoSegments(clicks, frame, duration, style);
        ASSERT_EQ(again.size(), segs.size());
        for (std::size_t i = 0; i < segs.size(); ++i) {
            ASSERT_EQ(again[i].start, segs[i].start);
            ASSERT_EQ(again[i].end, segs[i].end);
        }
    }
}

// One timeline and one cursor path read from several threads at once, as the
// renderer does; results must equal a single-threaded read. Run under
// ThreadSanitizer to check that lookups touch no shared mutable state.
TEST_F(RandomEdits, ReadFromManyThreads) {
    const Size frame{1920, 1080};
    const CursorPath cursor(pointer(60, frame));
    const CameraTimeline cam(segments(12, 50), frame, cursor);
    std::vector<double> times;
    for (int i = 0; i < 4000; ++i) times.push_back(uniform(-1, 60));
    std::vector<CameraState> expected;
    std::vector<Point> expectedCursor;
    for (double t : times) {
        expected.push_back(cam.state(t));
        expectedCursor.push_back(*cursor.smoothedPosition(t, 0.14));
    }

    constexpr int kThreads = 8;
    std::vector<int> mismatches(kThreads, 0);
    std::vector<std::thread> threads;
    for (int n = 0; n < kThreads; ++n) {
        threads.emplace_back([&, n] {
            for (int pass = 0; pass < 5; ++pass) {
                for (std::size_t i = 0; i < times.size(); ++i) {
                    const std::size_t j = (i * 7 + static_cast<std::size_t>(n) * 131) % times.size();
                    if (!(cam.state(times[j]) == expected[j])) ++mismatches[static_cast<std::size_t>(n)];
                    if (!(cursor.smoothedPosition(times[j], 0.14) == expectedCursor[j])) {
                        ++mismatches[static_cast<std::size_t>(n)];
                    }
                }
            }
        });
    }
    for (std::thread& t : threads) t.join();
    for (int m : mismatches) EXPECT_EQ(m, 0);
}

}  // namespace
}  // namespace vorpix::camera
