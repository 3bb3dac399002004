#pragma once

// Straightforward implementations of the cursor and camera algorithms, step
// by step as designed (plain bisection, a direct weighted sum, a scan of all
// segments at every step). The real ones take shortcuts for speed; tests
// compare the two on random inputs.

#include <optional>
#include <vector>

#include "camera/CameraTimeline.h"
#include "model/Geometry.h"
#include "model/Project.h"
#include "model/SessionEvents.h"

namespace vorpix::camera::reference {

// `samples` sorted by time.
std::optional<Point> rawPosition(const std::vector<model::MouseSample>& samples, double t);
std::optional<Point> smoothedPosition(const std::vector<model::MouseSample>& samples, double t,
                                      double window);

std::vector<CameraState> cameraSamples(const std::vector<model::ZoomSegment>& segments, Size pixelSize,
                                       const std::vector<model::MouseSample>& sortedPointer);

}  // namespace vorpix::camera::reference
