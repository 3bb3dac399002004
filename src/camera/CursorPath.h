#pragma once

// Where the pointer was at any time: piecewise-linear between samples, held
// beyond the ends, optionally smoothed by a 19-tap Gaussian over +-window.
// Immutable after construction; lookups are O(log n), allocate nothing and
// are safe from any number of threads.

#include <cstddef>
#include <optional>
#include <vector>

#include "model/Geometry.h"
#include "model/SessionEvents.h"

namespace vorpix::camera {

class CursorPath {
public:
    CursorPath() = default;
    // Sorts by time with a stable sort (equal times keep their given order).
    explicit CursorPath(std::vector<model::MouseSample> samples);

    const std::vector<model::MouseSample>& samples() const { return samples_; }
    bool empty() const { return samples_.empty(); }

    // None when there are no samples. Held at the first sample for t at or
    // before it (and for a NaN t), at the last one from its time on.
    std::optional<Point> rawPosition(double t) const;
    // `window` in seconds (the style's cursorSmoothing); at most 0.005 gives
    // the raw position.
    std::optional<Point> smoothedPosition(double t, double window) const;

private:
    std::size_t firstLaterThan(double t, std::size_t from) const;
    Point positionAt(double t, std::size_t& cursor) const;

    std::vector<model::MouseSample> samples_;
};

}  // namespace vorpix::camera
