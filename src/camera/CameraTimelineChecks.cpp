#include "camera/CameraTimelineChecks.h"

#include <cstdio>

#include "camera/CameraTimeline.h"
#include "camera/CheckReport.h"
#include "camera/CursorPath.h"

namespace vorpix::camera::camera_timeline_checks {

namespace {

using enum Quantity;

// Frame limit of the centre at factor 2.2: 1 - 1 / (2 * 2.2).
constexpr double kEdgeAt22 = 1.0 - 1.0 / 4.4;
constexpr double kExact = 1e-9;

const char* nameOf(Quantity q) {
    switch (q) {
        case scale:
            return "scale";
        case centerX:
            return "centerX";
        case centerY:
            return "centerY";
        case sampleCount:
            return "sample count";
    }
    return "?";
}

double valueOf(const CameraState& s, Quantity q) {
    switch (q) {
        case scale:
            return s.scale;
        case centerX:
            return s.center.x;
        case centerY:
            return s.center.y;
        case sampleCount:
            break;
    }
    return 0;
}

std::string format(const char* pattern, double a, double b = 0, double c = 0, double d = 0) {
    char line[160];
    std::snprintf(line, sizeof line, pattern, a, b, c, d);
    return line;
}

std::vector<Probe> identityProbes(std::initializer_list<double> times) {
    std::vector<Probe> probes{{sampleCount, std::nullopt, 0, 0}};
    for (double t : times) {
        probes.push_back({scale, t, 1, 1});
        probes.push_back({centerX, t, 0.5, 0.5});
        probes.push_back({centerY, t, 0.5, 0.5});
    }
    return probes;
}

const std::vector<model::MouseSample> kPointerAt900{{0, 900, 900}};

}  // namespace

const std::vector<CameraCase>& cameraCases() {
    static const std::vector<CameraCase> table{
        {"aimed segment stays on its point",
         {{1, 5, 0.35, 0.35, 2.2, false}},
         {1000, 1000},
         kPointerAt900,
         {{centerX, 3, 0.27, 0.43}, {centerY, 3, 0.27, 0.43}}},
        {"following segment moves toward the pointer",
         {{1, 5, 0.35, 0.35, 2.2, true}},
         {1000, 1000},
         kPointerAt900,
         {{centerX, 3, 0.55, kEdgeAt22 + kExact}, {centerY, 3, 0.55, kEdgeAt22 + kExact}}},
        {"zoom timing: lead-in, hold and tail",
         {{1, 5, 0.35, 0.35, 2.2, false}},
         {1000, 1000},
         kPointerAt900,
         {{sampleCount, std::nullopt, 421, 421},
          {scale, 0.5, 1, 1},
          {scale, 0.65, 1 + 1e-6, 1.5},
          {scale, 1.0, 2.1, 2.3},
          {scale, 3.0, 2.19, 2.21},
          {scale, 5.2, 1.2, 1.6},
          {scale, 6.0, 1, 1.001},
          {scale, 100, 1, 1.0001}}},
        // Accumulating 1/60 s steps overshoots 9 s by round-off; the half-step
        // tolerance still makes the sample at 7 + 2 s.
        {"path ends 2 s after the last segment",
         {{1, 7, 0.5, 0.5, 1.5, false}},
         {1000, 1000},
         kPointerAt900,
         {{sampleCount, std::nullopt, 541, 541}}},
        {"no segments is the identity", {}, {1000, 1000}, kPointerAt900, identityProbes({-1, 0, 3, 100})},
        {"factor 1.001 does not count",
         {{1, 5, 0.2, 0.2, 1.001, true}},
         {1000, 1000},
         kPointerAt900,
         identityProbes({0, 3})},
        {"segments not ending after their start do not count",
         {{5, 5, 0.2, 0.2, 2, true}, {6, 4, 0.2, 0.2, 2, false}},
         {1000, 1000},
         kPointerAt900,
         identityProbes({0, 5})},
        {"zero-sized frame is the identity",
         {{1, 5, 0.2, 0.2, 2, false}},
         {0, 1000},
         kPointerAt900,
         identityProbes({0, 3})},
        {"larger factor drives overlapping segments",
         {{1, 6, 0.3, 0.3, 1.5, false}, {2, 4, 0.7, 0.7, 2.5, false}},
         {1000, 1000},
         kPointerAt900,
         {{scale, 3.5, 2.4, 2.55},
          {centerX, 3.5, 0.65, 0.75},
          {scale, 5.5, 1.45, 1.6},
          {centerX, 5.5, 0.28, 0.35}}},
        {"equal factors: the earlier segment drives",
         {{2, 5, 0.7, 0.7, 2, false}, {1, 6, 0.3, 0.3, 2, false}},
         {1000, 1000},
         kPointerAt900,
         {{centerX, 4, 0.29, 0.31}, {centerY, 4, 0.29, 0.31}}},
        {"segment aimed at a corner stays inside the frame",
         {{1, 5, 0, 0, 2, false}},
         {1000, 1000},
         kPointerAt900,
         {{centerX, std::nullopt, 0.25, 1}, {centerY, std::nullopt, 0.25, 1}, {centerX, 3, 0.25, 0.251}}},
        {"pointer left of the frame leaves the target",
         {{1, 5, 0.4, 0.4, 2, true}},
         {1000, 1000},
         {{0, -100, 500}},
         {{centerX, 3, 0.39, 0.41}, {centerY, 3, 0.39, 0.41}}},
        {"pointer below the frame leaves the target",
         {{1, 5, 0.4, 0.4, 2, true}},
         {1000, 1000},
         {{0, 500, 1001}},
         {{centerX, 3, 0.39, 0.41}, {centerY, 3, 0.39, 0.41}}},
        {"pointer right of the frame leaves the target",
         {{1, 5, 0.4, 0.4, 2, true}},
         {1000, 1000},
         {{0, 1001, 500}},
         {{centerX, 3, 0.39, 0.41}, {centerY, 3, 0.39, 0.41}}},
        {"pointer above the frame leaves the target",
         {{1, 5, 0.4, 0.4, 2, true}},
         {1000, 1000},
         {{0, 500, -1}},
         {{centerX, 3, 0.39, 0.41}, {centerY, 3, 0.39, 0.41}}},
        {"pointer inside the dead zone leaves the target",
         {{1, 5, 0.5, 0.5, 2, true}},
         {1000, 1000},
         {{0, 600, 400}},
         {{centerX, 3, 0.499, 0.501}, {centerY, 3, 0.499, 0.501}}},
        {"following accumulates while the segment lasts",
         {{1, 8, 0.5, 0.5, 2, true}},
         {1000, 1000},
         {{0, 900, 500}, {3, 900, 500}, {4, 600, 500}},
         {{centerX, 7, 0.73, 0.745}, {centerY, 7, 0.499, 0.501}}},
        {"first sample is one step from the identity",
         {{0, 2, 0.3, 0.3, 2, false}},
         {1000, 1000},
         kPointerAt900,
         {{scale, -1, 1.03, 1.045}, {scale, 0, 1.03, 1.045}, {centerX, -1, 0.47, 0.5 - 1e-6}}},
    };
    return table;
}

const std::vector<CursorCase>& cursorCases() {
    const std::vector<model::MouseSample> line{{0, 0, 0}, {1, 100, 0}};
    static const std::vector<CursorCase> table{
        {"empty path has no position",
         {},
         {{0, std::nullopt, {}, {}}, {5, 0.14, {}, {}}, {5, 0.001, {}, {}}}},
        {"single sample everywhere",
         {{2, 10, 20}},
         {{-5, std::nullopt, Point{10, 20}, {}},
          {100, std::nullopt, Point{10, 20}, {}},
          {2, 0.14, Point{10, 20}, {}}}},
        {"two samples",
         line,
         {{0.25, std::nullopt, Point{25, 0}, {}},
          {0.5, 0.14, Point{50 - kExact, -kExact}, Point{50 + kExact, kExact}},
          {0, 0.14, Point{2.5, 0}, Point{2.65, 0}}}},
        {"duplicate times resolve to the given order",
         {{2, 20, 0}, {0, 1, 0}, {1, 10, 0}, {0, 2, 0}, {1, 11, 0}, {2, 21, 0}},
         {{0, std::nullopt, Point{1, 0}, {}},
          {1, std::nullopt, Point{11, 0}, {}},
          {2, std::nullopt, Point{21, 0}, {}},
          {9, std::nullopt, Point{21, 0}, {}}}},
        {"window of 0.005 s is raw, 0.006 s averages",
         {{0, 0, 0}, {0.01, 50, 5}, {0.02, 0, 10}, {1, 100, 0}},
         {{0.01, 0.005, Point{50, 5}, {}}, {0.01, 0.006, Point{38.9, 5 - kExact}, Point{39.1, 5 + kExact}}}},
    };
    return table;
}

std::vector<std::string> check(const CameraCase& c) {
    std::vector<model::ZoomSegment> segments;
    for (const Segment& s : c.segments) {
        model::ZoomSegment z;
        z.start = s.start;
        z.end = s.end;
        z.centerX = s.centerX;
        z.centerY = s.centerY;
        z.factor = s.factor;
        z.followCursor = s.followCursor;
        segments.push_back(z);
    }
    const CameraTimeline camera(segments, c.pixelSize, CursorPath(c.pointer));

    std::vector<std::string> failures;
    for (const Probe& p : c.probes) {
        if (p.quantity == sampleCount) {
            const auto n = static_cast<double>(camera.samples().size());
            if (n < p.min || n > p.max)
                failures.push_back(format("%g samples, expected %g ... %g", n, p.min, p.max));
            continue;
        }
        if (p.t) {
            const double v = valueOf(camera.state(*p.t), p.quantity);
            if (!(v >= p.min && v <= p.max)) {
                failures.push_back(std::string(nameOf(p.quantity)) +
                                   format(" %.6g at t = %g, expected %g ... %g", v, *p.t, p.min, p.max));
            }
            continue;
        }
        for (std::size_t k = 0; k < camera.samples().size(); ++k) {
            const double v = valueOf(camera.samples()[k], p.quantity);
            if (!(v >= p.min && v <= p.max)) {
                failures.push_back(std::string(nameOf(p.quantity)) +
                                   format(" %.6g in sample %g, expected %g ... %g", v, static_cast<double>(k),
                                          p.min, p.max));
                break;
            }
        }
    }
    return failures;
}

std::vector<std::string> check(const CursorCase& c) {
    const CursorPath path(c.samples);
    std::vector<std::string> failures;
    for (const CursorQuery& q : c.queries) {
        const std::optional<Point> got =
            q.window ? path.smoothedPosition(q.t, *q.window) : path.rawPosition(q.t);
        const std::string what =
            q.window ? format("smoothed(%g, %g)", q.t, *q.window) : format("raw(%g)", q.t);
        if (!q.expectedMin) {
            if (got) failures.push_back(what + format(" = (%g, %g), expected none", got->x, got->y));
            continue;
        }
        const Point lo = *q.expectedMin;
        const Point hi = q.expectedMax.value_or(lo);
        if (!got) {
            failures.push_back(what + " = none, expected a point");
        } else if (!(got->x >= lo.x && got->x <= hi.x && got->y >= lo.y && got->y <= hi.y)) {
            failures.push_back(what + format(" = (%.9g, %.9g)", got->x, got->y) +
                               format(", expected (%g ... %g, %g ... %g)", lo.x, hi.x, lo.y, hi.y));
        }
    }
    return failures;
}

int runChecks(std::ostream& out) {
    std::vector<std::string> failures;
    for (const CameraCase& c : cameraCases()) {
        for (const std::string& f : check(c))
            failures.push_back(std::string(kName) + ": \"" + c.name + "\": " + f);
    }
    for (const CursorCase& c : cursorCases()) {
        for (const std::string& f : check(c)) {
            failures.push_back(std::string(kName) + ": cursor \"" + c.name + "\": " + f);
        }
    }
    return reportChecks(out, kName, failures);
}

}  // namespace vorpix::camera::camera_timeline_checks
