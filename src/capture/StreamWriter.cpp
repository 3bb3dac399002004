#include "capture/StreamWriter.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "capture/BgraToYuv420.h"
#include "capture/CaptureErrors.h"
#include "capture/HostClock.h"
#include "capture/MicCapture.h"
#include "media/ThreadName.h"

namespace vorpix::capture {

namespace fs = std::filesystem;

namespace {

constexpr int kTicksPerSecond = 60000;
constexpr int kSampleRate = 48000;
constexpr int kQueueFrames = 8;
// Audio whose time stamp strays further than this from where its track has
// got to is re-placed (silence before it, or its overlap trimmed). Below it,
// the device clock's jitter is left alone.
constexpr double kAudioSlackSeconds = 0.02;
// Audio waiting for the writer beyond this is dropped: the writer has fallen
// far behind, and memory must not grow without bound.
constexpr std::size_t kQueueAudioItems = 400;

// Channel `c` of frame `i` of `chunk`, mapped to `channels` output channels
// (mono is doubled, extra channels dropped).
std::vector<float> toChannels(const AudioChunk& chunk, int channels) {
    const int in = std::max(chunk.channels, 1);
    const std::size_t frames = chunk.samples.size() / static_cast<std::size_t>(in);
    std::vector<float> out(frames * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            out[i * channels + c] = chunk.samples[i * in + std::min(c, in - 1)];
        }
    }
    return out;
}

}  // namespace

std::int64_t StreamWriter::bitRateFor(int width, int height) {
    const auto bits = static_cast<std::int64_t>(static_cast<double>(width) * static_cast<double>(height) * 4.0);
    return std::max<std::int64_t>(bits, 8'000'000);
}

Result<std::unique_ptr<StreamWriter>> StreamWriter::create(const fs::path& path, int width, int height,
                                                           bool systemAudio, std::optional<int> microphoneChannels,
                                                           Callbacks callbacks) {
    std::unique_ptr<StreamWriter> w(new StreamWriter());
    w->path_ = path;
    w->width_ = width & ~1;
    w->height_ = height & ~1;
    w->callbacks_ = std::move(callbacks);

    media::MovieLayout layout;
    media::VideoStreamSettings video;
    video.codec = "libx264";
    video.width = w->width_;
    video.height = w->height_;
    video.fps = 60;
    video.timeBase = kTicksPerSecond;
    video.bitRate = bitRateFor(w->width_, w->height_);
    video.crf = -1;
    // Real time on a laptop: the fastest preset, no look-ahead and no frame
    // delay (a frame is in the file as soon as its fragment closes).
    video.preset = "ultrafast";
    video.tune = "zerolatency";
    video.profile = "high";
    // A key frame every half second (one per fragment): the editor's exact
    // seek decodes at most 30 frames from one.
    video.gopFrames = 30;
    layout.video = video;
    if (systemAudio) {
        media::AudioStreamSettings a;
        a.sampleRate = kSampleRate;
        a.channels = 2;
        a.bitRate = 192000;
        w->systemTrack_ = layout.audio.size();
        layout.audio.push_back(a);
        w->placement_.push_back({2, 0, false});
    }
    if (microphoneChannels) {
        media::AudioStreamSettings a;
        a.sampleRate = kSampleRate;
        a.channels = 1;  // channel 0 of the device, limited
        a.bitRate = 128000;
        w->microphoneTrack_ = layout.audio.size();
        layout.audio.push_back(a);
        w->placement_.push_back({1, 0, false});
    }
    w->stats_.audioOffsetStart.assign(layout.audio.size(), 0.0);
    w->stats_.audioOffsetEnd.assign(layout.audio.size(), 0.0);
    // Fragments start at every key frame and at the first packet after
    // 0.4 s (a still screen still sends a frame every 0.1 s), so none holds
    // more than 0.5 s; each is handed to the kernel as soon as it is
    // complete. A stream that falls silent holds the others back at most 1 s.
    layout.muxerOptions = {{"movflags", "+frag_keyframe+empty_moov"},
                           {"frag_duration", "400000"},
                           {"flush_packets", "1"},
                           {"max_interleave_delta", "1000000"}};
    auto movie = media::MovieWriter::create(path, "mov", layout);
    if (!movie) return movie.error();
    w->movie_ = std::move(*movie);

    w->thread_ = std::thread([self = w.get()] { self->run(); });
    return w;
}

StreamWriter::~StreamWriter() {
    if (thread_.joinable()) cancel();
}

bool StreamWriter::appendVideo(const BgraView& frame, double hostTime) {
    {
        std::lock_guard lock(mutex_);
        if (finished_) return false;
        if (queuedFrames_ >= kQueueFrames) {
            ++stats_.framesDropped;
            return false;
        }
    }
    auto yuv = frames_.get(AV_PIX_FMT_YUV420P, width_, height_);
    if (!yuv) return false;
    AVFrame& f = **yuv;
    bgraToYuv420(frame.data, frame.stride, std::min(frame.width, width_), std::min(frame.height, height_),
                 {f.data[0], f.data[1], f.data[2], f.linesize[0], f.linesize[1], f.linesize[2]});

    bool first = false;
    {
        std::lock_guard lock(mutex_);
        if (finished_) return false;
        if (!firstPTS_) {
            firstPTS_ = hostTime;
            firstHostTime_ = hostSeconds();
            first = true;
        }
        auto ticks = static_cast<std::int64_t>(std::llround((hostTime - *firstPTS_) * kTicksPerSecond));
        queue_.push_back(VideoItem{std::move(*yuv), ticks, hostTime});
        ++queuedFrames_;
    }
    wake_.notify_one();
    if (first && callbacks_.onFirstFrame) callbacks_.onFirstFrame(hostTime);
    return true;
}

void StreamWriter::appendSystemAudio(const AudioChunk& chunk) {
    if (!systemTrack_ || chunk.sampleRate != kSampleRate) return;
    enqueueAudio(*systemTrack_, toChannels(chunk, 2), chunk.hostTime);
}

void StreamWriter::appendMicrophone(const AudioChunk& chunk) {
    if (!microphoneTrack_ || chunk.sampleRate != kSampleRate) return;
    std::vector<float> mono = channel0(chunk.samples, chunk.channels);
    limit(mono, micGain_);
    enqueueAudio(*microphoneTrack_, std::move(mono), chunk.hostTime);
}

void StreamWriter::enqueueAudio(std::size_t track, std::vector<float> samples, double hostTime) {
    if (samples.empty()) return;
    {
        std::lock_guard lock(mutex_);
        if (finished_ || !firstPTS_) return;
        const double end = hostTime + static_cast<double>(samples.size()) /
                                          (placement_[track].channels * static_cast<double>(kSampleRate));
        if (end <= *firstPTS_) return;  // ends at or before the first frame
        if (queue_.size() >= kQueueAudioItems + static_cast<std::size_t>(queuedFrames_)) return;
        queue_.push_back(AudioItem{track, std::move(samples), hostTime});
    }
    wake_.notify_one();
}

Result<void> StreamWriter::writeAudio(AudioItem& item) {
    TrackPlacement& p = placement_[item.track];
    double first = 0;
    {
        std::lock_guard lock(mutex_);
        first = *firstPTS_;
    }
    const auto frames = static_cast<std::int64_t>(item.samples.size()) / p.channels;
    const auto want = static_cast<std::int64_t>(std::llround((item.hostTime - first) * kSampleRate));
    const auto slack = static_cast<std::int64_t>(kAudioSlackSeconds * kSampleRate);
    std::int64_t skip = 0;
    std::int64_t pad = 0;
    if (!p.started) {
        // The track begins at t = 0 like the video: the part of a chunk that
        // straddles the first frame is cut, a late first chunk gets silence.
        skip = std::max<std::int64_t>(-want, 0);
        pad = std::max<std::int64_t>(want, 0);
    } else if (want - p.written > slack) {
        pad = want - p.written;  // the source skipped (a gap, a stall)
    } else if (p.written - want > slack) {
        skip = std::min(p.written - want, frames);  // the source repeated itself
    }
    if (skip >= frames) return {};
    if (pad > 0) {
        std::vector<float> silence(static_cast<std::size_t>(pad * p.channels), 0.0f);
        if (auto ok = movie_->writeAudio(silence, item.track); !ok) return ok;
        p.written += pad;
    }
    std::span<const float> rest(item.samples);
    rest = rest.subspan(static_cast<std::size_t>(skip * p.channels));
    if (auto ok = movie_->writeAudio(rest, item.track); !ok) return ok;
    const double offset = static_cast<double>(p.written - (want + skip)) / kSampleRate;
    p.written += frames - skip;
    std::lock_guard lock(mutex_);
    if (!p.started) stats_.audioOffsetStart[item.track] = offset;
    stats_.audioOffsetEnd[item.track] = offset;
    p.started = true;
    return {};
}

void StreamWriter::run() {
    media::setCurrentThreadName("tavorin.writer");
    std::int64_t lastTicks = -1;
    for (;;) {
        Item item;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return !queue_.empty() || draining_ || cancelled_; });
            if (cancelled_ || (queue_.empty() && draining_)) return;
            item = std::move(queue_.front());
            queue_.pop_front();
            if (std::holds_alternative<VideoItem>(item)) --queuedFrames_;
            if (error_) continue;  // failed: drain without writing
        }
        if (auto* video = std::get_if<VideoItem>(&item)) {
            // Time stamps must rise even if two grabs round to one tick.
            const std::int64_t ticks = std::max(video->ticks, lastTicks + 1);
            if (auto ok = movie_->writeVideo(std::move(video->frame), ticks); !ok) {
                fail(ok.error());
                continue;
            }
            lastTicks = ticks;
            std::lock_guard lock(mutex_);
            lastPTS_ = video->hostTime;
            ++stats_.framesWritten;
        } else if (auto ok = writeAudio(std::get<AudioItem>(item)); !ok) {
            fail(ok.error());
        }
    }
}

void StreamWriter::fail(const Error& error) {
    Error e = makeError(domain::kTavorin, codes::kWriteFailed, error.message);
    {
        std::lock_guard lock(mutex_);
        if (error_) return;
        error_ = e;
        finished_ = true;
    }
    if (callbacks_.onFailure) callbacks_.onFailure(e);
}

StreamWriter::Outcome StreamWriter::finish() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        draining_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();

    Outcome outcome;
    std::optional<Error> error;
    {
        std::lock_guard lock(mutex_);
        outcome.firstPTS = firstPTS_;
        outcome.lastPTS = lastPTS_;
        outcome.firstHostTime = firstHostTime_;
        error = error_;
    }
    if (!outcome.firstPTS || !outcome.lastPTS) {
        movie_.reset();
        std::error_code ec;
        fs::remove(path_, ec);
        outcome = Outcome{};
        outcome.error = error ? *error
                              : makeError(domain::kTavorin, codes::kNoFrames,
                                          "No frames were captured. Check that this desktop allows screen capture.");
        return outcome;
    }
    if (!error) {
        if (auto ok = movie_->finish(); !ok) error = makeError(domain::kTavorin, codes::kWriteFailed, ok.error().message);
    }
    // A failed write leaves the fragments written before it; they stay.
    movie_.reset();
    outcome.error = error;
    return outcome;
}

void StreamWriter::cancel() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        cancelled_ = true;
        queue_.clear();
        queuedFrames_ = 0;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    movie_.reset();
    std::error_code ec;
    fs::remove(path_, ec);
}

std::optional<double> StreamWriter::firstPTS() const {
    std::lock_guard lock(mutex_);
    return firstPTS_;
}

StreamWriter::Stats StreamWriter::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

}  // namespace vorpix::capture
