#pragma once

// Which part of a display a take records: a requested rectangle (points,
// display-local, top-left origin) resolved against the display into a
// source rectangle and an even pixel size the encoder takes.

#include <cstdint>
#include <optional>

namespace vorpix::capture {

struct PointRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const PointRect&) const = default;
};

struct ResolvedRegion {
    PointRect source;         // points, inside the display
    std::int64_t pixelWidth = 0;   // even
    std::int64_t pixelHeight = 0;  // even
    bool operator==(const ResolvedRegion&) const = default;
};

// Clips `rect` to the display, rounds its pixel size (× scale) and drops the
// lowest bit of each; keeps the pixel size by moving the source rectangle
// back inside the display when rounding pushed it past an edge. None for an
// empty clip, a side under 10 points, a scale not above 0, or a pixel side
// under 2.
std::optional<ResolvedRegion> resolveRegion(const PointRect& rect, double displayWidth, double displayHeight,
                                            double scale);

}  // namespace vorpix::capture
