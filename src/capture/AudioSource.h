#pragma once

// A live sound source of a take: the system audio (the monitor of the
// default output) or a microphone. Backends: PulseAudio (real), a generated
// tone (tests). Buffers arrive on the source's own thread ("tavorin.audio")
// as interleaved 32-bit float, stamped on the host clock (HostClock.h).

#include <functional>
#include <span>
#include <string>

#include "model/Result.h"

namespace vorpix::capture {

struct AudioChunk {
    std::span<const float> samples;  // interleaved, `channels` per frame
    int channels = 0;
    int sampleRate = 0;              // Hz
    double hostTime = 0;             // seconds (CLOCK_MONOTONIC) of the first frame
};

// Codes of the "tavorin" domain for sound sources.
inline constexpr int kSoundServerUnavailable = 20;  // no server, or it does not answer
inline constexpr int kAudioDeviceNotFound = 21;     // the chosen device is not there
inline constexpr int kAudioDeviceFailed = 22;       // could not record, or stopped mid-take

// A device the user can choose: a stable id to persist and a description to show.
struct AudioDevice {
    std::string id;
    std::string description;
};

class AudioSource {
public:
    // Called on the source's thread for each buffer; must not block for long.
    using ChunkHandler = std::function<void(const AudioChunk&)>;
    // Called at most once, on the source's thread, when the device fails or
    // disappears mid-take; no chunk follows it.
    using FailureHandler = std::function<void(const Error&)>;

    virtual ~AudioSource() = default;

    // Starts delivering. Fails at once (one-line message) when the device
    // cannot be opened.
    virtual Result<void> start(ChunkHandler onChunk, FailureHandler onFailure) = 0;
    // Stops; when it returns no handler is running or will run. Idempotent.
    virtual void stop() = 0;
};

}  // namespace vorpix::capture
