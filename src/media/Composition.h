#pragma once

// The composition model: tracks of segments that place ranges of media files
// on one composition time line, the operations that build it (insert a
// range, scale a time range of every track) and the lookup that maps a
// composition time back to a file's stream time. Pure data: no I/O.
// A composition is built once and then shared read-only
// (std::shared_ptr<const Composition>) by the compositor, mixer and export.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "media/MediaProbe.h"
#include "media/MediaTime.h"
#include "model/Result.h"

namespace vorpix::media {

using TrackId = std::int32_t;

// One file range on the composition time line. `source` is stream time in the
// track's file; `target` is composition time. When their durations differ the
// range plays faster (target shorter) or slower.
struct Segment {
    TimeSpan source;
    TimeSpan target;

    // Stream time shown at composition time `t` (linear within the segment).
    MediaTime sourceTimeAt(MediaTime t) const;
    bool operator==(const Segment&) const = default;
};

struct CompositionTrack {
    TrackId id = 0;
    TrackKind kind = TrackKind::video;
    std::filesystem::path file;
    int ordinal = 0;  // which video or audio track of the file, 0 = first
    // Ordered by target start, never overlapping; gaps hold nothing.
    std::vector<Segment> segments;

    MediaTime end() const { return segments.empty() ? kZeroTime : segments.back().target.end(); }
    // The segment covering composition time `t`, if any.
    const Segment* segmentAt(MediaTime t) const;
};

class Composition {
public:
    // Track ids start at 1 and follow the order of adding. None when the
    // composition is full (kMaxTracks).
    static constexpr int kMaxTracks = 64;
    std::optional<TrackId> addTrack(TrackKind kind, const std::filesystem::path& file, int ordinal);

    // Places `source` at composition time `at` on track `id`. Content at or
    // after `at` moves later by the inserted length (a segment spanning `at`
    // is split). Fails for an unknown track, a negative time or an empty or
    // negative range, and then changes nothing.
    Result<void> insert(TrackId id, TimeSpan source, MediaTime at);

    // Inserts `source` at `at` so that it lasts `targetDuration` (a held or
    // stretched range). Same rules as insert.
    Result<void> insertScaled(TrackId id, TimeSpan source, MediaTime at, MediaTime targetDuration);

    // Scales composition time range `range` of every track to last
    // `newDuration`; everything after it moves by the difference.
    void scaleTimeRange(TimeSpan range, MediaTime newDuration);

    const std::vector<CompositionTrack>& tracks() const { return tracks_; }
    const CompositionTrack* track(TrackId id) const;
    // The end of the longest track.
    MediaTime duration() const;

private:
    CompositionTrack* mutableTrack(TrackId id);

    std::vector<CompositionTrack> tracks_;
};

}  // namespace vorpix::media
