#include "capture/WebcamRecorder.h"

#include <cmath>

#include <unistd.h>

#include "capture/CameraFrameDecoder.h"
#include "media/MovieWriter.h"
#include "media/ThreadName.h"

namespace vorpix::capture {

namespace {

// The movie's clock: frames keep their capture times to the millisecond,
// so a camera that slows down in the dark plays back at its real pace.
constexpr int kTicksPerSecond = 1000;
constexpr int kNominalFps = 30;
constexpr std::int64_t kBitRate = 6'000'000;

Error webcamError(int code, std::string message) {
    return makeError(domain::kTavorin, code, std::move(message));
}

}  // namespace

WebcamRecorder::WebcamRecorder(std::filesystem::path url, std::shared_ptr<CameraBackend> cameras)
    : url_(std::move(url)), cameras_(std::move(cameras)) {
    control_ = std::thread([this] { runControl(); });
}

WebcamRecorder::~WebcamRecorder() {
    bool started = false;
    {
        std::lock_guard lock(mutex_);
        started = !finished_;
    }
    if (started && camera_) finish();
    onControl([this] { camera_.reset(); });
    {
        std::lock_guard lock(controlMutex_);
        controlQuit_ = true;
    }
    controlWake_.notify_one();
    control_.join();
}

void WebcamRecorder::runControl() {
    media::setCurrentThreadName("tavorin.webcam.control");
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(controlMutex_);
            controlWake_.wait(lock, [this] { return controlQuit_ || !controlTasks_.empty(); });
            if (controlTasks_.empty()) return;
            task = std::move(controlTasks_.front());
            controlTasks_.pop_front();
        }
        task();
    }
}

void WebcamRecorder::onControl(std::function<void()> task) {
    std::mutex doneMutex;
    std::condition_variable doneWake;
    bool done = false;
    {
        std::lock_guard lock(controlMutex_);
        controlTasks_.push_back([&] {
            task();
            std::lock_guard l(doneMutex);
            done = true;
            doneWake.notify_one();
        });
    }
    controlWake_.notify_one();
    std::unique_lock lock(doneMutex);
    doneWake.wait(lock, [&] { return done; });
}

Result<void> WebcamRecorder::start(const std::optional<std::string>& deviceID) {
    const std::vector<CameraDevice> devices = cameras_->devices();
    if (devices.empty()) return webcamError(kNoCamera, "No camera was found.");
    const CameraDevice* device = &devices.front();
    for (const CameraDevice& d : devices)
        if (deviceID && d.id == *deviceID) device = &d;

    const std::filesystem::path folder = url_.parent_path().empty() ? "." : url_.parent_path();
    if (::access(folder.c_str(), W_OK) != 0)
        return webcamError(kCameraOutputNotAdded, "Could not add the camera output (" + folder.string() + " is not writable).");

    auto opened = cameras_->open(*device);
    if (!opened) return opened.error();
    Result<void> started;
    onControl([&] {
        camera_ = std::move(*opened);
        started = camera_->start([this](const CameraFrame& f) { onFrame(f); },
                                 [this](const Error& e) { onFailure(e); });
        if (!started) camera_.reset();
    });
    return started;
}

void WebcamRecorder::onFrame(const CameraFrame& frame) {
    std::lock_guard lock(mutex_);
    if (finished_) return;
    if (!writer_) {
        media::VideoStreamSettings video;
        // 4:2:0 needs even sizes; an odd last row or column is dropped.
        video.width = frame.width & ~1;
        video.height = frame.height & ~1;
        video.fps = kNominalFps;
        // A key frame every half second, as the screen movie has: the editor's
        // exact seeks decode from the key frame before the target.
        video.gopFrames = kNominalFps / 2;
        video.timeBase = kTicksPerSecond;
        video.bitRate = kBitRate;
        video.crf = -1;
        video.preset = "ultrafast";  // shares two cores with the screen's encoder
        video.profile = "high";
        // No reordering: with B-frames the fragmented movie would begin at
        // the encoder's delay (67 ms) instead of 0, and the webcam would lag
        // the screen by that much.
        video.maxBFrames = 0;
        media::MovieLayout layout;
        layout.video = video;
        // Fragments of at most 0.5 s: a crash keeps what was written.
        layout.muxerOptions = {{"movflags", "+frag_keyframe+empty_moov+default_base_moof"},
                               {"frag_duration", "500000"}};
        auto writer = media::MovieWriter::create(url_, "mov", layout);
        if (!writer) {
            setupError_ = webcamError(kWebcamFormatUnsupported,
                                      "This webcam video format is not supported (" + writer.error().message + ").");
            finished_ = true;
            return;
        }
        writer_ = std::move(*writer);
        decoder_ = std::make_unique<CameraFrameDecoder>();
    }
    auto picture = writer_->makeVideoFrame();
    if (!picture) return;
    // A damaged picture (a torn MJPEG frame) is dropped; the next one may be whole.
    if (!decoder_->decode(frame, **picture)) return;
    if (!firstHostTime_) {
        firstPTS_ = frame.hostTime;
        firstHostTime_ = frame.hostTime;
    }
    auto index = static_cast<std::int64_t>(std::llround((frame.hostTime - *firstHostTime_) * kTicksPerSecond));
    if (index <= lastIndex_) index = lastIndex_ + 1;
    if (auto ok = writer_->writeVideo(std::move(*picture), index); !ok) {
        setupError_ = ok.error();
        finished_ = true;
        return;
    }
    lastIndex_ = index;
}

void WebcamRecorder::onFailure(const Error&) {
    // An unplugged camera ends the webcam movie where it is; the frames
    // before it are kept, and the screen take goes on.
    std::lock_guard lock(mutex_);
    finished_ = true;
}

WebcamRecorder::Outcome WebcamRecorder::finish() {
    onControl([this] {
        if (camera_) camera_->stop();
    });
    std::unique_ptr<media::MovieWriter> writer;
    Outcome outcome;
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        writer = std::move(writer_);
        decoder_.reset();
        outcome.firstPTS = firstPTS_;
        outcome.firstHostTime = firstHostTime_;
        outcome.error = setupError_;
    }
    if (!outcome.error && (!writer || !outcome.firstHostTime))
        outcome.error = webcamError(kNoWebcamFrames, "No frames were received from the webcam.");
    if (!outcome.error) {
        if (auto ok = writer->finish(); !ok) outcome.error = ok.error();
    }
    if (outcome.error) {
        writer.reset();
        std::error_code ignored;
        std::filesystem::remove(url_, ignored);
        outcome.firstPTS.reset();
        outcome.firstHostTime.reset();
    }
    return outcome;
}

}  // namespace vorpix::capture
