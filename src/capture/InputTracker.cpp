#include "capture/InputTracker.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "capture/HostClock.h"
#include "media/ThreadName.h"

namespace vorpix::capture {

namespace {

constexpr double kTickSeconds = 1.0 / 120.0;
constexpr double kKeepSamplesBefore = -0.5;

}  // namespace

TrackedInput toRecordingTime(const TrackedInput& host, double firstPTS) {
    TrackedInput out;
    for (model::MouseSample s : host.samples) {
        s.t -= firstPTS;
        if (s.t >= kKeepSamplesBefore) out.samples.push_back(s);
    }
    for (model::ClickEvent c : host.clicks) {
        c.t -= firstPTS;
        if (c.t >= 0) out.clicks.push_back(c);
    }
    return out;
}

InputTracker::InputTracker(std::unique_ptr<PointerSource> pointer, TrackerGeometry geometry, Observer observer)
    : pointer_(std::move(pointer)), geometry_(geometry), observer_(std::move(observer)) {}

InputTracker::~InputTracker() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
}

void InputTracker::start() {
    thread_ = std::thread([this] { run(); });
}

void InputTracker::tick(const PointerReading& reading, double t) {
    const double x = (reading.x - geometry_.displayX - geometry_.regionX) * geometry_.pixelScale;
    const double y = (reading.y - geometry_.displayY - geometry_.regionY) * geometry_.pixelScale;
    const model::MouseSample sample{t, x, y};
    std::vector<model::ClickEvent> clicks;
    {
        std::lock_guard lock(mutex_);
        host_.samples.push_back(sample);
        const int left = left_.pressesAt(reading.left, reading.leftPresses, t);
        const int right = right_.pressesAt(reading.right, reading.rightPresses, t);
        for (int i = 0; i < left; ++i) clicks.push_back({t, x, y, 0});
        for (int i = 0; i < right; ++i) clicks.push_back({t, x, y, 1});
        host_.clicks.insert(host_.clicks.end(), clicks.begin(), clicks.end());
    }
    if (observer_) {
        observer_(&sample, nullptr);
        for (const auto& c : clicks) observer_(nullptr, &c);
    }
}

int InputTracker::Button::pressesAt(bool heldNow, int events, double t) {
    // The X server may answer the poll before or after it sends the press
    // event; a tick or two apart at most.
    constexpr double kMatchWindow = 0.1;  // seconds
    if (t - countedAt > kMatchWindow) edgesAhead = eventsAhead = 0;
    int edge = heldNow && !down ? 1 : 0;
    down = heldNow;
    const int lateEvents = std::min(events, edgesAhead);
    events -= lateEvents;
    edgesAhead -= lateEvents;
    const int lateEdges = std::min(edge, eventsAhead);
    edge -= lateEdges;
    eventsAhead -= lateEdges;
    if (events == edge) return events;
    // Each side's surplus may be matched by the other side shortly.
    (events > edge ? eventsAhead : edgesAhead) += std::abs(events - edge);
    countedAt = t;
    return std::max(events, edge);
}

void InputTracker::run() {
    media::setCurrentThreadName("tavorin.input");
    const double origin = hostSeconds();
    std::int64_t n = 0;
    while (!stopping_) {
        const double due = origin + static_cast<double>(n) * kTickSeconds;
        timespec ts{};
        ts.tv_sec = static_cast<std::time_t>(due);
        ts.tv_nsec = static_cast<long>((due - static_cast<double>(ts.tv_sec)) * 1e9);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
        }
        if (stopping_) break;
        auto reading = pointer_->read();
        if (!reading) break;  // the display is gone; the screen grab reports it
        tick(*reading, hostSeconds());
        // Skip ticks that are already past rather than sampling in a burst.
        n = std::max(n + 1, static_cast<std::int64_t>((hostSeconds() - origin) / kTickSeconds) + 1);
    }
}

TrackedInput InputTracker::stop(double firstPTS) {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    return toRecordingTime(host_, firstPTS);
}

}  // namespace vorpix::capture
