#include "capture/FakeScreen.h"

#include <algorithm>
#include <functional>

#include "capture/CaptureErrors.h"

namespace vorpix::capture {

namespace {

class FakeGrabber final : public ScreenGrabber {
public:
    FakeGrabber(PixelRect area, std::optional<int> grabsBeforeFailure)
        : area_(area), left_(grabsBeforeFailure), pixels_(static_cast<std::size_t>(area.width) * area.height * 4) {}

    Result<BgraView> grab() override {
        if (left_ && (*left_)-- <= 0) {
            return makeError(domain::kTavorin, codes::kGrabFailed, "The fake display went away.");
        }
        std::fill(pixels_.begin(), pixels_.end(), static_cast<std::uint8_t>(shade_++));
        return BgraView{pixels_.data(), static_cast<std::ptrdiff_t>(area_.width) * 4, area_.width, area_.height};
    }

private:
    PixelRect area_;
    std::optional<int> left_;
    std::vector<std::uint8_t> pixels_;
    unsigned shade_ = 0;
};

class FakePointer final : public PointerSource {
public:
    explicit FakePointer(std::function<PointerReading()> read) : read_(std::move(read)) {}
    Result<PointerReading> read() override { return read_(); }

private:
    std::function<PointerReading()> read_;
};

}  // namespace

Result<std::vector<DisplayInfo>> FakeScreen::displays() {
    if (settings_.listFailure) return makeError(domain::kTavorin, codes::kNoDisplay, *settings_.listFailure);
    return settings_.displays;
}

Result<std::unique_ptr<ScreenGrabber>> FakeScreen::open(const PixelRect& area) {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->area = area;
    }
    return std::unique_ptr<ScreenGrabber>(std::make_unique<FakeGrabber>(area, settings_.grabsBeforeFailure));
}

Result<std::unique_ptr<PointerSource>> FakeScreen::openPointer() {
    return std::unique_ptr<PointerSource>(std::make_unique<FakePointer>([shared = shared_] {
        std::lock_guard lock(shared->mutex);
        PointerReading r = shared->pointer;
        shared->pointer.leftPresses = shared->pointer.rightPresses = 0;  // events are seen once
        return r;
    }));
}

void FakeScreen::setPointer(const PointerReading& reading) {
    std::lock_guard lock(shared_->mutex);
    shared_->pointer = reading;
}

PixelRect FakeScreen::lastArea() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->area;
}

}  // namespace vorpix::capture
