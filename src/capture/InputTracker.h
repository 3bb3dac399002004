#pragma once

// Samples the pointer 120 times a second during a take and notes every
// press of the left and right buttons, on its own thread "tavorin.input"
// (so a busy main thread never thins the path). Positions come from the
// poll; presses from the poll's edges and from the backend's press events,
// whichever saw more, so a click shorter than one tick still counts.
// Everything is stamped on the host clock and converted to recording time
// at stop(), against the first frame.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/PointerSource.h"
#include "model/SessionEvents.h"

namespace vorpix::capture {

// Where the captured area lies on the desktop and how many pixels a point
// is: the display's top-left corner (points), the region's origin inside
// the display (points, (0, 0) for full screen) and the pixel scale.
struct TrackerGeometry {
    double displayX = 0;
    double displayY = 0;
    double regionX = 0;
    double regionY = 0;
    double pixelScale = 1.0;
};

struct TrackedInput {
    std::vector<model::MouseSample> samples;
    std::vector<model::ClickEvent> clicks;
};

// Host-clock samples and clicks into recording time: t - firstPTS, keeping
// samples from -0.5 s and clicks from 0 s, in their order.
TrackedInput toRecordingTime(const TrackedInput& host, double firstPTS);

class InputTracker {
public:
    // Sees every sample and click as it is taken (host-clock times), on the
    // tracker's thread: the take's journal.
    using Observer = std::function<void(const model::MouseSample*, const model::ClickEvent*)>;

    InputTracker(std::unique_ptr<PointerSource> pointer, TrackerGeometry geometry, Observer observer = {});
    ~InputTracker();  // stops the thread
    InputTracker(const InputTracker&) = delete;
    InputTracker& operator=(const InputTracker&) = delete;

    // Ticks every 1/120 s on the tracker's thread until stop().
    void start();
    // One sample of `reading` taken at host time `t`. Called by the thread;
    // public so the rules can be driven directly.
    void tick(const PointerReading& reading, double t);
    // Stops the thread and returns everything in recording time.
    TrackedInput stop(double firstPTS);

private:
    void run();

    std::unique_ptr<PointerSource> pointer_;
    const TrackerGeometry geometry_;
    Observer observer_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;

    std::mutex mutex_;
    // guarded by mutex_
    TrackedInput host_;
    // One button's state between ticks. A press is seen twice, as an event
    // and as the poll's down edge, not always in the same tick (either may
    // come a tick late); it counts once. What one side counted alone waits
    // a short while for its match from the other side.
    struct Button {
        bool down = false;
        int edgesAhead = 0;   // presses counted from the poll, event not seen yet
        int eventsAhead = 0;  // presses counted from events, poll edge not seen yet
        double countedAt = 0;  // host time of the latest such press
        int pressesAt(bool heldNow, int events, double t);
    };
    Button left_;
    Button right_;
};

}  // namespace vorpix::capture
