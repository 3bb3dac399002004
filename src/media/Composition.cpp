#include "media/Composition.h"

#include <algorithm>
#include <string>

#include "media/MediaCodes.h"

namespace vorpix::media {

namespace {

// a × num ÷ den rounded to the nearest integer, without overflow for media
// times up to days.
__extension__ typedef __int128 Wide;

std::int64_t scaleRounded(std::int64_t a, std::int64_t num, std::int64_t den) {
    const Wide p = static_cast<Wide>(a) * num;
    const Wide half = den / 2;
    return static_cast<std::int64_t>(p >= 0 ? (p + half) / den : (p - half) / den);
}

// Splits `segment` at composition time `t` (strictly inside it).
std::pair<Segment, Segment> split(const Segment& s, MediaTime t) {
    const MediaTime cut = s.sourceTimeAt(t);
    Segment first{TimeSpan{s.source.start, cut - s.source.start},
                  TimeSpan{s.target.start, t - s.target.start}};
    Segment second{TimeSpan{cut, s.source.end() - cut}, TimeSpan{t, s.target.end() - t}};
    return {first, second};
}

void splitAt(std::vector<Segment>& segments, MediaTime t) {
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const Segment s = segments[i];
        if (s.target.start < t && t < s.target.end()) {
            auto [first, second] = split(s, t);
            segments[i] = first;
            segments.insert(segments.begin() + static_cast<std::ptrdiff_t>(i) + 1, second);
            return;
        }
    }
}

}  // namespace

MediaTime Segment::sourceTimeAt(MediaTime t) const {
    if (target.duration <= kZeroTime) return source.start;
    const MediaTime offset = t - target.start;
    if (source.duration == target.duration) return source.start + offset;
    return source.start + MediaTime{scaleRounded(offset.ticks, source.duration.ticks, target.duration.ticks)};
}

const Segment* CompositionTrack::segmentAt(MediaTime t) const {
    auto it = std::upper_bound(segments.begin(), segments.end(), t,
                               [](MediaTime value, const Segment& s) { return value < s.target.start; });
    if (it == segments.begin()) return nullptr;
    --it;
    return t < it->target.end() ? &*it : nullptr;
}

std::optional<TrackId> Composition::addTrack(TrackKind kind, const std::filesystem::path& file, int ordinal) {
    if (static_cast<int>(tracks_.size()) >= kMaxTracks) return std::nullopt;
    CompositionTrack track;
    track.id = static_cast<TrackId>(tracks_.size() + 1);
    track.kind = kind;
    track.file = file;
    track.ordinal = ordinal;
    tracks_.push_back(std::move(track));
    return tracks_.back().id;
}

const CompositionTrack* Composition::track(TrackId id) const {
    for (const auto& t : tracks_) {
        if (t.id == id) return &t;
    }
    return nullptr;
}

CompositionTrack* Composition::mutableTrack(TrackId id) {
    for (auto& t : tracks_) {
        if (t.id == id) return &t;
    }
    return nullptr;
}

Result<void> Composition::insert(TrackId id, TimeSpan source, MediaTime at) {
    return insertScaled(id, source, at, source.duration);
}

Result<void> Composition::insertScaled(TrackId id, TimeSpan source, MediaTime at, MediaTime targetDuration) {
    CompositionTrack* track = mutableTrack(id);
    if (track == nullptr)
        return makeError(domain::kTavorin, kCompositionEditCode,
                         "The composition has no track " + std::to_string(id));
    if (at < kZeroTime || source.duration <= kZeroTime || targetDuration <= kZeroTime) {
        return makeError(domain::kTavorin, kCompositionEditCode,
                         "Cannot insert a range of " + std::to_string(source.duration.seconds()) + " s at " +
                             std::to_string(at.seconds()) + " s");
    }
    auto& segments = track->segments;
    splitAt(segments, at);
    auto it = std::lower_bound(segments.begin(), segments.end(), at,
                               [](const Segment& s, MediaTime value) { return s.target.start < value; });
    for (auto later = it; later != segments.end(); ++later) later->target.start += targetDuration;
    segments.insert(it, Segment{source, TimeSpan{at, targetDuration}});
    return {};
}

void Composition::scaleTimeRange(TimeSpan range, MediaTime newDuration) {
    if (range.duration <= kZeroTime || newDuration <= kZeroTime) return;
    const MediaTime a = range.start;
    const MediaTime b = range.end();
    const MediaTime shift = newDuration - range.duration;
    auto mapInside = [&](MediaTime t) {
        return a + MediaTime{scaleRounded((t - a).ticks, newDuration.ticks, range.duration.ticks)};
    };
    for (auto& track : tracks_) {
        auto& segments = track.segments;
        splitAt(segments, a);
        splitAt(segments, b);
        for (auto& s : segments) {
            if (s.target.start >= b) {
                s.target.start += shift;
            } else if (s.target.start >= a) {
                const MediaTime start = mapInside(s.target.start);
                const MediaTime end = mapInside(s.target.end());
                s.target = TimeSpan{start, end - start};
            }
        }
        std::erase_if(segments, [](const Segment& s) { return s.target.duration <= kZeroTime; });
    }
}

MediaTime Composition::duration() const {
    MediaTime longest;
    for (const auto& t : tracks_) longest = std::max(longest, t.end());
    return longest;
}

}  // namespace vorpix::media
