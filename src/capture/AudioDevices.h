#pragma once

// The sound devices of this machine, through the sound server (PulseAudio,
// or PipeWire through pipewire-pulse): the sources a take records from and
// the microphone list the record panel shows. Every call here may be made
// from any thread. When no sound server answers within a few seconds the
// call (or the source's start) fails with one line saying so; nothing hangs.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/AudioSource.h"
#include "model/Result.h"

namespace vorpix::capture {

// The sound the machine plays: the monitor of the default output, 48 kHz
// stereo float. When the output goes away mid-take the source fails once.
std::unique_ptr<AudioSource> makeSystemAudioSource();

// A microphone by its id (an entry of listMicrophones(); empty: the server's
// default input), 48 kHz float in its own channel count (1 or 2). A device
// that is unplugged mid-take makes the source fail once; the take goes on.
std::unique_ptr<AudioSource> makeMicrophoneSource(const std::string& id);

// The inputs that are microphones (not monitors of outputs), in the
// server's order, and the default input when it is one of them.
struct MicrophoneList {
    std::vector<AudioDevice> devices;
    std::optional<std::string> defaultId;
};
Result<MicrophoneList> listMicrophones();

// Follows plugging and unplugging of microphones while it lives.
class MicrophoneWatcher {
public:
    virtual ~MicrophoneWatcher() = default;
};

// Calls `onChange` with the new list whenever a microphone appears,
// disappears or changes its description. Called on the sound server's
// thread: re-post to the main thread. No call runs or follows once the
// watcher is destroyed.
using MicrophonesChanged = std::function<void(const MicrophoneList&)>;
Result<std::unique_ptr<MicrophoneWatcher>> watchMicrophones(MicrophonesChanged onChange);

}  // namespace vorpix::capture
