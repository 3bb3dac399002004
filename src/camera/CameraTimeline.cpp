#include "camera/CameraTimeline.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>

namespace vorpix::camera {

namespace {

constexpr double kTail = 2.0;               // seconds simulated after the last segment ends
constexpr double kTailSlack = 1.0 / 120.0;  // half a step, so the sample at maxEnd + 2 s is made
constexpr double kLeadIn = 0.35;            // seconds a segment is active before its start
constexpr double kMinFactor = 1.001;        // a segment must magnify more than this to count
constexpr double kScaleStiffness = 134.56;  // 11.6^2: critically damped at 11.6 rad/s
constexpr double kScaleDamping = 23.2;      // 2 * 11.6
constexpr double kCenterStiffness = 324.0;  // 18^2: critically damped at 18 rad/s
constexpr double kCenterDamping = 36.0;     // 2 * 18
constexpr double kFollowWindow = 0.2;       // seconds of cursor smoothing while following
constexpr double kDeadZoneWidth = 0.55;     // of the visible part; half of it each side of the target
// Longest path simulated, seconds. Guards against a corrupt segment end
// (1e12 s would otherwise ask for that many samples); a day is far beyond any
// recording.
constexpr double kMaxPathSeconds = 24.0 * 3600.0;

// Automatic zoom.
constexpr double kGroupSlack = 0.4;     // seconds added to zoomHold to get the grouping gap
constexpr double kMinAutoLength = 0.8;  // seconds; a group must zoom for longer than this
constexpr double kAutoMergeGap = 0.3;   // seconds; closer segments become one

double clampUnit(double v) {
    return std::clamp(v, 0.0, 1.0);
}

// Keeps v inside half-width `half` of the frame edges; half <= 0.5 always.
double clampInside(double v, double half) {
    return std::clamp(v, half, 1.0 - half);
}

// Moves the target along one axis just far enough to put the pointer `f`
// (frame fraction) on the edge of the dead zone [g - m, g + m].
double followAxis(double g, double f, double m) {
    if (f > g + m) return f - m;
    if (f < g - m) return f + m;
    return g;
}

}  // namespace

CameraTimeline::CameraTimeline(const std::vector<model::ZoomSegment>& segments, Size pixelSize,
                               const CursorPath& cursorPath) {
    if (pixelSize.isEmpty()) return;

    std::vector<model::ZoomSegment> live;
    live.reserve(segments.size());
    for (const model::ZoomSegment& s : segments) {
        // Non-finite times cannot be simulated: such a segment is dropped like
        // one that ends before it starts.
        if (s.end > s.start && s.factor > kMinFactor && std::isfinite(s.start) && std::isfinite(s.end)) {
            live.push_back(s);
        }
    }
    if (live.empty()) return;
    std::stable_sort(live.begin(), live.end(), [](const model::ZoomSegment& a, const model::ZoomSegment& b) {
        return a.start < b.start;
    });

    double maxEnd = live.front().end;
    for (const model::ZoomSegment& s : live) maxEnd = std::max(maxEnd, s.end);
    maxEnd = std::min(maxEnd, kMaxPathSeconds);
    const double tEnd = maxEnd + kTail + kTailSlack;
    samples_.reserve(static_cast<std::size_t>(std::max(maxEnd + kTail, 0.0) * 60.0) + 2);

    const double width = pixelSize.width;
    const double height = pixelSize.height;
    const double dt = kStep;

    Point c{0.5, 0.5};
    Point v{0, 0};
    double s = 1.0;
    double w = 0.0;
    Point g{0.5, 0.5};
    std::optional<model::Uuid> lastId;

    // Sweep over the segments sorted by start: `started` is the count whose
    // lead-in has begun; `open` lists, in sorted order, those of them that
    // have not ended. t only grows, so a segment enters and leaves `open`
    // once, and picking among `open` equals scanning every segment.
    std::size_t started = 0;
    std::vector<std::size_t> open;
    open.reserve(live.size());

    for (double t = 0.0; t <= tEnd; t += dt) {
        while (started < live.size() && live[started].start - kLeadIn <= t) open.push_back(started++);
        std::erase_if(open, [&](std::size_t i) { return !(t <= live[i].end); });

        const model::ZoomSegment* active = nullptr;
        for (std::size_t i : open) {
            // Strictly larger: on equal factors the earlier segment keeps it.
            if (active == nullptr || live[i].factor > active->factor) active = &live[i];
        }

        const double z = active != nullptr ? active->factor : 1.0;
        if (active == nullptr) {
            g = {0.5, 0.5};
            lastId.reset();
        } else {
            if (!lastId || *lastId != active->id) {
                g = {clampUnit(active->centerX), clampUnit(active->centerY)};
                lastId = active->id;
            }
            if (active->followCursor) {
                const std::optional<Point> p = cursorPath.smoothedPosition(t, kFollowWindow);
                if (p && p->x >= 0 && p->x <= width && p->y >= 0 && p->y <= height) {
                    const double m = kDeadZoneWidth / (2.0 * s);
                    g.x = followAxis(g.x, p->x / width, m);
                    g.y = followAxis(g.y, p->y / height, m);
                }
            }
        }

        const double h = 1.0 / (2.0 * std::max(z, 1.0));
        g.x = clampInside(g.x, h);
        g.y = clampInside(g.y, h);

        // Semi-implicit Euler: velocity first, then position with the new velocity.
        w += ((z - s) * kScaleStiffness - kScaleDamping * w) * dt;
        s += w * dt;
        if (s < 1.0) s = 1.0;  // the velocity is kept, so the spring settles from below

        v.x += ((g.x - c.x) * kCenterStiffness - kCenterDamping * v.x) * dt;
        v.y += ((g.y - c.y) * kCenterStiffness - kCenterDamping * v.y) * dt;
        c.x += v.x * dt;
        c.y += v.y * dt;
        const double hs = 1.0 / (2.0 * s);
        c.x = clampInside(c.x, hs);
        c.y = clampInside(c.y, hs);

        samples_.push_back(CameraState{c, s});
    }
}

CameraState CameraTimeline::state(double t) const {
    if (samples_.empty()) return CameraState{};
    if (samples_.size() == 1 || !std::isfinite(t) || t <= 0) return samples_.front();
    const double u = t * 60.0;
    const double last = static_cast<double>(samples_.size() - 1);
    // Compared as doubles first so that a huge t never overflows the cast.
    if (u >= last) return samples_.back();
    const auto i = static_cast<std::size_t>(u);
    if (i >= samples_.size() - 1) return samples_.back();
    const double f = u - static_cast<double>(i);
    const CameraState& a = samples_[i];
    const CameraState& b = samples_[i + 1];
    return CameraState{
        {a.center.x + (b.center.x - a.center.x) * f, a.center.y + (b.center.y - a.center.y) * f},
        a.scale + (b.scale - a.scale) * f};
}

std::vector<model::ZoomSegment> CameraTimeline::autoSegments(const std::vector<model::ClickEvent>& clicks,
                                                             Size pixelSize, double duration,
                                                             const model::StyleSettings& style) {
    std::vector<model::ZoomSegment> result;
    if (!style.autoZoom || pixelSize.isEmpty()) return result;
    const double width = pixelSize.width;
    const double height = pixelSize.height;

    std::vector<model::ClickEvent> inside;
    inside.reserve(clicks.size());
    for (const model::ClickEvent& c : clicks) {
        if (c.x >= 0 && c.x <= width && c.y >= 0 && c.y <= height) inside.push_back(c);
    }
    if (inside.empty()) return result;
    std::stable_sort(inside.begin(), inside.end(),
                     [](const model::ClickEvent& a, const model::ClickEvent& b) { return a.t < b.t; });

    const double groupGap = style.zoomHold + kGroupSlack;
    std::size_t first = 0;
    while (first < inside.size()) {
        // A group runs while each click follows the previous by less than the gap.
        std::size_t next = first + 1;
        while (next < inside.size() && inside[next].t - inside[next - 1].t < groupGap) ++next;

        const double start = std::max(inside[first].t - style.zoomLead, 0.0);
        const double end = std::min(inside[next - 1].t + style.zoomHold, duration);
        if (end - start > kMinAutoLength) {
            double sumX = 0;
            double sumY = 0;
            for (std::size_t i = first; i < next; ++i) {
                sumX += inside[i].x;
                sumY += inside[i].y;
            }
            const auto count = static_cast<double>(next - first);
            model::ZoomSegment seg;  // a fresh id
            seg.start = start;
            seg.end = end;
            seg.centerX = clampUnit(sumX / count / width);
            seg.centerY = clampUnit(sumY / count / height);
            seg.factor = style.zoomFactor;
            seg.followCursor = true;

            if (!result.empty() && seg.start < result.back().end + kAutoMergeGap) {
                // Each merge halves the weight of the centres merged before.
                model::ZoomSegment& into = result.back();
                into.end = std::max(into.end, seg.end);
                into.centerX = (into.centerX + seg.centerX) * 0.5;
                into.centerY = (into.centerY + seg.centerY) * 0.5;
            } else {
                result.push_back(seg);
            }
        }
        first = next;
    }
    return result;
}

}  // namespace vorpix::camera
