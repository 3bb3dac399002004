// Speed of the frame renderer. The scene is the one the export sees at its
// busiest: 1920 × 1080 (or 3840 × 2160) source, default style (shadow, rounded
// corners, cursor), two live ripples, the camera at scale 2, a 1280 × 720
// webcam in the PiP. A plain copy of one output frame runs in the same process
// as the yardstick for the machine's state; compare ratios, not absolutes.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "TestImages.h"
#include "render/FrameRenderer.h"
#include "render/Resample.h"
#include "render/RowWorkers.h"

namespace vorpix::render {
namespace {

constexpr double kFrameTime = 50.0;  // the camera has settled at scale 2 by then

struct Scene {
    Image source;
    Image webcam;
    std::unique_ptr<FrameRenderer> renderer;
};

std::vector<model::MouseSample> pointerPath(double width, double height) {
    std::vector<model::MouseSample> samples;
    for (int i = 0; i <= 120 * 60; ++i) {
        const double t = i / 120.0;
        samples.push_back(
            {t, width * (0.3 + 0.2 * std::sin(t * 0.7)), height * (0.4 + 0.2 * std::cos(t * 0.5))});
    }
    return samples;
}

// `extraClicks` more clicks, spread over an hour in reverse time order but
// none near the frame: they cost the frame nothing when only live clicks are
// looked at.
std::unique_ptr<FrameRenderer> makeRenderer(int width, int height, double zoomFactor, double cx, double cy,
                                            int extraClicks = 0) {
    model::StyleSettings style;  // defaults: padding, corners, shadow, cursor, ripples, webcam on
    model::ZoomSegment segment;
    segment.start = 0;
    segment.end = 100;
    segment.factor = zoomFactor;
    segment.centerX = cx;
    segment.centerY = cy;
    segment.followCursor = false;
    std::vector<model::ZoomSegment> segments;
    if (zoomFactor > 1) segments.push_back(segment);
    std::vector<model::ClickEvent> clicks = {{kFrameTime - 0.4, width * 0.3, height * 0.4, 0},
                                             {kFrameTime - 0.1, width * 0.5, height * 0.5, 0}};
    for (int i = extraClicks; i > 0; --i) {
        const double t = 3600.0 * i / extraClicks;
        if (std::abs(t - kFrameTime) > 1.0) clicks.push_back({t, width * 0.5, height * 0.5, 0});
    }
    return std::make_unique<FrameRenderer>(Size{double(width), double(height)}, style, segments,
                                           pointerPath(width, height), clicks, true);
}

Scene makeScene(int width, int height, double zoomFactor, double cx = 0.5, double cy = 0.5, int extraClicks = 0) {
    Scene scene;
    scene.source = testing::makeScreen(width, height, PixelFormat::bgra8);
    scene.webcam = testing::makeWebcam(1280, 720, PixelFormat::bgra8);
    scene.renderer = makeRenderer(width, height, zoomFactor, cx, cy, extraClicks);
    return scene;
}

void BM_CopyFrame(benchmark::State& state) {
    const auto width = static_cast<std::size_t>(state.range(0));
    const auto height = static_cast<std::size_t>(state.range(1));
    std::vector<std::uint8_t> a(width * height * 4, 7);
    std::vector<std::uint8_t> b(width * height * 4);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CopyFrame)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Besides the usual times, "all_threads_cpu_ms" is the CPU time of every
// thread per frame: on a busy machine, where wall time cannot show what two
// threads gain, it shows what splitting the rows costs (1-thread CPU time ÷
// half of this is the speed-up two free cores would give).
void renderLoop(benchmark::State& state, Scene& scene, int threads) {
    RowWorkers workers(threads, "bench-rows");
    Image out;
    const ImageView webcam = scene.webcam.view();
    scene.renderer->render(scene.source.view(), &webcam, kFrameTime, out, &workers);  // warm up
    const double cpu0 = processCpuSeconds();
    for (auto _ : state) {
        scene.renderer->render(scene.source.view(), &webcam, kFrameTime, out, &workers);
        benchmark::DoNotOptimize(out.row(0));
        benchmark::ClobberMemory();
    }
    state.counters["all_threads_cpu_ms"] =
        (processCpuSeconds() - cpu0) * 1e3 /
        static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.SetItemsProcessed(state.iterations());
}

// Arguments: source width, height, threads, zoom (× 10).
void BM_Render(benchmark::State& state) {
    Scene scene = makeScene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                            static_cast<double>(state.range(3)) / 10.0);
    renderLoop(state, scene, static_cast<int>(state.range(2)));
}
BENCHMARK(BM_Render)
    ->ArgNames({"w", "h", "threads", "zoom10"})
    ->Args({1920, 1080, 1, 20})
    ->Args({1920, 1080, 2, 20})
    ->Args({1920, 1080, 1, 10})
    ->Args({1920, 1080, 2, 10})
    ->Args({3840, 2160, 1, 20})
    ->Args({3840, 2160, 2, 20})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The encoder's YUV 4:2:0, rendered in one pass (0) or rendered as RGBA and
// converted afterwards (1). Arguments: mode, threads.
void BM_RenderYuv(benchmark::State& state) {
    Scene scene = makeScene(1920, 1080, 2.0);
    RowWorkers workers(static_cast<int>(state.range(1)), "bench-rows");
    const FrameRenderer& r = *scene.renderer;
    const int w = r.outputWidth();
    const int h = r.outputHeight();
    std::vector<std::uint8_t> y(static_cast<std::size_t>(w * h));
    std::vector<std::uint8_t> u(static_cast<std::size_t>((w + 1) / 2 * ((h + 1) / 2)));
    std::vector<std::uint8_t> v(u.size());
    const Yuv420Planes planes{y.data(), w, u.data(), (w + 1) / 2, v.data(), (w + 1) / 2};
    Image rgba;
    const ImageView webcam = scene.webcam.view();
    const auto frame = [&] {
        if (state.range(0) == 0) {
            r.renderYuv420(scene.source.view(), &webcam, kFrameTime, planes, &workers);
            return;
        }
        r.render(scene.source.view(), &webcam, kFrameTime, rgba, &workers);
        const detail::Kernels& k = detail::bestKernels();
        for (int row = 0; row < h; row += 2)
            k.rgbaToYuv420(rgba.row(row), rgba.row(row + 1), w, y.data() + row * w, y.data() + (row + 1) * w,
                           u.data() + row / 2 * ((w + 1) / 2), v.data() + row / 2 * ((w + 1) / 2));
    };
    frame();
    for (auto _ : state) {
        frame();
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(state.range(0) == 0 ? "fused" : "render, then convert");
}
BENCHMARK(BM_RenderYuv)->ArgsProduct({{0, 1}, {1, 2}})->Unit(benchmark::kMillisecond)->UseRealTime();

// Zoomed into a corner: much of the frame is backdrop seen through the camera.
void BM_RenderCornerZoom(benchmark::State& state) {
    Scene scene = makeScene(1920, 1080, 2.0, 0.0, 1.0);
    renderLoop(state, scene, 1);
}
BENCHMARK(BM_RenderCornerZoom)->Unit(benchmark::kMillisecond)->UseRealTime();

// A small frame with the usual two live clicks and 0 or 50,000 others: the
// frame costs the same either way. Argument: the other clicks.
void BM_RenderManyClicks(benchmark::State& state) {
    Scene scene = makeScene(640, 360, 2.0, 0.5, 0.5, static_cast<int>(state.range(0)));
    renderLoop(state, scene, 1);
}
BENCHMARK(BM_RenderManyClicks)->ArgName("clicks")->Arg(0)->Arg(50000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Construct(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    for (auto _ : state) {
        auto renderer = makeRenderer(width, height, 2.0, 0.5, 0.5);
        benchmark::DoNotOptimize(renderer.get());
    }
}
BENCHMARK(BM_Construct)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

// One 1920-pixel output row from a 1920-pixel source row: magnification by
// 1.72 gives two taps, minification by 0.86 four. Arguments: kernel set
// (0 portable, 1 the best), scale × 100.
void BM_HorizontalRow(benchmark::State& state) {
    const auto sets = detail::availableKernels();
    const detail::Kernels& k = state.range(0) == 0 ? *sets.front() : detail::bestKernels();
    const double scale = static_cast<double>(state.range(1)) / 100.0;
    const Image source = testing::makeScreen(1920, 4, PixelFormat::bgra8);
    detail::AxisFilter cols;
    const int width = static_cast<int>(std::min(1920.0, 1920 * scale));
    cols.build(0, width, scale, 0, false, 1920, detail::EdgeMode::clamp);
    std::vector<std::uint16_t> out(static_cast<std::size_t>(width) * 4);
    for (auto _ : state) {
        k.horizontal8to16(source.row(1), 0, cols.first.data(), cols.weights.data(), cols.taps, cols.count(),
                          true, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::string(k.name) + ", " + std::to_string(cols.taps) + " taps");
    state.SetItemsProcessed(state.iterations() * width);
}
BENCHMARK(BM_HorizontalRow)->ArgsProduct({{0, 1}, {172, 86}});

void BM_VerticalRow(benchmark::State& state) {
    const auto sets = detail::availableKernels();
    const detail::Kernels& k = state.range(0) == 0 ? *sets.front() : detail::bestKernels();
    const int taps = static_cast<int>(state.range(1));
    std::vector<std::vector<std::uint16_t>> rows(static_cast<std::size_t>(taps),
                                                 std::vector<std::uint16_t>(1920 * 4, 9000));
    std::vector<const std::uint16_t*> pointers;
    for (const auto& r : rows) pointers.push_back(r.data());
    std::vector<std::int16_t> weights(static_cast<std::size_t>(taps),
                                      static_cast<std::int16_t>(detail::kWeightOne / taps));
    std::vector<std::uint8_t> out(1920 * 4);
    for (auto _ : state) {
        k.vertical16to8(pointers.data(), weights.data(), taps, 1920 * 4, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(k.name);
    state.SetItemsProcessed(state.iterations() * 1920);
}
// Two 1920-pixel RGBA rows to two luma rows and one row each of U and V.
void BM_YuvRowPair(benchmark::State& state) {
    const auto sets = detail::availableKernels();
    const detail::Kernels& k = state.range(0) == 0 ? *sets.front() : detail::bestKernels();
    const Image rows = testing::makeScreen(1920, 2);
    std::vector<std::uint8_t> y(1920 * 2);
    std::vector<std::uint8_t> u(960);
    std::vector<std::uint8_t> v(960);
    for (auto _ : state) {
        k.rgbaToYuv420(rows.row(0), rows.row(1), 1920, y.data(), y.data() + 1920, u.data(), v.data());
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(k.name);
    state.SetItemsProcessed(state.iterations() * 1920 * 2);
}
BENCHMARK(BM_YuvRowPair)->Arg(0)->Arg(1);

BENCHMARK(BM_VerticalRow)->ArgsProduct({{0, 1}, {2, 4}});

}  // namespace
}  // namespace vorpix::render
