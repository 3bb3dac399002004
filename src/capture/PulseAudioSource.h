#pragma once

// A sound source of a take through the sound server: the monitor of the
// default output (system audio, 48 kHz stereo float) or one microphone
// (48 kHz float in its own channel count, 1 or 2). Buffers arrive on the
// connection's thread "tavorin.audio", each stamped with the host time at
// which its first frame was captured: the first from the stream's latency,
// the rest by counting frames, moved forward when the measured time runs
// ahead of the count by more than kResyncSeconds (sound the server dropped).
// start() and stop() are called from one thread, never from a handler.

#include <cstdint>
#include <memory>
#include <string>

#include <pulse/stream.h>

#include "capture/AudioSource.h"
#include "capture/PulseConnection.h"

namespace vorpix::capture {

class PulseAudioSource final : public AudioSource {
public:
    enum class Kind { systemAudio, microphone };

    // `sourceId`: the microphone's id; empty is the server's default input.
    // Unused for system audio.
    PulseAudioSource(Kind kind, std::string sourceId);
    ~PulseAudioSource() override;

    Result<void> start(ChunkHandler onChunk, FailureHandler onFailure) override;
    void stop() override;

    // Largest difference between counted and measured time that is left
    // alone, in seconds: above the jitter of the server's timing reports.
    static constexpr double kResyncSeconds = 0.04;

private:
    struct StreamDeleter {
        void operator()(pa_stream* s) const { pa_stream_unref(s); }
    };

    Result<void> openStream();
    void deliver(const void* data, std::size_t bytes);
    void fail(const std::string& message);
    static void onRead(pa_stream* stream, std::size_t bytes, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onContextState(pa_context* context, void* self);

    const Kind kind_;
    const std::string requestedId_;
    std::unique_ptr<PulseConnection> connection_;

    // Touched on the loop thread, or with the loop locked.
    std::unique_ptr<pa_stream, StreamDeleter> stream_;
    ChunkHandler onChunk_;
    FailureHandler onFailure_;
    std::string deviceName_;  // for messages
    int channels_ = 0;
    bool streaming_ = false;  // the stream reached READY and stop() has not begun
    bool failed_ = false;
    double anchorTime_ = 0;         // host seconds of frame `anchorFrame_`
    std::int64_t anchorFrame_ = 0;  // frames delivered (or skipped) before the anchor
    std::int64_t frames_ = 0;       // frames delivered or skipped so far
    bool anchored_ = false;
};

}  // namespace vorpix::capture
