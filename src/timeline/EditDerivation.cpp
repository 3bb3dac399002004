#include "timeline/EditDerivation.h"

#include <algorithm>
#include <cmath>

#include "timeline/Tolerances.h"

namespace vorpix::timeline {

namespace {

constexpr double kLeastEditDuration = 0.001;  // seconds

template <class Event>
std::vector<Event> remapTimes(std::span<const Event> events, std::span<const model::TimelineSlice> keep) {
    std::vector<Event> out;
    out.reserve(events.size());
    for (const Event& e : events) {
        if (const std::optional<double> t = toOutput(e.t, keep)) {
            out.push_back(e);
            out.back().t = *t;
        }
    }
    return out;
}

double outputLength(const model::TimelineSlice& k) {
    return std::max(k.sourceEnd - k.sourceStart, 0.0) / std::max(k.timeScale, kTimeScaleFloor);
}

// The first kept moment at or after source time s: its source and output time.
struct KeptMoment {
    double source;
    double output;
};
std::optional<KeptMoment> firstKeptFrom(double s, std::span<const model::TimelineSlice> keep) {
    if (const std::optional<double> t = toOutput(s, keep)) return KeptMoment{s, *t};
    double out = 0;
    for (const model::TimelineSlice& k : keep) {
        if (k.sourceStart > s) return KeptMoment{k.sourceStart, out};
        out += outputLength(k);
    }
    return std::nullopt;
}

// Output time of the last kept moment at or before source time s.
std::optional<double> lastKeptUntil(double s, std::span<const model::TimelineSlice> keep) {
    if (const std::optional<double> t = toOutput(s, keep)) return t;
    std::optional<double> last;
    double out = 0;
    for (const model::TimelineSlice& k : keep) {
        if (k.sourceStart > s) break;
        out += outputLength(k);
        last = out;  // k ends before s
    }
    return last;
}

}  // namespace

std::vector<model::TimelineSlice> effectiveKeep(double duration, double trimStart, double trimEnd,
                                                std::span<const model::TimeRange> removed,
                                                const EditDrafts& drafts) {
    const double a = drafts.trimStart.value_or(trimStart);
    const double b = drafts.trimEnd.value_or(trimEnd);
    std::vector<model::TimelineSlice> slices;
    if (drafts.cut) {
        std::vector<model::TimeRange> all(removed.begin(), removed.end());
        all.push_back(*drafts.cut);
        slices = keep(duration, a, b, all);
    } else {
        slices = keep(duration, a, b, removed);
    }
    if (slices.empty()) {
        // A duration that is not a number still gets a playable slice.
        const double length = std::isfinite(duration) ? std::max(duration, kFallbackLength) : kFallbackLength;
        slices.push_back({0.0, length, 1.0});
    }
    return slices;
}

std::vector<model::TimelineSlice> effectiveKeep(const model::SessionEvents& events,
                                                const model::Project& project) {
    return effectiveKeep(events.duration, project.trimStart, project.trimEnd.value_or(events.duration),
                         project.removedRanges);
}

double editDuration(std::span<const model::TimelineSlice> keep) {
    double sum = 0;
    for (const model::TimelineSlice& k : keep) {
        sum += std::max(k.sourceEnd - k.sourceStart, 0.0) / std::max(k.timeScale, kTimeScaleFloor);
    }
    return std::max(sum, kLeastEditDuration);
}

std::vector<FilmClip> filmClips(std::span<const model::TimelineSlice> keep, std::span<const double> splits) {
    const std::vector<model::TimelineSlice> pieces = clips(keep, splits);
    std::vector<FilmClip> out;
    out.reserve(pieces.size());
    double at = 0;
    for (const model::TimelineSlice& p : pieces) {
        const double length = (p.sourceEnd - p.sourceStart) / std::max(p.timeScale, kTimeScaleFloor);
        out.push_back({p.sourceStart, p.sourceEnd, at, at + length});
        at += length;
    }
    return out;
}

std::vector<model::MouseSample> remapSamples(std::span<const model::MouseSample> samples,
                                             std::span<const model::TimelineSlice> keep) {
    return remapTimes(samples, keep);
}

std::vector<model::ClickEvent> remapClicks(std::span<const model::ClickEvent> clicks,
                                           std::span<const model::TimelineSlice> keep) {
    return remapTimes(clicks, keep);
}

std::vector<model::ZoomSegment> remapZooms(std::span<const model::ZoomSegment> segments,
                                           std::span<const model::TimelineSlice> keep) {
    std::vector<model::ZoomSegment> out;
    out.reserve(segments.size());
    for (const model::ZoomSegment& z : segments) {
        if (!(z.start < z.end)) continue;
        const std::optional<KeptMoment> a = firstKeptFrom(z.start, keep);
        const std::optional<double> b = lastKeptUntil(z.end, keep);
        if (a && b && *b - a->output >= kLeastZoomRemnant - kBoundarySlack) {
            out.push_back(z);
            out.back().start = a->output;
            out.back().end = *b;
        }
    }
    return out;
}

std::optional<AudioPlacement> placeAudio(double start, std::span<const model::TimelineSlice> keep) {
    const std::optional<KeptMoment> from = firstKeptFrom(start, keep);
    if (!from) return std::nullopt;
    return AudioPlacement{from->output, from->source - start};
}

std::vector<model::TimelineSlice> fileSlices(std::span<const model::TimelineSlice> keep,
                                             const std::optional<std::vector<model::TimelineSlice>>& base) {
    if (!base) return toFile(keep, {});
    return toFile(keep, *base);
}

std::optional<SplitPoint> splitPoint(double playhead, std::span<const model::TimelineSlice> keep,
                                     std::span<const double> splits) {
    const double s = toSource(playhead, keep);
    for (const FilmClip& clip : filmClips(keep, splits)) {
        if (clip.sourceStart + kPieceThreshold < s && s < clip.sourceEnd - kPieceThreshold) {
            return SplitPoint{s, clip};
        }
    }
    return std::nullopt;
}

bool addSplit(std::vector<double>& splits, double source) {
    const bool duplicate = std::any_of(splits.begin(), splits.end(), [&](double existing) {
        return std::abs(existing - source) < kDuplicateSplit;
    });
    if (duplicate || std::isnan(source)) return false;
    splits.push_back(source);
    std::sort(splits.begin(), splits.end());
    return true;
}

}  // namespace vorpix::timeline
