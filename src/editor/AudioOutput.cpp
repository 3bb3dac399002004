#include "editor/AudioOutput.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <thread>

namespace vorpix::editor {

namespace {

constexpr int kAudioOutputErrorCode = 60;

struct SimpleDeleter {
    void operator()(pa_simple* s) const { pa_simple_free(s); }
};

class PulseAudioOutput : public AudioOutput {
public:
    explicit PulseAudioOutput(pa_simple* stream) : stream_(stream) {}

    Result<void> write(std::span<const float> interleaved) override {
        int error = 0;
        if (pa_simple_write(stream_.get(), interleaved.data(), interleaved.size_bytes(), &error) < 0)
            return makeError(domain::kTavorin, kAudioOutputErrorCode,
                             std::string("Could not play the sound: ") + pa_strerror(error));
        return {};
    }
    double latencySeconds() override {
        int error = 0;
        const pa_usec_t usec = pa_simple_get_latency(stream_.get(), &error);
        return usec == static_cast<pa_usec_t>(-1) ? 0.0 : static_cast<double>(usec) / 1e6;
    }
    void flush() override {
        int error = 0;
        pa_simple_flush(stream_.get(), &error);
    }

private:
    std::unique_ptr<pa_simple, SimpleDeleter> stream_;
};

}  // namespace

NullAudioOutput::NullAudioOutput(std::chrono::milliseconds buffer)
    : bufferSeconds_(std::chrono::duration<double>(buffer).count()) {}

double NullAudioOutput::queuedSeconds(std::chrono::steady_clock::time_point now) const {
    return std::max(queued_ - std::chrono::duration<double>(now - since_).count(), 0.0);
}

Result<void> NullAudioOutput::write(std::span<const float> interleaved) {
    const auto now = std::chrono::steady_clock::now();
    queued_ = queuedSeconds(now) + static_cast<double>(interleaved.size()) / (kChannels * kSampleRate);
    since_ = now;
    // Block until no more than the device buffer is queued, as a device would.
    if (queued_ > bufferSeconds_)
        std::this_thread::sleep_for(std::chrono::duration<double>(queued_ - bufferSeconds_));
    return {};
}

double NullAudioOutput::latencySeconds() { return queuedSeconds(std::chrono::steady_clock::now()); }

void NullAudioOutput::flush() {
    queued_ = 0;
    since_ = std::chrono::steady_clock::now();
}

Result<std::unique_ptr<AudioOutput>> openPulseAudioOutput(const std::string& streamName) {
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_FLOAT32LE;
    spec.rate = AudioOutput::kSampleRate;
    spec.channels = AudioOutput::kChannels;
    pa_buffer_attr attr{};
    const auto bytes = [](double seconds) {
        return static_cast<std::uint32_t>(seconds * AudioOutput::kSampleRate * AudioOutput::kChannels * 4);
    };
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = bytes(0.04);  // 40 ms queued: low latency, still safe against scheduling hiccups
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    int error = 0;
    pa_simple* stream = pa_simple_new(nullptr, "Vorpix", PA_STREAM_PLAYBACK, nullptr, streamName.c_str(), &spec,
                                      nullptr, &attr, &error);
    if (!stream)
        return makeError(domain::kTavorin, kAudioOutputErrorCode,
                         std::string("Could not open the sound output: ") + pa_strerror(error));
    return std::unique_ptr<AudioOutput>(std::make_unique<PulseAudioOutput>(stream));
}

}  // namespace vorpix::editor
