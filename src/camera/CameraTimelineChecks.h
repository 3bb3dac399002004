#pragma once

// Built-in checks of the camera timeline ("camera-timeline") and of the
// cursor path it follows: the worked cases as data tables of probes. The
// command-line module checks call runChecks(); the unit tests iterate the
// same tables.

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model/Geometry.h"
#include "model/SessionEvents.h"

namespace vorpix::camera::camera_timeline_checks {

inline constexpr std::string_view kName = "camera-timeline";

struct Segment {
    double start = 0;
    double end = 0;
    double centerX = 0.5;
    double centerY = 0.5;
    double factor = 1;
    bool followCursor = false;
};

enum class Quantity { scale, centerX, centerY, sampleCount };

// A quantity of state(t) that must lie in [min, max]. Without t, every sample
// of the timeline must (the sample count has no time).
struct Probe {
    Quantity quantity = Quantity::scale;
    std::optional<double> t;
    double min = 0;
    double max = 0;
};

struct CameraCase {
    std::string name;
    std::vector<Segment> segments;
    Size pixelSize{1000, 1000};
    std::vector<model::MouseSample> pointer;  // the cursor path
    std::vector<Probe> probes;
};

// A cursor lookup: raw without a window, smoothed with one. Without
// `expectedMin` the lookup must give none; otherwise a point inside
// [expectedMin, expectedMax] (max defaults to min: an exact point).
struct CursorQuery {
    double t = 0;
    std::optional<double> window;
    std::optional<Point> expectedMin;
    std::optional<Point> expectedMax;
};

struct CursorCase {
    std::string name;
    std::vector<model::MouseSample> samples;
    std::vector<CursorQuery> queries;
};

const std::vector<CameraCase>& cameraCases();
const std::vector<CursorCase>& cursorCases();

// One line per departing probe or query, empty when the case passes.
std::vector<std::string> check(const CameraCase& c);
std::vector<std::string> check(const CursorCase& c);

// Prints each failure, then "camera-timeline OK" or
// "camera-timeline FAIL (<count>)". Returns the number of failures.
int runChecks(std::ostream& out);

}  // namespace vorpix::camera::camera_timeline_checks
