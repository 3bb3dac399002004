#pragma once

// Where the preview's sound goes: 48 kHz interleaved stereo float, written
// in blocks by the player's audio thread, which the device paces. Two kinds:
// PulseAudio (the desktop's sound server, also pipewire-pulse) and a null
// output that swallows samples at the real-time rate (tests, benchmarks,
// machines without sound). Used by one thread at a time.

#include <chrono>
#include <memory>
#include <span>
#include <string>

#include "model/Result.h"

namespace vorpix::editor {

class AudioOutput {
public:
    static constexpr int kSampleRate = 48000;
    static constexpr int kChannels = 2;

    virtual ~AudioOutput() = default;
    // Queues the samples; blocks while the device's buffer is full.
    virtual Result<void> write(std::span<const float> interleaved) = 0;
    // Seconds of written sound not yet heard.
    virtual double latencySeconds() = 0;
    // Drops what is queued and not yet heard (pause, seek).
    virtual void flush() = 0;
};

// Takes samples as fast as a device playing them would, keeping `buffer`
// of sound queued like a real device.
class NullAudioOutput : public AudioOutput {
public:
    explicit NullAudioOutput(std::chrono::milliseconds buffer = std::chrono::milliseconds(40));
    Result<void> write(std::span<const float> interleaved) override;
    double latencySeconds() override;
    void flush() override;

private:
    double queuedSeconds(std::chrono::steady_clock::time_point now) const;

    const double bufferSeconds_;
    double queued_ = 0;  // seconds not yet heard at `since_`
    std::chrono::steady_clock::time_point since_ = std::chrono::steady_clock::now();
};

// A playback stream on the default PulseAudio sink. Fails with one line when
// no server answers.
Result<std::unique_ptr<AudioOutput>> openPulseAudioOutput(const std::string& streamName);

}  // namespace vorpix::editor
