#include "capture/RecorderBackends.h"

#include "capture/X11Screen.h"

namespace vorpix::capture {

RecorderBackends systemBackends(std::shared_ptr<CameraBackend> cameras) {
    RecorderBackends b;
    b.screen = std::make_shared<X11Screen>();
    b.systemAudio = [] { return makeSystemAudioSource(); };
    b.microphone = [](const std::string& id) { return makeMicrophoneSource(id); };
    b.microphones = [] { return listMicrophones(); };
    b.cameras = std::move(cameras);
    return b;
}

}  // namespace vorpix::capture
