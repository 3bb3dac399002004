#pragma once

// The editor's view of the voice-over recorder: start a take that writes a
// new audio file into a folder, and stop it, getting the finished file. The
// app wires the capture module's recorder to this; tests give their own.
// Main thread.

#include <filesystem>

#include "model/Result.h"

namespace vorpix::editor {

class VoiceOverTake {
public:
    virtual ~VoiceOverTake() = default;
    // Fails with the recorder's one-line message (no microphone, ...).
    virtual Result<void> start(const std::filesystem::path& folder) = 0;
    // The finished file (inside the folder given to start), or an error when
    // the take produced none.
    virtual Result<std::filesystem::path> stop() = 0;
};

}  // namespace vorpix::editor
