#pragma once

// Edit timeline arithmetic: pure, stateless functions over seconds.
//
// Three time bases meet here. Source time is the recording's own seconds (all
// times of "events.json" and "project.json"); output time is the edited
// result after trims and cuts (the playhead); file time is seconds of the
// screen movie file, equal to source time unless the capture metadata carries
// its own slice list. These functions are the only conversions between them.
//
// Keep slices are TimelineSlices in source time, increasing and not
// overlapping; the output time line is their concatenation, each lasting
// (sourceEnd - sourceStart) / max(timeScale, kTimeScaleFloor).
//
// No errors, no clocks, no state: safe from any thread. Only the returned
// lists allocate; toSource and toOutput allocate nothing.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/Project.h"
#include "model/SessionEvents.h"

namespace vorpix::timeline {

// One film clip: a stretch of kept source time and where it plays in output
// time. Immutable once made.
struct FilmClip {
    double sourceStart = 0;
    double sourceEnd = 0;
    double outputStart = 0;
    double outputEnd = 0;

    // Identity in lists: "%.3f-%.3f" of sourceStart and sourceEnd, e.g. "3.000-5.500".
    std::string identity() const;
    bool operator==(const FilmClip&) const = default;
};

// The kept stretches of a recording of `duration` seconds between the trims
// (given in either order; the caller passes trimEnd = duration when the
// document has none), minus the removed ranges (either bound first). Every
// slice has timeScale 1. Empty when the trim window is kMinimumKeptSpan or
// shorter, or when duration or a trim is not a finite number; a removed range
// with a non-finite bound is ignored.
std::vector<model::TimelineSlice> keep(double duration, double trimStart, double trimEnd,
                                       std::span<const model::TimeRange> removed);

// Source time of output time t. With no slices, t itself; past the last
// slice, its sourceEnd; before 0, linearly before the first slice's start.
double toSource(double t, std::span<const model::TimelineSlice> keep);

// Output time of source time s, or none when s lies in a removed or trimmed
// part (farther than kBoundarySlack from every slice) or there are no slices.
std::optional<double> toOutput(double s, std::span<const model::TimelineSlice> keep);

// The keep slices divided at the splits that lie more than kPieceThreshold
// inside a slice (in any order; NaN is ignored). Pieces keep their slice's
// timeScale; a slice with no split inside is returned unchanged.
std::vector<model::TimelineSlice> clips(std::span<const model::TimelineSlice> keep,
                                        std::span<const double> splits);

// `slices` (source time) re-expressed in file time through the recording's own
// slice list `base` (SessionEvents::slices). An empty base returns `slices`
// unchanged. Otherwise a slice of kPieceThreshold or shorter is dropped, and
// the others are divided at the boundaries of base's slices: each piece is
// that base slice's stretch of the file with timeScale = the base slice's
// times the slice's own, so that the pieces play exactly the slice's output
// length and source time runs along base as the recording defines it.
// Pieces of kBoundarySlack or shorter (round-off at a boundary) are dropped,
// as is whatever lies beyond the end of base.
std::vector<model::TimelineSlice> toFile(std::span<const model::TimelineSlice> slices,
                                         std::span<const model::TimelineSlice> base);

}  // namespace vorpix::timeline
