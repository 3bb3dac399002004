#pragma once

// The small time tolerances of edit arithmetic, in seconds (the time-scale
// floor is a ratio). They are part of the behaviour: pointer drags and float
// round-off land near boundaries, and these decide which side they fall on.
// Every module uses these names; none invents its own.

namespace vorpix::timeline {

// keep(): a trim window not longer than this keeps nothing.
inline constexpr double kMinimumKeptSpan = 0.05;
// keep(): removed ranges and kept pieces not longer than this are dropped.
// clips() and the split rule: a split must lie more than this inside a clip.
// toFile(): kept slices not longer than this are dropped.
inline constexpr double kPieceThreshold = 0.04;
// keep(): a removed range starting at most this far after the previous one's
// end is merged into it.
inline constexpr double kMergeGap = 0.01;
// toSource(), toOutput(): a time this close past a slice boundary still
// belongs to that slice. toFile(): pieces this short at a boundary of the
// recording's own slices are round-off and dropped. remapZooms(): the
// allowance on the least zoom remnant below.
inline constexpr double kBoundarySlack = 0.0008;
// Least time scale used when dividing by a slice's timeScale.
inline constexpr double kTimeScaleFloor = 0.001;
// Split rule: a new split this close to an existing one is not added.
inline constexpr double kDuplicateSplit = 0.02;
// remapZooms(): a zoom that straddles a trim or cut keeps the part of it in
// kept time; when less than this remains it is dropped.
inline constexpr double kLeastZoomRemnant = 0.1;

}  // namespace vorpix::timeline
