#pragma once

// The camera path of an edit: two critically damped springs (scale and
// centre) simulated once at 60 Hz over the zoom segments; afterwards only
// looked up. Immutable after construction and safe to read from many threads.

#include <vector>

#include "camera/CursorPath.h"
#include "model/Geometry.h"
#include "model/Project.h"
#include "model/SessionEvents.h"

namespace vorpix::camera {

struct CameraState {
    Point center{0.5, 0.5};  // fractions 0...1 of the source frame, y downward
    double scale = 1.0;      // >= 1; the visible part is 1/scale of the frame
    bool operator==(const CameraState&) const = default;
};

class CameraTimeline {
public:
    static constexpr double kStep = 1.0 / 60.0;

    // No segments: the identity camera at every time.
    CameraTimeline() = default;
    // Segments and cursor path share one time base (the renderer passes
    // output time). Segments that do not end after they start, magnify by
    // 1.001 or less, or have a time that is not finite do not count; the path
    // is simulated up to 2 s past the last end, but never past one day.
    // The cursor path is only read during construction.
    CameraTimeline(const std::vector<model::ZoomSegment>& segments, Size pixelSize,
                   const CursorPath& cursorPath);

    // Sample k is the camera at k/60 s. Empty when there is nothing to zoom.
    const std::vector<CameraState>& samples() const { return samples_; }

    // Linear interpolation between samples; the first sample for t <= 0 or a
    // non-finite t, the last past the end. Allocates nothing.
    CameraState state(double t) const;

    // Automatic zoom segments from clicks (source time), ordered by start and
    // non-overlapping. Fresh ids for every segment it makes.
    static std::vector<model::ZoomSegment> autoSegments(const std::vector<model::ClickEvent>& clicks,
                                                        Size pixelSize, double duration,
                                                        const model::StyleSettings& style);

private:
    std::vector<CameraState> samples_;
};

}  // namespace vorpix::camera
