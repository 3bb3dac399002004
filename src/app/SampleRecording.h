#pragma once

// `vorpix make-sample`: writes a complete, realistic recording folder
// without a screen, microphone or camera: "raw.mov" (a desktop with a
// settings window being filled in, H.264 like the recorder writes, with a
// sound track), "events.json" (a 120 Hz pointer path and its clicks) and,
// when asked, "webcam.mov" with a non-zero webcam offset. Deterministic for
// a given seed. Needs a QGuiApplication (offscreen is fine) for text.

#include <cstdint>
#include <filesystem>
#include <functional>

#include "model/Result.h"
#include "model/SessionEvents.h"

namespace vorpix::app {

struct SampleOptions {
    std::filesystem::path folder;
    double duration = 12.0;  // seconds
    bool webcam = false;
    std::uint64_t seed = 7;
    int width = 1920;
    int height = 1080;
    int fps = 60;
    double webcamOffset = 0.25;  // seconds the webcam started after the screen
    // Speech for the sound track when espeak-ng is installed.
    bool speech = true;
    // Called with the fraction done, 0...1, from the calling thread.
    std::function<void(double)> progress;
};

// Writes the recording into `options.folder` (created when missing). Refuses
// a folder that already holds a recording, and leaves no half-written movie
// behind on failure.
Result<model::SessionEvents> makeSampleRecording(const SampleOptions& options);

}  // namespace vorpix::app
