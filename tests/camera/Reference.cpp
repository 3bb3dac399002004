#include "Reference.h"

#include <algorithm>
#include <cmath>

namespace vorpix::camera::reference {

std::optional<Point> rawPosition(const std::vector<model::MouseSample>& samples, double t) {
    if (samples.empty()) return std::nullopt;
    if (t <= samples.front().t) return Point{samples.front().x, samples.front().y};
    if (t >= samples.back().t) return Point{samples.back().x, samples.back().y};
    std::size_t lo = 0;
    std::size_t hi = samples.size() - 1;
    while (hi - lo > 1) {
        const std::size_t mid = (lo + hi) / 2;
        if (samples[mid].t <= t) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    const double f = (t - samples[lo].t) / std::max(samples[hi].t - samples[lo].t, 0.0001);
    return Point{samples[lo].x + f * (samples[hi].x - samples[lo].x),
                 samples[lo].y + f * (samples[hi].y - samples[lo].y)};
}

std::optional<Point> smoothedPosition(const std::vector<model::MouseSample>& samples, double t,
                                      double window) {
    if (samples.empty()) return std::nullopt;
    if (window <= 0.005) return rawPosition(samples, t);
    const double sigma = window * 0.5;
    double sx = 0;
    double sy = 0;
    double sw = 0;
    for (int k = -9; k <= 9; ++k) {
        const double offset = window * k / 9.0;
        const Point p = *rawPosition(samples, t + offset);
        const double w = std::exp(-offset * offset / (2 * sigma * sigma));
        sx += w * p.x;
        sy += w * p.y;
        sw += w;
    }
    if (sw > 0) return Point{sx / sw, sy / sw};
    return rawPosition(samples, t);
}

std::vector<CameraState> cameraSamples(const std::vector<model::ZoomSegment>& segments, Size pixelSize,
                                       const std::vector<model::MouseSample>& sortedPointer) {
    std::vector<model::ZoomSegment> segs;
    for (const auto& s : segments) {
        if (s.end > s.start && s.factor > 1.001) segs.push_back(s);
    }
    std::stable_sort(segs.begin(), segs.end(),
                     [](const auto& a, const auto& b) { return a.start < b.start; });
    std::vector<CameraState> out;
    if (segs.empty() || !(pixelSize.width > 0) || !(pixelSize.height > 0)) return out;
    double maxEnd = segs.front().end;
    for (const auto& s : segs) maxEnd = std::max(maxEnd, s.end);
    const double tEnd = maxEnd + 2.0 + 1.0 / 120.0;
    const double dt = 1.0 / 60.0;
    double cx = 0.5, cy = 0.5, vx = 0, vy = 0, s = 1, w = 0, gx = 0.5, gy = 0.5;
    std::optional<model::Uuid> last;
    double t = 0;
    while (t <= tEnd) {
        const model::ZoomSegment* active = nullptr;
        for (const auto& seg : segs) {
            if (seg.start - 0.35 <= t && t <= seg.end && (!active || seg.factor > active->factor))
                active = &seg;
        }
        const double z = active ? active->factor : 1.0;
        if (!active) {
            gx = gy = 0.5;
            last.reset();
        } else {
            if (active->id != last) {
                gx = std::clamp(active->centerX, 0.0, 1.0);
                gy = std::clamp(active->centerY, 0.0, 1.0);
                last = active->id;
            }
            if (active->followCursor) {
                const auto p = smoothedPosition(sortedPointer, t, 0.2);
                if (p && p->x >= 0 && p->x <= pixelSize.width && p->y >= 0 && p->y <= pixelSize.height) {
                    const double m = 0.55 / (2 * s);
                    const double fx = p->x / pixelSize.width;
                    const double fy = p->y / pixelSize.height;
                    if (fx > gx + m) {
                        gx = fx - m;
                    } else if (fx < gx - m) {
                        gx = fx + m;
                    }
                    if (fy > gy + m) {
                        gy = fy - m;
                    } else if (fy < gy - m) {
                        gy = fy + m;
                    }
                }
            }
        }
        const double h = 1 / (2 * std::max(z, 1.0));
        gx = std::clamp(gx, h, 1 - h);
        gy = std::clamp(gy, h, 1 - h);
        w = w + ((z - s) * 134.56 - 23.2 * w) * dt;
        s = s + w * dt;
        if (s < 1) s = 1;
        vx = vx + ((gx - cx) * 324 - 36 * vx) * dt;
        vy = vy + ((gy - cy) * 324 - 36 * vy) * dt;
        cx = cx + vx * dt;
        cy = cy + vy * dt;
        const double hs = 1 / (2 * s);
        cx = std::clamp(cx, hs, 1 - hs);
        cy = std::clamp(cy, hs, 1 - hs);
        out.push_back({{cx, cy}, s});
        t = t + dt;
    }
    return out;
}

}  // namespace vorpix::camera::reference
