#pragma once

// Built-in checks of the automatic zoom segments ("zoom-segments"): clicks
// in, segments out, as a data table. The command-line module checks call
// runChecks(); the unit tests iterate the same table.

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model/Geometry.h"
#include "model/SessionEvents.h"

namespace vorpix::camera::zoom_segment_checks {

inline constexpr std::string_view kName = "zoom-segments";

// A segment as expected; every automatic segment follows the cursor.
struct Expected {
    double start = 0;
    double end = 0;
    double centerX = 0;
    double centerY = 0;
    double factor = 0;
};

// The style fields autoSegments reads, with the style's defaults.
struct Case {
    std::string name;
    std::vector<model::ClickEvent> clicks;
    Size pixelSize{1000, 800};
    double duration = 20;
    bool autoZoom = true;
    double zoomLead = 0.45;
    double zoomHold = 1.6;
    double zoomFactor = 1.9;
    std::vector<Expected> expected;
};

const std::vector<Case>& cases();

// One line describing how autoSegments departs from the case, or none.
std::optional<std::string> check(const Case& c);

// Prints each failure, then "zoom-segments OK" or "zoom-segments FAIL (<count>)".
// Returns the number of failures.
int runChecks(std::ostream& out);

}  // namespace vorpix::camera::zoom_segment_checks
