#pragma once

// The grab loop of a take, on the thread "tavorin.capture": grabs the area
// up to `fps` times a second, paced on CLOCK_MONOTONIC (the host clock), and
// hands each picture with its grab time to the sink. A tick that comes too
// late is skipped, not caught up, so the frame times stay true; a tick on
// which the backend knows nothing changed is skipped too (at most 0.1 s
// in a row), as a still screen needs no new frame.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "capture/ScreenSource.h"
#include "model/Result.h"

namespace vorpix::capture {

class ScreenCapture {
public:
    // Called on the capture thread; the view is valid during the call only.
    using FrameSink = std::function<void(const BgraView& frame, double hostTime)>;
    // The grabber failed (the display went away); the loop has ended.
    using FailureHandler = std::function<void(const Error&)>;

    struct Stats {
        std::int64_t frames = 0;          // grabs handed to the sink
        std::int64_t missedTicks = 0;     // ticks skipped because a grab ran late
        std::int64_t unchangedTicks = 0;  // ticks skipped because nothing had changed
        double meanLatenessMs = 0;        // grab time after its tick
        double jitterMs = 0;              // standard deviation of that lateness
        double maxLatenessMs = 0;
        double meanGrabMs = 0;            // grab plus sink, per frame
    };

    // A still screen is grabbed at least this often, so the movie's
    // fragments keep coming and its length stays true.
    static constexpr double kKeepAliveSeconds = 0.1;

    ScreenCapture(std::unique_ptr<ScreenGrabber> grabber, int fps);
    ~ScreenCapture();  // stops
    ScreenCapture(const ScreenCapture&) = delete;
    ScreenCapture& operator=(const ScreenCapture&) = delete;

    void start(FrameSink sink, FailureHandler onFailure);
    // Ends the loop; when it returns the sink is not running and will not
    // run again. Idempotent.
    void stop();
    // Meaningful after stop().
    Stats stats() const;

private:
    void run();

    std::unique_ptr<ScreenGrabber> grabber_;
    int fps_ = 60;
    FrameSink sink_;
    FailureHandler onFailure_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    Stats stats_;  // guarded by mutex_
};

}  // namespace vorpix::capture
