// Speed of the edit arithmetic for a heavily cut hour: the mappings run per
// event and per frame, keep and the remaps on every edit.

#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "timeline/EditDerivation.h"
#include "timeline/EditTimeline.h"

namespace vorpix::timeline {
namespace {

constexpr double kHour = 3600.0;

// `cuts` removed ranges of 1 to 20 s spread over the hour.
std::vector<model::TimeRange> cutsOverAnHour(int cuts) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> length(1, 20);
    std::vector<model::TimeRange> removed;
    for (int i = 0; i < cuts; ++i) {
        model::TimeRange r;
        r.start = (i + 0.5) * kHour / cuts;
        r.end = r.start + length(rng);
        removed.push_back(r);
    }
    return removed;
}

void BM_Keep(benchmark::State& state) {
    const auto removed = cutsOverAnHour(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(keep(kHour, 0, kHour, removed));
}
BENCHMARK(BM_Keep)->Arg(10)->Arg(200);

void BM_ToSource(benchmark::State& state) {
    const auto k = keep(kHour, 0, kHour, cutsOverAnHour(static_cast<int>(state.range(0))));
    const double length = editDuration(k);
    double t = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(toSource(t, k));
        t += 7.31;
        if (t > length) t -= length;
    }
}
BENCHMARK(BM_ToSource)->Arg(10)->Arg(200);

void BM_ToOutput(benchmark::State& state) {
    const auto k = keep(kHour, 0, kHour, cutsOverAnHour(static_cast<int>(state.range(0))));
    double s = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(toOutput(s, k));
        s += 7.31;
        if (s > kHour) s -= kHour;
    }
}
BENCHMARK(BM_ToOutput)->Arg(10)->Arg(200);

// What the editor does for the renderer after each edit: an hour of pointer
// samples at 120 Hz moved to output time.
void BM_RemapSamples_Hour(benchmark::State& state) {
    const auto k = keep(kHour, 0, kHour, cutsOverAnHour(static_cast<int>(state.range(0))));
    std::vector<model::MouseSample> samples;
    for (int i = 0; i < 432000; ++i) samples.push_back({i / 120.0, 100, 100});
    for (auto _ : state) benchmark::DoNotOptimize(remapSamples(samples, k));
}
BENCHMARK(BM_RemapSamples_Hour)->Arg(10)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vorpix::timeline
