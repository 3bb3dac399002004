#pragma once

// Built-in checks of the edit timeline ("edit-timeline"): the worked cases of
// keep, the two mappings, clips, toFile and the editor's derived values
// (zooms and audio clips at the edges of kept time included), as
// data tables. The command-line module checks call runChecks(); the unit tests
// iterate the same tables, so a case is written once.

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/SessionEvents.h"
#include "timeline/EditDerivation.h"

namespace vorpix::timeline::edit_timeline_checks {

inline constexpr std::string_view kName = "edit-timeline";

// A time range by its two bounds, in the order stored (either may be larger).
struct Bounds {
    double start = 0;
    double end = 0;
};

struct KeepCase {
    std::string name;
    double duration = 10;
    double trimStart = 0;
    double trimEnd = 10;
    std::vector<Bounds> removed;
    std::vector<model::TimelineSlice> expected;
    double tolerance = 1e-9;  // on every slice bound, seconds
};

enum class Mapping { toSource, toOutput };

struct MapCase {
    std::string name;
    Mapping mapping = Mapping::toOutput;
    std::vector<model::TimelineSlice> keep;
    double time = 0;
    std::optional<double> expected;  // none: no output time
};

struct ClipsCase {
    std::string name;
    std::vector<model::TimelineSlice> keep;
    std::vector<double> splits;
    std::vector<model::TimelineSlice> expected;
};

struct ToFileCase {
    std::string name;
    std::vector<model::TimelineSlice> slices;
    std::vector<model::TimelineSlice> base;
    std::vector<model::TimelineSlice> expected;
};

// The editor's view of a document: effective keep, edit duration and film
// clips (checked by their identity text and output times).
struct DerivedCase {
    std::string name;
    double duration = 10;
    double trimStart = 0;
    double trimEnd = 10;
    std::vector<Bounds> removed;
    std::optional<double> draftTrimStart;
    std::optional<double> draftTrimEnd;
    std::optional<Bounds> draftCut;
    std::vector<double> splits;
    std::vector<model::TimelineSlice> expectedKeep;
    double expectedDuration = 0;
    std::vector<FilmClip> expectedClips;
};

// The split rule at a playhead (output seconds) over the effective keep of a
// recording with cuts and splits.
struct SplitCase {
    std::string name;
    double duration = 10;
    std::vector<Bounds> removed;
    std::vector<double> splits;
    double playhead = 0;
    bool possible = false;
    std::vector<double> splitsAfter;  // after performing it (unchanged when not possible)
};

// Events and zooms moved to output time.
struct RemapCase {
    std::string name;
    std::vector<model::TimelineSlice> keep;
    std::vector<double> eventTimes;
    std::vector<double> expectedEventTimes;  // of the events kept, in order
    std::vector<Bounds> zooms;
    std::vector<Bounds> expectedZooms;  // of the zooms kept, in order
};

// Where an audio clip placed at source time `start` plays (none: nowhere).
struct AudioCase {
    std::string name;
    std::vector<model::TimelineSlice> keep;
    double start = 0;
    std::optional<AudioPlacement> expected;
};

const std::vector<KeepCase>& keepCases();
const std::vector<MapCase>& mapCases();
const std::vector<ClipsCase>& clipsCases();
const std::vector<ToFileCase>& toFileCases();
const std::vector<DerivedCase>& derivedCases();
const std::vector<SplitCase>& splitCases();
const std::vector<RemapCase>& remapCases();
const std::vector<AudioCase>& audioCases();

// One line describing how the implementation departs from the case, or none
// when it passes.
std::optional<std::string> check(const KeepCase& c);
std::optional<std::string> check(const MapCase& c);
std::optional<std::string> check(const ClipsCase& c);
std::optional<std::string> check(const ToFileCase& c);
std::optional<std::string> check(const DerivedCase& c);
std::optional<std::string> check(const SplitCase& c);
std::optional<std::string> check(const RemapCase& c);
std::optional<std::string> check(const AudioCase& c);

// Prints each failure on its own line, then "edit-timeline OK" or
// "edit-timeline FAIL (<count>)". Returns the number of failures.
int runChecks(std::ostream& out);

// The report format shared by the checks of this module: the failures, one a
// line, then "<name> OK" or "<name> FAIL (<count>)". Returns the count.
int report(std::ostream& out, std::string_view name, std::span<const std::string> failures);

}  // namespace vorpix::timeline::edit_timeline_checks
