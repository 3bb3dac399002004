#pragma once

// Speed change of interleaved float audio with pitch kept: libavfilter's
// `atempo`, in stages when the factor lies outside the 0.5 ... 100 that one
// instance accepts. The output is aligned with the input: the first output
// sample plays the first input sample (each stage is primed with the half
// analysis window that atempo otherwise skips). Single-threaded.

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "media/FFmpeg.h"
#include "model/Result.h"

namespace vorpix::media {

class TempoFilter {
public:
    // `tempo` > 1 plays faster (2: half the length). Audio is interleaved
    // float at `sampleRate` with `channels` channels, in and out.
    static Result<std::unique_ptr<TempoFilter>> create(double tempo, int sampleRate, int channels);
    ~TempoFilter();
    TempoFilter(const TempoFilter&) = delete;
    TempoFilter& operator=(const TempoFilter&) = delete;

    Result<void> push(std::span<const float> interleaved);
    // No more input: what the filter still holds becomes available.
    Result<void> finish();
    // Up to out.size() / channels frames of output ready now.
    Result<std::size_t> pull(std::span<float> out);

private:
    struct Stage {
        FilterGraphPtr graph;
        AVFilterContext* source = nullptr;  // owned by graph
        AVFilterContext* sink = nullptr;    // owned by graph
    };

    TempoFilter() = default;
    Result<void> addStage(double tempo);
    Result<void> pushInto(std::size_t stage, const float* interleaved, int frames);
    Result<void> endStage(std::size_t stage);
    // Moves every frame a stage has ready into the next stage (or the FIFO).
    Result<void> pump(std::size_t stage);

    std::vector<Stage> stages_;
    FramePtr frame_;
    AudioFifoPtr ready_;
    int sampleRate_ = 0;
    int channels_ = 0;
    bool finished_ = false;
};

}  // namespace vorpix::media
