#include "media/TempoFilter.h"

#include <algorithm>
#include <cstring>
#include <string>

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
}

namespace vorpix::media {

namespace {

// Factors within what one atempo accepts whose product is `tempo`.
std::vector<double> tempoStages(double tempo) {
    std::vector<double> stages;
    while (tempo < 0.5) {
        stages.push_back(0.5);
        tempo /= 0.5;
    }
    while (tempo > 100.0) {
        stages.push_back(100.0);
        tempo /= 100.0;
    }
    stages.push_back(tempo);
    return stages;
}

std::string layoutName(int channels) {
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    char name[64] = {};
    av_channel_layout_describe(&layout, name, sizeof name);
    av_channel_layout_uninit(&layout);
    return name;
}

}  // namespace

TempoFilter::~TempoFilter() = default;

Result<std::unique_ptr<TempoFilter>> TempoFilter::create(double tempo, int sampleRate, int channels) {
    if (!(tempo > 0) || sampleRate <= 0 || channels <= 0) {
        return makeError(kFFmpegDomain, AVERROR(EINVAL), "Invalid speed change " + std::to_string(tempo));
    }
    std::unique_ptr<TempoFilter> filter(new TempoFilter());
    filter->sampleRate_ = sampleRate;
    filter->channels_ = channels;
    filter->frame_ = makeFrame();
    filter->ready_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLT, channels, 4096));
    if (!filter->frame_ || !filter->ready_)
        return ffmpegError(AVERROR(ENOMEM), "Could not set up a speed change");
    for (double factor : tempoStages(tempo)) {
        if (auto ok = filter->addStage(factor); !ok) return ok.error();
    }
    return filter;
}

Result<void> TempoFilter::addStage(double tempo) {
    Stage stage;
    stage.graph.reset(avfilter_graph_alloc());
    if (!stage.graph) return ffmpegError(AVERROR(ENOMEM), "Could not set up a speed change");
    AVFilterGraph& graph = *stage.graph;
    graph.nb_threads = 1;
    const std::string layout = layoutName(channels_);
    const std::string rate = std::to_string(sampleRate_);
    const std::string sourceArgs =
        "time_base=1/" + rate + ":sample_rate=" + rate + ":sample_fmt=flt:channel_layout=" + layout;
    int err = avfilter_graph_create_filter(&stage.source, avfilter_get_by_name("abuffer"), "in",
                                           sourceArgs.c_str(), nullptr, &graph);
    if (err < 0) return ffmpegError(err, "Could not set up a speed change");
    err = avfilter_graph_create_filter(&stage.sink, avfilter_get_by_name("abuffersink"), "out", nullptr,
                                       nullptr, &graph);
    if (err < 0) return ffmpegError(err, "Could not set up a speed change");

    // in -> atempo -> aformat (back to packed float) -> out
    const std::string chain = "atempo=" + std::to_string(tempo) +
                              ",aformat=sample_fmts=flt:sample_rates=" + rate + ":channel_layouts=" + layout;
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    if (outputs == nullptr || inputs == nullptr) {
        avfilter_inout_free(&outputs);
        avfilter_inout_free(&inputs);
        return ffmpegError(AVERROR(ENOMEM), "Could not set up a speed change");
    }
    outputs->name = av_strdup("in");
    outputs->filter_ctx = stage.source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = stage.sink;
    err = avfilter_graph_parse_ptr(&graph, chain.c_str(), &inputs, &outputs, nullptr);
    avfilter_inout_free(&outputs);
    avfilter_inout_free(&inputs);
    if (err < 0) return ffmpegError(err, "Could not set up a speed change");
    err = avfilter_graph_config(&graph, nullptr);
    if (err < 0) return ffmpegError(err, "Could not set up a speed change");
    stages_.push_back(std::move(stage));

    // atempo's output begins half an analysis window (1/48 s) into its input;
    // that much silence in front keeps the first real sample first.
    const std::vector<float> silence(static_cast<std::size_t>(sampleRate_ / 48 * channels_), 0.0f);
    return pushInto(stages_.size() - 1, silence.data(), sampleRate_ / 48);
}

Result<void> TempoFilter::pushInto(std::size_t stage, const float* interleaved, int frames) {
    if (frames <= 0) return {};
    AVFrame& frame = *frame_;
    frame.nb_samples = frames;
    frame.format = AV_SAMPLE_FMT_FLT;
    frame.sample_rate = sampleRate_;
    av_channel_layout_default(&frame.ch_layout, channels_);
    int err = av_frame_get_buffer(&frame, 0);
    if (err < 0) return ffmpegError(err, "Could not change the speed of audio");
    std::memcpy(frame.data[0], interleaved,
                static_cast<std::size_t>(frames) * sizeof(float) * static_cast<std::size_t>(channels_));
    err = av_buffersrc_add_frame_flags(stages_[stage].source, &frame, 0);
    av_frame_unref(&frame);
    if (err < 0) return ffmpegError(err, "Could not change the speed of audio");
    return {};
}

Result<void> TempoFilter::pump(std::size_t stage) {
    for (;;) {
        const int err = av_buffersink_get_frame(stages_[stage].sink, frame_.get());
        if (err == kAvErrorAgain || err == kAvErrorEof) return {};
        if (err < 0) return ffmpegError(err, "Could not change the speed of audio");
        FramePtr out = makeFrame();
        if (!out) return ffmpegError(AVERROR(ENOMEM), "Could not change the speed of audio");
        av_frame_move_ref(out.get(), frame_.get());
        const auto* samples = reinterpret_cast<const float*>(out->data[0]);
        if (stage + 1 < stages_.size()) {
            if (auto ok = pushInto(stage + 1, samples, out->nb_samples); !ok) return ok;
        } else {
            void* planes[] = {out->data[0]};
            const int written = av_audio_fifo_write(ready_.get(), planes, out->nb_samples);
            if (written < 0) return ffmpegError(written, "Could not buffer audio");
        }
    }
}

Result<void> TempoFilter::endStage(std::size_t stage) {
    const int err = av_buffersrc_add_frame_flags(stages_[stage].source, nullptr, 0);
    if (err < 0) return ffmpegError(err, "Could not change the speed of audio");
    return {};
}

Result<void> TempoFilter::push(std::span<const float> interleaved) {
    const int frames = static_cast<int>(interleaved.size() / static_cast<std::size_t>(channels_));
    if (frames == 0 || finished_) return {};
    if (auto ok = pushInto(0, interleaved.data(), frames); !ok) return ok;
    for (std::size_t i = 0; i < stages_.size(); ++i) {
        if (auto ok = pump(i); !ok) return ok;
    }
    return {};
}

Result<void> TempoFilter::finish() {
    if (finished_) return {};
    finished_ = true;
    for (std::size_t i = 0; i < stages_.size(); ++i) {
        if (auto ok = endStage(i); !ok) return ok;
        if (auto ok = pump(i); !ok) return ok;
    }
    return {};
}

Result<std::size_t> TempoFilter::pull(std::span<float> out) {
    const int wanted = static_cast<int>(out.size() / static_cast<std::size_t>(channels_));
    const int take = std::min(wanted, av_audio_fifo_size(ready_.get()));
    if (take <= 0) return std::size_t{0};
    void* planes[] = {out.data()};
    const int got = av_audio_fifo_read(ready_.get(), planes, take);
    if (got < 0) return ffmpegError(got, "Could not read buffered audio");
    return static_cast<std::size_t>(got);
}

}  // namespace vorpix::media
