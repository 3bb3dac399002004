// Library listing speed: allRecordings() over generated libraries in the
// system temporary folder (removed at exit). The goal is 10,000 native
// recordings in well under the 2 s that "--bench-library" allows.
//
//   ./bench/import/import_bench
//
// The first run of each size builds its library; the file system's cache is
// then warm, as it is for a user who opens the program twice.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <tuple>

#include "import/Library.h"
#include "model/Uuid.h"

namespace {

namespace fs = std::filesystem;
using vorpix::import::allRecordings;

// An "events.json" of a recording with `samples` pointer samples and a few
// clicks, written as the recorder writes it (compact).
std::string eventsJson(int samples) {
    std::string text = R"({"pixelWidth":2560,"pixelHeight":1440,"scaleFactor":2,"duration":)" +
                       std::to_string(samples / 120.0 + 1.0) + R"(,"samples":[)";
    for (int i = 0; i < samples; ++i) {
        if (i > 0) text += ',';
        text += R"({"t":)" + std::to_string(i / 120.0) + R"(,"x":)" + std::to_string(100 + i % 900) +
                R"(,"y":)" + std::to_string(200 + i % 500) + "}";
    }
    text += R"(],"clicks":[{"t":0.5,"x":120,"y":240,"button":0},{"t":1.5,"x":400,"y":300,"button":1}]})";
    return text;
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// A movies folder holding `recordings` native recordings in "Vorpix" and a
// search folder with `packages` Screen Studio packages.
class GeneratedLibrary {
public:
    GeneratedLibrary(int recordings, int samples, int packages)
        : root_(fs::temp_directory_path() /
                ("vorpix-import-bench-" + vorpix::model::Uuid::random().toString())) {
        const fs::path base = vorpix::import::baseFolder(movies());
        const std::string events = eventsJson(samples);
        for (int i = 0; i < recordings; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "2025-%02d-%02d %02d.%02d.%02d", 1 + i % 12, 1 + i % 28,
                          i / 3600 % 24, i / 60 % 60, i % 60);
            const fs::path folder = base / (std::string(name) + " #" + std::to_string(i));
            fs::create_directories(folder);
            writeFile(folder / "events.json", events);
        }
        fs::create_directories(projects());
        for (int i = 0; i < packages; ++i) {
            const fs::path package = projects() / ("Project " + std::to_string(i) + ".screenstudio");
            fs::create_directories(package / "recording");
            writeFile(package / "recording" / "metadata.json", R"({"recorders":[]})");
        }
    }
    ~GeneratedLibrary() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    GeneratedLibrary(const GeneratedLibrary&) = delete;
    GeneratedLibrary& operator=(const GeneratedLibrary&) = delete;

    fs::path movies() const { return root_ / "Videos"; }
    fs::path projects() const { return root_ / "Screen Studio Projects"; }

private:
    fs::path root_;
};

// One library per argument set, kept until the process ends.
const GeneratedLibrary& library(int recordings, int samples, int packages) {
    static std::map<std::tuple<int, int, int>, std::unique_ptr<GeneratedLibrary>> libraries;
    auto& slot = libraries[{recordings, samples, packages}];
    if (!slot) slot = std::make_unique<GeneratedLibrary>(recordings, samples, packages);
    return *slot;
}

void BM_AllRecordings(benchmark::State& state) {
    const int recordings = static_cast<int>(state.range(0));
    const int samples = static_cast<int>(state.range(1));
    const int packages = static_cast<int>(state.range(2));
    const GeneratedLibrary& lib = library(recordings, samples, packages);
    std::size_t items = 0;
    for (auto _ : state) {
        auto list = allRecordings(lib.movies(), {lib.projects()});
        items = list.size();
        benchmark::DoNotOptimize(list);
    }
    state.counters["items"] = static_cast<double>(items);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(items));
}

// Arguments: native recordings, pointer samples per recording, packages.
BENCHMARK(BM_AllRecordings)
    ->ArgNames({"recordings", "samples", "packages"})
    ->Args({0, 0, 0})
    ->Args({10000, 0, 0})
    ->Args({10000, 120, 0})
    ->Args({10000, 120, 500})
    ->Args({1000, 7200, 0})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

}  // namespace
