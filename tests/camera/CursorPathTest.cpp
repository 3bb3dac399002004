#include "camera/CursorPath.h"

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "support/AllocationCounter.h"
#include "Reference.h"

namespace vorpix::camera {
namespace {

using model::MouseSample;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(CursorPath, SortsByTimeKeepingTheOrderOfEqualTimes) {
    const CursorPath path({{2, 20, 0}, {0, 1, 0}, {1, 10, 0}, {0, 2, 0}, {1, 11, 0}, {2, 21, 0}});
    std::vector<double> xs;
    for (const MouseSample& s : path.samples()) xs.push_back(s.x);
    EXPECT_EQ(xs, (std::vector<double>{1, 2, 10, 11, 20, 21}));

    // Enough samples that an unstable sort would reorder equal times.
    std::vector<MouseSample> many;
    for (int i = 0; i < 300; ++i)
        many.push_back({static_cast<double>((i * 7) % 5), static_cast<double>(i), 0});
    const CursorPath sorted(many);
    for (std::size_t i = 1; i < sorted.samples().size(); ++i) {
        const MouseSample& a = sorted.samples()[i - 1];
        const MouseSample& b = sorted.samples()[i];
        ASSERT_TRUE(a.t < b.t || (a.t == b.t && a.x < b.x)) << i;
    }
}

TEST(CursorPath, TimesWithoutAPlaceOnTheLine) {
    const CursorPath path({{0, 0, 0}, {1, 100, 50}});
    EXPECT_EQ(path.rawPosition(kNaN), (Point{0, 0}));
    EXPECT_EQ(path.rawPosition(-kInf), (Point{0, 0}));
    EXPECT_EQ(path.rawPosition(kInf), (Point{100, 50}));
    EXPECT_EQ(path.smoothedPosition(kNaN, 0.14), (Point{0, 0}));
    EXPECT_EQ(path.smoothedPosition(0.5, kNaN), path.rawPosition(0.5));
}

TEST(CursorPath, SampleTimesThatAreNotNumbersStayInBounds) {
    // Never written by the program; lookups must still stay inside the samples.
    for (const auto& samples : std::vector<std::vector<MouseSample>>{
             {{0, 0, 0}, {1, 10, 0}, {kNaN, 5, 5}},
             {{kNaN, 5, 5}, {0, 0, 0}, {1, 10, 0}},
             {{0, 0, 0}, {kNaN, 5, 5}, {0.5, 1, 1}, {kNaN, 6, 6}, {1, 10, 0}, {2, 3, 3}}}) {
        const CursorPath path(samples);
        for (double t = -1; t < 3; t += 0.05) {
            EXPECT_TRUE(path.rawPosition(t));
            EXPECT_TRUE(path.smoothedPosition(t, 0.3));
        }
    }
}

TEST(CursorPath, SamplesCloserThanATenthOfAMillisecondDoNotDivideByZero) {
    const CursorPath path({{1, 0, 0}, {1.00001, 100, 0}, {2, 100, 0}});
    // f = 0.000005 / max(0.00001, 0.0001): the jump is spread over 0.1 ms.
    EXPECT_NEAR(path.rawPosition(1.000005)->x, 5, 1e-6);
}

class RandomPaths : public ::testing::Test {
protected:
    std::vector<MouseSample> path(int count) {
        std::vector<MouseSample> samples;
        double t = uniform(-3, 3);
        for (int i = 0; i < count; ++i) {
            // 120 Hz with jitter, pauses and repeated times.
            const double r = uniform(0, 1);
            t += r < 0.1 ? 0.0 : r < 0.15 ? uniform(0.2, 2) : uniform(0.004, 0.012);
            samples.push_back({t, uniform(-50, 2000), uniform(-50, 1200)});
        }
        return samples;
    }
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }

private:
    std::mt19937_64 rng_{7};
};

TEST_F(RandomPaths, LookupsMatchPlainBisectionAndSum) {
    for (int round = 0; round < 200; ++round) {
        const std::vector<MouseSample> samples = path(1 + round * 3);
        const CursorPath cursor(samples);
        const double t0 = samples.front().t - 1;
        const double t1 = samples.back().t + 1;
        for (int i = 0; i < 200; ++i) {
            // Exact sample times hit the duplicate rules; the rest fall between.
            const double t =
                i % 5 == 0 ? samples[static_cast<std::size_t>(i) % samples.size()].t : uniform(t0, t1);
            const Point raw = *cursor.rawPosition(t);
            const Point rawRef = *reference::rawPosition(cursor.samples(), t);
            ASSERT_EQ(raw, rawRef) << round << " t=" << t;
            const double window = uniform(0, 0.5);
            const Point smooth = *cursor.smoothedPosition(t, window);
            const Point smoothRef = *reference::smoothedPosition(cursor.samples(), t, window);
            ASSERT_NEAR(smooth.x, smoothRef.x, 1e-9 * 2000) << round << " t=" << t << " w=" << window;
            ASSERT_NEAR(smooth.y, smoothRef.y, 1e-9 * 2000) << round << " t=" << t << " w=" << window;
        }
    }
}

TEST_F(RandomPaths, ConstantPathSmoothsToItself) {
    for (int round = 0; round < 100; ++round) {
        std::vector<MouseSample> samples = path(1 + round);
        const double x = uniform(-100, 3000);
        const double y = uniform(-100, 3000);
        for (MouseSample& s : samples) s = {s.t, x, y};
        const CursorPath cursor(samples);
        for (int i = 0; i < 50; ++i) {
            const double t = uniform(samples.front().t - 2, samples.back().t + 2);
            ASSERT_EQ(cursor.smoothedPosition(t, uniform(0, 2)), (Point{x, y}));
        }
    }
}

TEST_F(RandomPaths, LookupsAllocateNothing) {
    const CursorPath cursor(path(5000));
    const double end = cursor.samples().back().t;
    testing::AllocationScope scope;
    double sum = 0;
    for (double t = -5; t < end + 5; t += 0.01) {
        sum += cursor.rawPosition(t)->x;
        sum += cursor.smoothedPosition(t, 0.14)->y;
    }
    EXPECT_EQ(scope.count(), 0u);
    EXPECT_NE(sum, 0);
}

}  // namespace
}  // namespace vorpix::camera
