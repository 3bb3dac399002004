// The per-frame conversions of the export at 1080p: decoded YUV to the
// renderer's BGRA (libswscale), and the renderer's RGBA to the encoder's
// 4:2:0, by the direct pass and by libswscale for comparison.

#include <benchmark/benchmark.h>

#include <cstring>

#include "media/PixelConversion.h"

namespace {

using namespace vorpix::media;

FramePtr frame(AVPixelFormat format, int w, int h) {
    FramePtr f = makeFrame();
    f->format = format;
    f->width = w;
    f->height = h;
    av_frame_get_buffer(f.get(), 64);
    for (int p = 0; p < 4 && f->data[p] != nullptr; ++p) {
        const int rows = p == 0 ? h : (h + 1) / 2;
        std::memset(f->data[p], 90 + 20 * p,
                    static_cast<std::size_t>(f->linesize[p]) * static_cast<std::size_t>(rows));
    }
    return f;
}

void BM_Yuv420ToBgra(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    FramePtr in = frame(AV_PIX_FMT_YUV420P, w, h);
    FrameConverter converter;
    for (auto _ : state) benchmark::DoNotOptimize(converter.convert(*in, AV_PIX_FMT_BGRA, w, h));
}
BENCHMARK(BM_Yuv420ToBgra)->Args({1920, 1080})->Args({2880, 1800})->Unit(benchmark::kMillisecond);

void BM_RgbaToYuv420Direct(benchmark::State& state) {
    FramePtr in = frame(AV_PIX_FMT_RGBA, 1920, 1080);
    FramePtr out = frame(AV_PIX_FMT_YUV420P, 1920, 1080);
    for (auto _ : state) {
        rgbaToYuv420(in->data[0], in->linesize[0], *out, 0, 1080);
        benchmark::DoNotOptimize(out->data[0][0]);
    }
}
BENCHMARK(BM_RgbaToYuv420Direct)->Unit(benchmark::kMillisecond);

void BM_RgbaToYuv420Swscale(benchmark::State& state) {
    FramePtr in = frame(AV_PIX_FMT_RGBA, 1920, 1080);
    FrameConverter converter;
    for (auto _ : state) benchmark::DoNotOptimize(converter.convert(*in, AV_PIX_FMT_YUV420P, 1920, 1080));
}
BENCHMARK(BM_RgbaToYuv420Swscale)->Unit(benchmark::kMillisecond);

}  // namespace
