#include "camera/ZoomSegmentChecks.h"

#include <cmath>
#include <cstdio>
#include <set>

#include "camera/CameraTimeline.h"
#include "camera/CheckReport.h"

namespace vorpix::camera::zoom_segment_checks {

namespace {

constexpr double kExact = 1e-9;  // round-off allowance on times and centres

std::string text(double start, double end, double cx, double cy, double factor) {
    char line[128];
    std::snprintf(line, sizeof line, "(%.4g-%.4g at %.4g,%.4g x%.4g)", start, end, cx, cy, factor);
    return line;
}

std::string text(const std::vector<model::ZoomSegment>& segments) {
    std::string s = "[";
    for (const model::ZoomSegment& z : segments) s += text(z.start, z.end, z.centerX, z.centerY, z.factor);
    return s + "]";
}

std::string text(const std::vector<Expected>& segments) {
    std::string s = "[";
    for (const Expected& z : segments) s += text(z.start, z.end, z.centerX, z.centerY, z.factor);
    return s + "]";
}

bool near(double a, double b) {
    return std::abs(a - b) <= kExact;
}

}  // namespace

const std::vector<Case>& cases() {
    // Frame 1000 x 800 and a 20 s recording unless a case says otherwise.
    static const std::vector<Case> table{
        {.name = "auto zoom off", .clicks = {{5, 500, 400, 0}}, .autoZoom = false, .expected = {}},
        {.name = "no clicks", .clicks = {}, .expected = {}},
        {.name = "clicks outside the frame",
         .clicks = {{5, -5, 400, 0}, {6, 500, 801, 0}, {7, 1000.5, 0, 0}},
         .expected = {}},
        {.name = "one click at 5 s",
         .clicks = {{5, 250, 200, 0}},
         .expected = {{4.55, 6.6, 0.25, 0.25, 1.9}}},
        {.name = "one click at 0.1 s starts at 0",
         .clicks = {{0.1, 500, 400, 0}},
         .expected = {{0, 1.7, 0.5, 0.5, 1.9}}},
        {.name = "click 0.3 s before the end is too short",
         .clicks = {{9.7, 500, 400, 0}},
         .duration = 10,
         .expected = {}},
        {.name = "click 0.5 s before the end is cut at the end",
         .clicks = {{9.5, 500, 400, 0}},
         .duration = 10,
         .expected = {{9.05, 10, 0.5, 0.5, 1.9}}},
        {.name = "segment of exactly 0.8 s is too short",
         .clicks = {{1, 500, 400, 0}},
         .zoomLead = 0,
         .zoomHold = 0.8,
         .expected = {}},
        {.name = "click after the end of the recording",
         .clicks = {{5, 500, 400, 0}},
         .duration = 3,
         .expected = {}},
        {.name = "clicks 1.9 s apart make one group",
         .clicks = {{1.0, 100, 100, 0}, {2.9, 200, 400, 0}, {4.8, 600, 700, 0}},
         .expected = {{0.55, 6.4, 0.3, 0.5, 1.9}}},
        {.name = "clicks given out of order",
         .clicks = {{4.8, 600, 700, 0}, {1.0, 100, 100, 0}, {2.9, 200, 400, 0}},
         .expected = {{0.55, 6.4, 0.3, 0.5, 1.9}}},
        {.name = "clicks 2.0 s apart make two groups that merge",
         .clicks = {{1, 100, 80, 0}, {3, 300, 240, 0}},
         .expected = {{0.55, 4.6, 0.2, 0.2, 1.9}}},
        {.name = "each merge halves the earlier centres",
         .clicks = {{1, 100, 160, 0}, {3, 300, 160, 0}, {5, 900, 480, 0}},
         .expected = {{0.55, 6.6, 0.55, 0.4, 1.9}}},
        {.name = "short hold keeps segments apart",
         .clicks = {{1, 500, 400, 0}, {4, 500, 400, 0}},
         .zoomHold = 0.5,
         .expected = {{0.55, 1.5, 0.5, 0.5, 1.9}, {3.55, 4.5, 0.5, 0.5, 1.9}}},
        {.name = "click on the far edges",
         .clicks = {{5, 1000, 800, 0}},
         .expected = {{4.55, 6.6, 1, 1, 1.9}}},
        {.name = "secondary button counts", .clicks = {{5, 0, 0, 1}}, .expected = {{4.55, 6.6, 0, 0, 1.9}}},
        {.name = "lead and factor from the style",
         .clicks = {{5, 500, 400, 0}},
         .zoomLead = 1.0,
         .zoomFactor = 2.5,
         .expected = {{4, 6.6, 0.5, 0.5, 2.5}}},
        {.name = "zero-sized frame", .clicks = {{5, 0, 0, 0}}, .pixelSize = {0, 800}, .expected = {}},
    };
    return table;
}

std::optional<std::string> check(const Case& c) {
    model::StyleSettings style;
    style.autoZoom = c.autoZoom;
    style.zoomLead = c.zoomLead;
    style.zoomHold = c.zoomHold;
    style.zoomFactor = c.zoomFactor;
    const std::vector<model::ZoomSegment> got =
        CameraTimeline::autoSegments(c.clicks, c.pixelSize, c.duration, style);

    bool pass = got.size() == c.expected.size();
    std::set<model::Uuid> ids;
    for (std::size_t i = 0; pass && i < got.size(); ++i) {
        const model::ZoomSegment& g = got[i];
        const Expected& e = c.expected[i];
        pass = near(g.start, e.start) && near(g.end, e.end) && near(g.centerX, e.centerX) &&
               near(g.centerY, e.centerY) && near(g.factor, e.factor) && g.followCursor;
        ids.insert(g.id);
    }
    if (pass && ids.size() != got.size()) return "segments share an id";
    if (pass) return std::nullopt;
    return "segments " + text(got) + ", expected " + text(c.expected);
}

int runChecks(std::ostream& out) {
    std::vector<std::string> failures;
    for (const Case& c : cases()) {
        if (std::optional<std::string> f = check(c)) {
            failures.push_back(std::string(kName) + ": \"" + c.name + "\": " + *f);
        }
    }
    return reportChecks(out, kName, failures);
}

}  // namespace vorpix::camera::zoom_segment_checks
