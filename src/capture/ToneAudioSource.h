#pragma once

// A generated sound source for tests: a sine of known frequency and
// amplitude, delivered in real time on its own thread ("tavorin.audio") in
// buffers stamped on the host clock, as a sound server would. Optionally it
// fails after a number of frames, like a device that is unplugged.

#include <atomic>
#include <cstdint>
#include <optional>
#include <thread>

#include "capture/AudioSource.h"

namespace vorpix::capture {

struct ToneSettings {
    double frequency = 440;  // Hz
    float amplitude = 0.5f;  // peak, 0...1
    int channels = 2;        // every channel carries the tone
    int sampleRate = 48000;  // Hz
    int chunkFrames = 480;   // frames per buffer (10 ms at 48 kHz)
    std::optional<std::int64_t> failAfterFrames;  // then the failure handler runs once
};

class ToneAudioSource final : public AudioSource {
public:
    explicit ToneAudioSource(ToneSettings settings) : settings_(settings) {}
    ~ToneAudioSource() override { stop(); }

    Result<void> start(ChunkHandler onChunk, FailureHandler onFailure) override;
    void stop() override;

private:
    void run(ChunkHandler onChunk, FailureHandler onFailure);

    const ToneSettings settings_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
};

}  // namespace vorpix::capture
