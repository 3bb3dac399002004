#pragma once

// The devices a RecorderModel records from, passed in by the composition
// root: the X11 desktop, the sound server and the cameras on a real
// machine; Xvfb, generated tones and a fake camera in tests.

#include <functional>
#include <memory>
#include <string>

#include "capture/AudioDevices.h"
#include "capture/AudioSource.h"
#include "capture/CameraSource.h"
#include "capture/ScreenSource.h"

namespace vorpix::capture {

struct RecorderBackends {
    std::shared_ptr<ScreenBackend> screen;
    std::function<std::unique_ptr<AudioSource>()> systemAudio;
    std::function<std::unique_ptr<AudioSource>(const std::string& id)> microphone;
    std::function<Result<MicrophoneList>()> microphones;
    std::shared_ptr<CameraBackend> cameras;  // null: no camera can be recorded
};

// This machine's devices: X11 ($DISPLAY), PulseAudio, and the cameras of
// `cameras` (null until a camera backend is wired in).
RecorderBackends systemBackends(std::shared_ptr<CameraBackend> cameras);

}  // namespace vorpix::capture
