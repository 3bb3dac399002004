#pragma once

// Records one camera to its own movie ("webcam.mov": H.264 in MOV) next to
// the screen take, and reports the host-clock time of its first frame so
// that the take can store the webcam's offset against the first screen
// frame. The webcam is optional: every failure here is an error value and
// the screen take goes on.
//
// Threads: frames are decoded and encoded on the camera's thread
// ("tavorin.webcam"); the camera is started and stopped on
// "tavorin.webcam.control"; start() and finish() are called from the main
// thread. One recorder records one take.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture/CameraSource.h"
#include "model/Result.h"

namespace vorpix::media {
class MovieWriter;
}

namespace vorpix::capture {

class CameraFrameDecoder;

// Error codes of the "tavorin" domain made here.
inline constexpr int kNoCamera = 10;            // "No camera was found."
inline constexpr int kCameraNotAdded = 11;      // "Could not add camera <name>."
inline constexpr int kCameraOutputNotAdded = 12;
inline constexpr int kWebcamFormatUnsupported = 13;  // "This webcam video format is not supported."
inline constexpr int kNoWebcamFrames = 14;      // "No frames were received from the webcam."

class WebcamRecorder {
public:
    // `url` is the movie to write; `cameras` lists and opens the cameras.
    WebcamRecorder(std::filesystem::path url, std::shared_ptr<CameraBackend> cameras);
    ~WebcamRecorder();
    WebcamRecorder(const WebcamRecorder&) = delete;
    WebcamRecorder& operator=(const WebcamRecorder&) = delete;

    // Camera access: Linux has no per-application camera permission.
    static bool requestAccess() { return true; }

    // Opens `deviceID` when given and present, else the first camera, and
    // starts it on the control thread without waiting for frames. Fails with
    // code 10 when there is no camera, or the camera's own one-line error
    // (busy, unsupported formats).
    Result<void> start(const std::optional<std::string>& deviceID);

    struct Outcome {
        std::optional<double> firstPTS;       // seconds, the first frame's capture time
        std::optional<double> firstHostTime;  // seconds on the host clock
        std::optional<Error> error;
    };
    // Stops the camera and finishes the movie. Without a usable movie the
    // file is deleted and the error says why (code 14 without any frame).
    // May be called in any state, also after a failed start.
    Outcome finish();

private:
    void onFrame(const CameraFrame& frame);
    void onFailure(const Error& error);
    void runControl();
    void onControl(std::function<void()> task);  // runs `task` on the control thread and waits

    const std::filesystem::path url_;
    const std::shared_ptr<CameraBackend> cameras_;
    std::unique_ptr<CameraSource> camera_;  // touched on the control thread once started

    std::thread control_;
    std::mutex controlMutex_;
    std::condition_variable controlWake_;
    // guarded by controlMutex_
    std::deque<std::function<void()>> controlTasks_;
    bool controlQuit_ = false;

    std::mutex mutex_;
    // guarded by mutex_
    std::unique_ptr<media::MovieWriter> writer_;
    std::unique_ptr<CameraFrameDecoder> decoder_;
    bool finished_ = false;
    std::optional<double> firstPTS_;
    std::optional<double> firstHostTime_;
    std::optional<Error> setupError_;
    std::int64_t lastIndex_ = -1;
};

}  // namespace vorpix::capture
