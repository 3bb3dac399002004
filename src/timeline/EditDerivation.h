#pragma once

// Values an editor derives from its document and the capture metadata with
// the edit timeline functions: the effective keep (with its fallback), the
// edit duration, film clips with output times, events remapped to output
// time, the file slices for the composition, and the split rule.
//
// Pure functions without Qt, shared by the editor model, the renderer's
// callers and the command-line modes so that all of them cut alike. Times are
// source seconds unless a name says output; safe from any thread.

#include <optional>
#include <span>
#include <vector>

#include "model/Project.h"
#include "model/SessionEvents.h"
#include "timeline/EditTimeline.h"

namespace vorpix::timeline {

// Edits in progress that the keep already reflects: a clip edge being dragged
// moves a trim or draws a cut.
struct EditDrafts {
    std::optional<double> trimStart;
    std::optional<double> trimEnd;
    std::optional<model::TimeRange> cut;
};

// Least length, seconds, of the single slice shown when nothing is kept.
inline constexpr double kFallbackLength = 0.1;

// keep() of the recording with the drafts applied (a draft trim replaces its
// trim, a draft cut is added after `removed`). Never empty: when nothing is
// kept it is the single slice (0, max(duration, kFallbackLength), 1), so the
// editor always has something to show and play.
std::vector<model::TimelineSlice> effectiveKeep(double duration, double trimStart, double trimEnd,
                                                std::span<const model::TimeRange> removed,
                                                const EditDrafts& drafts = {});
// The same for a document as stored: a missing trimEnd is the duration.
std::vector<model::TimelineSlice> effectiveKeep(const model::SessionEvents& events,
                                                const model::Project& project);

// Output seconds of `keep`: the sum of max(sourceEnd - sourceStart, 0) /
// max(timeScale, kTimeScaleFloor), and at least 0.001.
double editDuration(std::span<const model::TimelineSlice> keep);

// clips() of keep and splits, each placed on the output time line after the
// ones before it (the first starts at output 0).
std::vector<FilmClip> filmClips(std::span<const model::TimelineSlice> keep, std::span<const double> splits);

// Events whose time maps with toOutput(), with the time replaced by the output
// time, in their given order; the others (trimmed or cut away) are dropped.
std::vector<model::MouseSample> remapSamples(std::span<const model::MouseSample> samples,
                                             std::span<const model::TimelineSlice> keep);
std::vector<model::ClickEvent> remapClicks(std::span<const model::ClickEvent> clicks,
                                           std::span<const model::TimelineSlice> keep);
// Segments (start before end) moved to output time; id, centre, factor and
// followCursor unchanged. An end that lies in trimmed or cut time moves to
// the nearest kept moment inside the segment, so a zoom that straddles a trim
// or cut keeps the part of it that is kept; it is dropped when that part
// lasts less than kLeastZoomRemnant. A segment that spans a cut with both
// ends kept spans the cut's place in the output.
std::vector<model::ZoomSegment> remapZooms(std::span<const model::ZoomSegment> segments,
                                           std::span<const model::TimelineSlice> keep);

// Where an audio clip that starts at source time `start` plays: its output
// start, and how many seconds into its file it begins. A clip that starts in
// trimmed or cut time plays from the first kept moment after its start, the
// removed stretch skipped in its file (sound is never cut after that: it
// runs on over later cuts). None when nothing is kept after its start.
struct AudioPlacement {
    double outputStart = 0;
    double fileOffset = 0;
    bool operator==(const AudioPlacement&) const = default;
};
std::optional<AudioPlacement> placeAudio(double start, std::span<const model::TimelineSlice> keep);

// toFile() of the keep over the capture's own slice list (none: source time is
// file time): what the composition plays from the screen movie.
std::vector<model::TimelineSlice> fileSlices(std::span<const model::TimelineSlice> keep,
                                             const std::optional<std::vector<model::TimelineSlice>>& base);

// Where a split at the playhead (output seconds) would go: its source time
// and the first film clip it lies inside by more than kPieceThreshold on both
// sides. None when there is no such clip (too close to a clip's edge).
struct SplitPoint {
    double source = 0;
    FilmClip clip;
};
std::optional<SplitPoint> splitPoint(double playhead, std::span<const model::TimelineSlice> keep,
                                     std::span<const double> splits);
inline bool canSplit(double playhead, std::span<const model::TimelineSlice> keep,
                     std::span<const double> splits) {
    return splitPoint(playhead, keep, splits).has_value();
}

// Adds `source` to `splits` and sorts them ascending, unless a split already
// lies within kDuplicateSplit of it (then `splits` is left as it was).
// Returns whether it was added.
bool addSplit(std::vector<double>& splits, double source);

}  // namespace vorpix::timeline
