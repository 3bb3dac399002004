#include "capture/ScreenCapture.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "capture/HostClock.h"
#include "media/ThreadName.h"

namespace vorpix::capture {

namespace {

void sleepUntil(double hostTime) {
    timespec ts{};
    ts.tv_sec = static_cast<std::time_t>(hostTime);
    ts.tv_nsec = static_cast<long>((hostTime - static_cast<double>(ts.tv_sec)) * 1e9);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

}  // namespace

ScreenCapture::ScreenCapture(std::unique_ptr<ScreenGrabber> grabber, int fps)
    : grabber_(std::move(grabber)), fps_(fps > 0 ? fps : 60) {}

ScreenCapture::~ScreenCapture() {
    stop();
}

void ScreenCapture::start(FrameSink sink, FailureHandler onFailure) {
    sink_ = std::move(sink);
    onFailure_ = std::move(onFailure);
    thread_ = std::thread([this] { run(); });
}

void ScreenCapture::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
}

ScreenCapture::Stats ScreenCapture::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

void ScreenCapture::run() {
    media::setCurrentThreadName("tavorin.capture");
    const double period = 1.0 / fps_;
    const double origin = hostSeconds();
    std::int64_t tick = 0;
    double lastGrab = -1e9;
    double lateSum = 0, lateSquares = 0, lateMax = 0, busy = 0;
    std::int64_t frames = 0, missed = 0, unchanged = 0;
    for (;;) {
        const double due = origin + static_cast<double>(tick) * period;
        if (!stopping_) sleepUntil(due);
        // After stop() one more grab, so the movie ends when the take did
        // even if the screen stood still at the end.
        const bool last = stopping_;
        const double before = hostSeconds();
        if (!last && before - lastGrab < kKeepAliveSeconds && !grabber_->changed()) {
            ++unchanged;
            ++tick;
            continue;
        }
        auto view = grabber_->grab();
        const double after = hostSeconds();
        if (!view) {
            if (onFailure_) onFailure_(view.error());
            break;
        }
        // The server copied the pixels between our request and its reply.
        const double stamp = 0.5 * (before + after);
        sink_(*view, stamp);
        lastGrab = stamp;
        ++frames;
        const double done = hostSeconds();
        busy += done - before;
        if (last) break;
        const double late = stamp - due;
        lateSum += late;
        lateSquares += late * late;
        lateMax = std::max(lateMax, late);
        // The next tick still ahead of us; the ones already past are lost.
        const auto next = static_cast<std::int64_t>(std::floor((done - origin) / period)) + 1;
        if (next > tick + 1) missed += next - tick - 1;
        tick = std::max(tick + 1, next);
    }
    std::lock_guard lock(mutex_);
    stats_.frames = frames;
    stats_.missedTicks = missed;
    stats_.unchangedTicks = unchanged;
    if (frames > 1) {
        const double n = static_cast<double>(frames - 1);
        const double mean = lateSum / n;
        stats_.meanLatenessMs = mean * 1e3;
        stats_.jitterMs = std::sqrt(std::max(lateSquares / n - mean * mean, 0.0)) * 1e3;
        stats_.maxLatenessMs = lateMax * 1e3;
    }
    if (frames > 0) stats_.meanGrabMs = busy / static_cast<double>(frames) * 1e3;
}

}  // namespace vorpix::capture
