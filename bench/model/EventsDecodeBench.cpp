// Decoding "events.json" of a one-minute recording (7,200 pointer samples),
// which the library does for every recording it lists. The baseline is
// nlohmann's own tree parse of the same text, without any checking.

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "model/SessionEvents.h"

namespace {

std::string oneMinuteOfEvents() {
    vorpix::model::SessionEvents ev;
    ev.pixelWidth = 2880;
    ev.pixelHeight = 1800;
    ev.scaleFactor = 2;
    ev.duration = 60;
    for (int i = 0; i < 7200; ++i) {
        const double t = i / 120.0;
        ev.samples.push_back({t, 1440 + 700 * std::sin(t * 0.7), 900 + 500 * std::cos(t * 1.1)});
    }
    for (int i = 0; i < 40; ++i) ev.clicks.push_back({i * 1.5, 100.0 + i, 200.0 + i, i % 2});
    return *vorpix::model::encodeSessionEvents(ev);
}

void TreeParseBaseline(benchmark::State& state) {
    const std::string text = oneMinuteOfEvents();
    for (auto _ : state) benchmark::DoNotOptimize(nlohmann::json::parse(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(TreeParseBaseline)->Unit(benchmark::kMillisecond);

void DecodeSessionEvents(benchmark::State& state) {
    const std::string text = oneMinuteOfEvents();
    for (auto _ : state) benchmark::DoNotOptimize(vorpix::model::decodeSessionEvents(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(DecodeSessionEvents)->Unit(benchmark::kMillisecond);

}  // namespace
