#include "capture/ToneAudioSource.h"

#include <chrono>
#include <cmath>
#include <numbers>
#include <vector>

#include "capture/HostClock.h"
#include "media/ThreadName.h"

namespace vorpix::capture {

Result<void> ToneAudioSource::start(ChunkHandler onChunk, FailureHandler onFailure) {
    stop();
    if (settings_.channels < 1 || settings_.sampleRate < 1 || settings_.chunkFrames < 1)
        return makeError(domain::kTavorin, kAudioDeviceFailed, "The test tone has an impossible format.");
    stopping_ = false;
    thread_ = std::thread([this, onChunk = std::move(onChunk), onFailure = std::move(onFailure)] {
        run(onChunk, onFailure);
    });
    return {};
}

void ToneAudioSource::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
}

void ToneAudioSource::run(ChunkHandler onChunk, FailureHandler onFailure) {
    media::setCurrentThreadName("tavorin.audio");
    const double start = hostSeconds();
    const auto channels = static_cast<std::size_t>(settings_.channels);
    std::vector<float> buffer(static_cast<std::size_t>(settings_.chunkFrames) * channels);
    const double step = 2 * std::numbers::pi * settings_.frequency / settings_.sampleRate;
    for (std::int64_t frame = 0; !stopping_; frame += settings_.chunkFrames) {
        if (settings_.failAfterFrames && frame >= *settings_.failAfterFrames) {
            if (onFailure) onFailure(makeError(domain::kTavorin, kAudioDeviceFailed, "The test tone was unplugged."));
            return;
        }
        for (std::size_t i = 0; i < buffer.size() / channels; ++i) {
            const auto v = static_cast<float>(settings_.amplitude * std::sin(step * static_cast<double>(frame + static_cast<std::int64_t>(i))));
            for (std::size_t c = 0; c < channels; ++c) buffer[i * channels + c] = v;
        }
        const double hostTime = start + static_cast<double>(frame) / settings_.sampleRate;
        // A buffer is handed over once its last frame has "been captured".
        const double due = hostTime + static_cast<double>(settings_.chunkFrames) / settings_.sampleRate;
        if (const double wait = due - hostSeconds(); wait > 0)
            std::this_thread::sleep_for(std::chrono::duration<double>(wait));
        if (stopping_) return;
        onChunk(AudioChunk{buffer, settings_.channels, settings_.sampleRate, hostTime});
    }
}

}  // namespace vorpix::capture
