// Speed of the camera computations at the sizes of a long recording: one hour
// of pointer samples at 120 Hz and 200 follow-cursor zooms.

#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "camera/CameraTimeline.h"
#include "camera/CursorPath.h"

namespace vorpix::camera {
namespace {

constexpr double kHour = 3600.0;
constexpr int kSamplesPerHour = 432000;  // 120 Hz
const Size kFrame{2880, 1800};

std::vector<model::MouseSample> hourOfPointer() {
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> step(-6, 6);
    std::vector<model::MouseSample> samples;
    samples.reserve(kSamplesPerHour);
    double x = kFrame.width / 2;
    double y = kFrame.height / 2;
    for (int i = 0; i < kSamplesPerHour; ++i) {
        x = std::clamp(x + step(rng), 0.0, kFrame.width);
        y = std::clamp(y + step(rng), 0.0, kFrame.height);
        samples.push_back({i / 120.0, x, y});
    }
    return samples;
}

// 200 automatic-looking zooms spread over the hour, 2 to 8 s each, following
// the cursor.
std::vector<model::ZoomSegment> zooms() {
    std::mt19937_64 rng(2);
    std::uniform_real_distribution<double> length(2, 8);
    std::vector<model::ZoomSegment> segments;
    for (int i = 0; i < 200; ++i) {
        model::ZoomSegment z;
        z.start = (i + 0.5) * kHour / 200;
        z.end = z.start + length(rng);
        z.centerX = 0.4;
        z.centerY = 0.6;
        z.factor = 1.9;
        z.followCursor = true;
        segments.push_back(z);
    }
    return segments;
}

const CursorPath& hourPath() {
    static const CursorPath path(hourOfPointer());
    return path;
}

void BM_CameraTimelineBuild_Hour200Segments(benchmark::State& state) {
    const auto segments = zooms();
    const CursorPath& path = hourPath();
    for (auto _ : state) {
        CameraTimeline camera(segments, kFrame, path);
        benchmark::DoNotOptimize(camera.samples().data());
    }
    state.counters["samples"] = static_cast<double>(CameraTimeline(segments, kFrame, path).samples().size());
}
BENCHMARK(BM_CameraTimelineBuild_Hour200Segments)->Unit(benchmark::kMillisecond);

// Every zoom covering the whole hour: a cursor lookup at every one of the
// 216,000 steps.
void BM_CameraTimelineBuild_HourFollowingThroughout(benchmark::State& state) {
    model::ZoomSegment z;
    z.start = 0;
    z.end = kHour;
    z.factor = 2;
    const std::vector<model::ZoomSegment> segments(1, z);
    const CursorPath& path = hourPath();
    for (auto _ : state) {
        CameraTimeline camera(segments, kFrame, path);
        benchmark::DoNotOptimize(camera.samples().data());
    }
}
BENCHMARK(BM_CameraTimelineBuild_HourFollowingThroughout)->Unit(benchmark::kMillisecond);

void BM_CursorPathBuild_Hour(benchmark::State& state) {
    const auto samples = hourOfPointer();
    for (auto _ : state) {
        CursorPath path(samples);
        benchmark::DoNotOptimize(path.samples().data());
    }
}
BENCHMARK(BM_CursorPathBuild_Hour)->Unit(benchmark::kMillisecond);

// Argument 0: query times stride 7.31 s through the hour, so no two calls
// share cache lines (the worst case, a scrub). Argument 1: one query per
// 60 Hz frame, as in playback and export.
template <class Lookup>
void lookups(benchmark::State& state, Lookup lookup) {
    const double stride = state.range(0) == 0 ? 7.31 : 1.0 / 60.0;
    double t = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lookup(t));
        t += stride;
        if (t > kHour) t -= kHour;
    }
}

void BM_CursorPathRawPosition(benchmark::State& state) {
    const CursorPath& path = hourPath();
    lookups(state, [&](double t) { return path.rawPosition(t); });
}
BENCHMARK(BM_CursorPathRawPosition)->ArgName("frames")->Arg(0)->Arg(1);

void BM_CursorPathSmoothedPosition(benchmark::State& state) {
    const CursorPath& path = hourPath();
    const double window = static_cast<double>(state.range(1)) / 100.0;
    lookups(state, [&](double t) { return path.smoothedPosition(t, window); });
}
BENCHMARK(BM_CursorPathSmoothedPosition)
    ->ArgNames({"frames", "window_cs"})
    ->ArgsProduct({{0, 1}, {14, 20, 100}});

void BM_CameraTimelineState(benchmark::State& state) {
    const CameraTimeline camera(zooms(), kFrame, hourPath());
    lookups(state, [&](double t) { return camera.state(t); });
}
BENCHMARK(BM_CameraTimelineState)->ArgName("frames")->Arg(0)->Arg(1);

void BM_AutoSegments_HourOfClicks(benchmark::State& state) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> gap(0.2, 12);
    std::vector<model::ClickEvent> clicks;
    for (double t = 0; t < kHour; t += gap(rng)) clicks.push_back({t, 1000, 800, 0});
    for (auto _ : state) {
        benchmark::DoNotOptimize(CameraTimeline::autoSegments(clicks, kFrame, kHour, {}));
    }
    state.counters["clicks"] = static_cast<double>(clicks.size());
}
BENCHMARK(BM_AutoSegments_HourOfClicks)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vorpix::camera
