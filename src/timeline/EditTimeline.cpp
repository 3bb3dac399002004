#include "timeline/EditTimeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "timeline/Tolerances.h"

namespace vorpix::timeline {

namespace {

double outputLength(const model::TimelineSlice& k) {
    return (k.sourceEnd - k.sourceStart) / std::max(k.timeScale, kTimeScaleFloor);
}

struct Cut {
    double key;  // the smaller bound, unclipped: the sort key
    double lo;
    double hi;
};

}  // namespace

std::string FilmClip::identity() const {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f-%.3f", sourceStart, sourceEnd);
    return text;
}

std::vector<model::TimelineSlice> keep(double duration, double trimStart, double trimEnd,
                                       std::span<const model::TimeRange> removed) {
    std::vector<model::TimelineSlice> out;
    if (!std::isfinite(duration) || !std::isfinite(trimStart) || !std::isfinite(trimEnd)) return out;

    const double lo = std::max(std::min(trimStart, trimEnd), 0.0);
    const double hi = std::min(std::max(trimStart, trimEnd), duration);
    if (hi - lo <= kMinimumKeptSpan) return out;

    std::vector<Cut> cuts;
    cuts.reserve(removed.size());
    for (const model::TimeRange& r : removed) {
        if (!std::isfinite(r.start) || !std::isfinite(r.end)) continue;
        const double a = std::min(r.start, r.end);
        const double b = std::max(r.start, r.end);
        cuts.push_back({a, a, b});
    }
    std::stable_sort(cuts.begin(), cuts.end(), [](const Cut& x, const Cut& y) { return x.key < y.key; });

    // Cuts clipped to the window and merged, in place at the front of `cuts`.
    std::size_t merged = 0;
    for (const Cut& c : cuts) {
        const double r0 = std::max(c.lo, lo);
        const double r1 = std::min(c.hi, hi);
        if (r1 - r0 <= kPieceThreshold) continue;
        if (merged > 0 && r0 <= cuts[merged - 1].hi + kMergeGap) {
            cuts[merged - 1].hi = std::max(cuts[merged - 1].hi, r1);
        } else {
            cuts[merged++] = {r0, r0, r1};
        }
    }

    double cursor = lo;
    for (std::size_t i = 0; i < merged; ++i) {
        if (cuts[i].lo - cursor > kPieceThreshold) out.push_back({cursor, cuts[i].lo, 1.0});
        cursor = std::max(cursor, cuts[i].hi);
    }
    if (hi - cursor > kPieceThreshold) out.push_back({cursor, hi, 1.0});
    return out;
}

double toSource(double t, std::span<const model::TimelineSlice> keep) {
    if (keep.empty()) return t;
    double out = 0;
    for (const model::TimelineSlice& k : keep) {
        const double end = out + outputLength(k);
        if (t <= end + kBoundarySlack) return k.sourceStart + (t - out) * k.timeScale;
        out = end;
    }
    return keep.back().sourceEnd;
}

std::optional<double> toOutput(double s, std::span<const model::TimelineSlice> keep) {
    double out = 0;
    for (const model::TimelineSlice& k : keep) {
        if (s < k.sourceStart - kBoundarySlack) return std::nullopt;  // in the hole before k
        const double scale = std::max(k.timeScale, kTimeScaleFloor);
        if (s <= k.sourceEnd + kBoundarySlack) return out + (s - k.sourceStart) / scale;
        out += (k.sourceEnd - k.sourceStart) / scale;
    }
    return std::nullopt;
}

std::vector<model::TimelineSlice> clips(std::span<const model::TimelineSlice> keep,
                                        std::span<const double> splits) {
    std::vector<model::TimelineSlice> out;
    if (keep.empty()) return out;
    std::vector<double> sorted;
    sorted.reserve(splits.size());
    for (double s : splits) {
        if (!std::isnan(s)) sorted.push_back(s);
    }
    std::sort(sorted.begin(), sorted.end());

    out.reserve(keep.size() + sorted.size());
    for (const model::TimelineSlice& k : keep) {
        double from = k.sourceStart;
        for (double s : sorted) {
            if (k.sourceStart + kPieceThreshold < s && s < k.sourceEnd - kPieceThreshold) {
                out.push_back({from, s, k.timeScale});
                from = s;
            }
        }
        out.push_back({from, k.sourceEnd, k.timeScale});
    }
    return out;
}

std::vector<model::TimelineSlice> toFile(std::span<const model::TimelineSlice> slices,
                                         std::span<const model::TimelineSlice> base) {
    if (base.empty()) return {slices.begin(), slices.end()};
    std::vector<model::TimelineSlice> out;
    out.reserve(slices.size() + base.size());
    for (const model::TimelineSlice& p : slices) {
        if (p.sourceEnd - p.sourceStart <= kPieceThreshold) continue;
        // The recording's source time is the output time line of `base`: each
        // base slice b covers source [from, from + outputLength(b)). The part
        // of p inside it plays b's stretch of the file at b's speed times p's.
        double from = 0;
        for (const model::TimelineSlice& b : base) {
            const double to = from + std::max(outputLength(b), 0.0);
            const double s0 = std::max(p.sourceStart, from);
            const double s1 = std::min(p.sourceEnd, to);
            // Slivers within the boundary slack are round-off at a base boundary.
            if (s1 - s0 > kBoundarySlack) {
                out.push_back({b.sourceStart + (s0 - from) * b.timeScale, b.sourceStart + (s1 - from) * b.timeScale,
                               b.timeScale * p.timeScale});
            }
            from = to;
            if (from >= p.sourceEnd) break;
        }
    }
    return out;
}

}  // namespace vorpix::timeline
