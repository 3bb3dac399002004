#include "capture/FakeCamera.h"

#include <chrono>
#include <cstdint>

#include "capture/HostClock.h"
#include "capture/WebcamRecorder.h"
#include "media/ThreadName.h"

namespace vorpix::capture {

namespace {

class FakeCamera final : public CameraSource {
public:
    explicit FakeCamera(FakeCameraSettings settings) : settings_(settings) {}
    ~FakeCamera() override { stop(); }

    Result<void> start(FrameHandler onFrame, FailureHandler onFailure) override {
        stop();
        stopping_ = false;
        thread_ = std::thread([this, onFrame = std::move(onFrame), onFailure = std::move(onFailure)] {
            run(onFrame, onFailure);
        });
        return {};
    }

    void stop() override {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
    }

private:
    void run(const FrameHandler& onFrame, const FailureHandler& onFailure) {
        media::setCurrentThreadName("tavorin.webcam");
        const bool bgra = settings_.format == CameraPixelFormat::bgra;
        const int stride = settings_.width * (bgra ? 4 : 2);
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(settings_.height));
        const double start = hostSeconds();
        for (long n = 0; !stopping_; ++n) {
            const double due = start + static_cast<double>(n) / settings_.framesPerSecond;
            while (!stopping_ && hostSeconds() < due) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (stopping_ || settings_.silent) continue;
            if (settings_.unplugAfterFrames && n >= *settings_.unplugAfterFrames) {
                if (onFailure)
                    onFailure(makeError(domain::kTavorin, kCameraNotAdded, "The camera Fake Camera was unplugged."));
                return;
            }
            const auto y = static_cast<std::uint8_t>(fakeCameraLuma(n));
            for (std::size_t i = 0; i < pixels.size(); i += bgra ? 4 : 2) {
                if (bgra) {  // grey: the same value in B, G and R
                    pixels[i] = pixels[i + 1] = pixels[i + 2] = y;
                    pixels[i + 3] = 255;
                } else {  // Y then a neutral chroma byte
                    pixels[i] = y;
                    pixels[i + 1] = 128;
                }
            }
            onFrame(CameraFrame{settings_.format, settings_.width, settings_.height, stride, pixels, due});
        }
    }

    const FakeCameraSettings settings_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
};

}  // namespace

int fakeCameraLuma(long frameIndex) { return 40 + static_cast<int>((frameIndex * 16) % 176); }

Result<std::unique_ptr<CameraSource>> FakeCameraBackend::open(const CameraDevice& device) {
    lastOpened_ = device.id;
    if (settings_.busy)
        return makeError(domain::kTavorin, kCameraNotAdded,
                         "The camera " + device.name + " is busy: another program is using it.");
    return std::unique_ptr<CameraSource>(std::make_unique<FakeCamera>(settings_));
}

}  // namespace vorpix::capture
