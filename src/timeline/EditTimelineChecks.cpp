#include "timeline/EditTimelineChecks.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>

#include "timeline/EditTimeline.h"

namespace vorpix::timeline::edit_timeline_checks {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kExact = 1e-9;  // seconds; round-off allowance where a case expects an exact value

using Slices = std::vector<model::TimelineSlice>;

const Slices kCutThreeToFive{{0, 3, 1}, {5, 10, 1}};

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

std::string text(const Slices& slices) {
    std::string s = "[";
    for (const model::TimelineSlice& k : slices) {
        if (s.size() > 1) s += ' ';
        s += '(' + number(k.sourceStart) + ',' + number(k.sourceEnd) + ',' + number(k.timeScale) + ')';
    }
    return s + ']';
}

std::string text(const std::vector<double>& values) {
    std::string s = "[";
    for (double v : values) {
        if (s.size() > 1) s += ' ';
        s += number(v);
    }
    return s + ']';
}

std::string text(const std::optional<double>& v) {
    return v ? number(*v) : "none";
}

std::string text(const std::vector<Bounds>& ranges) {
    std::string s = "[";
    for (const Bounds& b : ranges) {
        if (s.size() > 1) s += ' ';
        s += number(b.start) + "-" + number(b.end);
    }
    return s + ']';
}

bool near(double a, double b, double tolerance) {
    return std::abs(a - b) <= tolerance;
}

bool same(const Slices& a, const Slices& b, double tolerance) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!near(a[i].sourceStart, b[i].sourceStart, tolerance) ||
            !near(a[i].sourceEnd, b[i].sourceEnd, tolerance) ||
            !near(a[i].timeScale, b[i].timeScale, kExact)) {
            return false;
        }
    }
    return true;
}

bool same(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!near(a[i], b[i], kExact)) return false;
    }
    return true;
}

std::vector<model::TimeRange> ranges(const std::vector<Bounds>& bounds) {
    std::vector<model::TimeRange> out;
    out.reserve(bounds.size());
    for (const Bounds& b : bounds) {
        model::TimeRange r;
        r.start = b.start;
        r.end = b.end;
        out.push_back(r);
    }
    return out;
}

std::string differs(std::string_view what, const std::string& got, const std::string& want) {
    return std::string(what) + " " + got + ", expected " + want;
}

}  // namespace

const std::vector<KeepCase>& keepCases() {
    static const std::vector<KeepCase> cases{
        {"cut 3-5 leaves 0-3 and 5-10", 10, 0, 10, {{3, 5}}, kCutThreeToFive, 0.02},
        {"trim 1.5-8.5 keeps 7 s", 10, 1.5, 8.5, {}, {{1.5, 8.5, 1}}},
        {"cut after a blade at 4 leaves 0-4", 10, 0, 10, {{4, 10}}, {{0, 4, 1}}},
        {"trims in reverse order", 10, 8, 2, {}, {{2, 8, 1}}},
        {"window of 0.05 s keeps nothing", 10, 0, 0.05, {}, {}},
        {"window of 0.06 s is kept", 10, 0, 0.06, {}, {{0, 0.06, 1}}},
        {"trims clamped to the recording", 10, -1, 12, {}, {{0, 10, 1}}},
        {"cut of 0.04 s ignored", 10, 0, 10, {{0, 0.04}, {5, 5.03}}, {{0, 10, 1}}},
        {"cut with its end first", 10, 0, 10, {{5, 3}}, kCutThreeToFive},
        {"sliver before a cut dropped", 10, 0, 10, {{0.03, 5}}, {{5, 10, 1}}},
        {"sliver after a cut dropped", 10, 0, 10, {{3, 9.97}}, {{0, 3, 1}}},
        {"cuts 0.005 s apart merge", 10, 0, 10, {{2, 3}, {3.005, 4}}, {{0, 2, 1}, {4, 10, 1}}},
        {"0.02 s between two cuts dropped", 10, 0, 10, {{2, 3}, {3.02, 4}}, {{0, 2, 1}, {4, 10, 1}}},
        {"unordered overlapping cuts",
         10,
         0,
         10,
         {{6, 7}, {1, 2}, {2.5, 1.5}},
         {{0, 1, 1}, {2.5, 6, 1}, {7, 10, 1}}},
        {"cut inside a larger cut", 10, 0, 10, {{4, 6}, {3, 7}}, {{0, 3, 1}, {7, 10, 1}}},
        {"cuts clipped to the trim window", 10, 2, 8, {{1, 3}, {7, 9}}, {{3, 7, 1}}},
        {"cuts outside the trim window ignored", 10, 2, 8, {{8.5, 9.5}, {0, 1}}, {{2, 8, 1}}},
        {"cut of everything", 10, 0, 10, {{0, 10}}, {}},
        {"duration not a number", kNaN, 0, 10, {}, {}},
        {"cut with a bound not a number ignored", 10, 0, 10, {{kNaN, 5}}, {{0, 10, 1}}},
    };
    return cases;
}

const std::vector<MapCase>& mapCases() {
    using enum Mapping;
    static const std::vector<MapCase> cases{
        {"source in a cut has no output", toOutput, kCutThreeToFive, 3.5, std::nullopt},
        {"source after a cut", toOutput, kCutThreeToFive, 6, 4.0},
        {"0.0005 s past a slice end still maps", toOutput, kCutThreeToFive, 3.0005, 3.0005},
        {"0.001 s past a slice end into a hole", toOutput, kCutThreeToFive, 3.001, std::nullopt},
        {"0.001 s past a slice end into the next", toOutput, {{0, 3, 1}, {3.001, 10, 1}}, 3.001, 3.0},
        {"0.0005 s before a slice start maps", toOutput, kCutThreeToFive, 4.9995, 2.9995},
        {"0.0005 s past the last slice maps", toOutput, kCutThreeToFive, 10.0005, 8.0005},
        {"0.001 s past the last slice", toOutput, kCutThreeToFive, 10.001, std::nullopt},
        {"0.0005 s before the first slice maps", toOutput, kCutThreeToFive, -0.0005, -0.0005},
        {"0.001 s before the first slice", toOutput, kCutThreeToFive, -0.001, std::nullopt},
        {"nothing kept has no output", toOutput, {}, 1, std::nullopt},
        {"double speed halves output time", toOutput, {{0, 4, 2}}, 2, 1.0},
        {"time scale 0 is taken as 0.001", toOutput, {{0, 1, 0}}, 0.001, 1.0},
        {"output after a cut", toSource, kCutThreeToFive, 4, 6.0},
        {"output at a slice end stays in it", toSource, kCutThreeToFive, 3, 3.0},
        {"0.0005 s past a slice end stays in it", toSource, kCutThreeToFive, 3.0005, 3.0005},
        {"0.001 s past a slice end moves on", toSource, kCutThreeToFive, 3.001, 5.001},
        {"output beyond the edit gives the last end", toSource, kCutThreeToFive, 9, 10.0},
        {"output before 0 maps linearly", toSource, {{2, 8, 1}}, -1, 1.0},
        {"nothing kept is the identity", toSource, {}, 4.2, 4.2},
        {"double speed doubles source time", toSource, {{0, 4, 2}}, 1, 2.0},
        {"time scale 0 multiplies by 0", toSource, {{0, 1, 0}}, 0.5, 0.0},
    };
    return cases;
}

const std::vector<ClipsCase>& clipsCases() {
    static const std::vector<ClipsCase> cases{
        {"split at 4", {{0, 10, 1}}, {4}, {{0, 4, 1}, {4, 10, 1}}},
        {"splits given out of order", {{0, 10, 1}}, {7, 3}, {{0, 3, 1}, {3, 7, 1}, {7, 10, 1}}},
        {"splits 0.03 s from the ends ignored", {{0, 10, 1}}, {0.03, 9.97}, {{0, 10, 1}}},
        {"splits exactly 0.04 s from the ends ignored", {{0, 10, 1}}, {0.04, 9.96}, {{0, 10, 1}}},
        {"split 0.05 s after the start", {{0, 10, 1}}, {0.05}, {{0, 0.05, 1}, {0.05, 10, 1}}},
        {"splits across slices and in a cut",
         kCutThreeToFive,
         {1, 4, 6},
         {{0, 1, 1}, {1, 3, 1}, {5, 6, 1}, {6, 10, 1}}},
        {"pieces keep their time scale", {{0, 4, 2}}, {2}, {{0, 2, 2}, {2, 4, 2}}},
        {"nothing kept", {}, {1}, {}},
        {"split not a number ignored", {{0, 10, 1}}, {kNaN, 4}, {{0, 4, 1}, {4, 10, 1}}},
    };
    return cases;
}

const std::vector<ToFileCase>& toFileCases() {
    const Slices base{{10, 20, 1}, {30, 40, 1}};
    // A package's own slices: 0-2 s, a cut, 3-5 s at double speed, 5-6 s.
    const Slices sliced{{0, 2, 1}, {3, 5, 2}, {5, 6, 1}};
    static const std::vector<ToFileCase> cases{
        {"empty base keeps slices and scales", {{0, 4, 2}, {5, 6, 1}}, {}, {{0, 4, 2}, {5, 6, 1}}},
        {"inside one file stretch", {{2, 5, 1}}, base, {{12, 15, 1}}},
        {"across two file stretches", {{8, 12, 1}}, base, {{18, 20, 1}, {30, 32, 1}}},
        {"short mapped piece dropped", {{5, 5.03, 1}}, base, {}},
        {"nothing to map", {}, base, {}},
        {"past the end of the base", {{15, 25, 1}}, base, {{35, 40, 1}}},
        {"base stretch at double speed", {{1, 2, 1}}, {{0, 10, 2}}, {{2, 4, 2}}},
        {"speeds multiply", {{1, 2, 2}}, {{0, 10, 2}}, {{2, 4, 4}}},
        {"keep across a cut and a fast stretch", {{0.5, 3.5, 1}}, sliced, {{0.5, 2, 1}, {3, 5, 2}, {5, 5.5, 1}}},
        {"two keeps in one fast stretch", {{0, 2.2, 1}, {2.6, 4, 1}}, sliced,
         {{0, 2, 1}, {3, 3.4, 2}, {4.2, 5, 2}, {5, 6, 1}}},
        {"0.0005 s at a boundary is round-off", {{1.9995, 3, 1}}, sliced, {{3, 5, 2}}},
        {"0.002 s at a boundary is kept", {{1.998, 3, 1}}, sliced, {{1.998, 2, 1}, {3, 5, 2}}},
    };
    return cases;
}

const std::vector<DerivedCase>& derivedCases() {
    static const std::vector<DerivedCase> cases{
        {"whole recording", 10, 0, 10, {}, {}, {}, {}, {}, {{0, 10, 1}}, 10, {{0, 10, 0, 10}}},
        {"cut and splits",
         10,
         0,
         10,
         {{3, 5}},
         {},
         {},
         {},
         {1, 4, 6},
         kCutThreeToFive,
         8,
         {{0, 1, 0, 1}, {1, 3, 1, 3}, {5, 6, 3, 4}, {6, 10, 4, 8}}},
        {"nothing kept shows the recording",
         10,
         4,
         4.05,
         {},
         {},
         {},
         {},
         {},
         {{0, 10, 1}},
         10,
         {{0, 10, 0, 10}}},
        {"short recording shows 0.1 s",
         0.05,
         0,
         0.05,
         {},
         {},
         {},
         {},
         {},
         {{0, 0.1, 1}},
         0.1,
         {{0, 0.1, 0, 0.1}}},
        {"empty recording shows 0.1 s", 0, 0, 0, {}, {}, {}, {}, {}, {{0, 0.1, 1}}, 0.1, {{0, 0.1, 0, 0.1}}},
        {"duration not a number shows 0.1 s",
         kNaN,
         0,
         10,
         {},
         {},
         {},
         {},
         {},
         {{0, 0.1, 1}},
         0.1,
         {{0, 0.1, 0, 0.1}}},
        {"dragged trims replace the trims", 10, 0, 10, {}, 2, 7, {}, {}, {{2, 7, 1}}, 5, {{2, 7, 0, 5}}},
        {"cut being drawn is removed",
         10,
         0,
         10,
         {{1, 2}},
         {},
         {},
         Bounds{6, 4},
         {},
         {{0, 1, 1}, {2, 4, 1}, {6, 10, 1}},
         7,
         {{0, 1, 0, 1}, {2, 4, 1, 3}, {6, 10, 3, 7}}},
    };
    return cases;
}

const std::vector<SplitCase>& splitCases() {
    static const std::vector<SplitCase> cases{
        {"middle of the only clip", 10, {}, {}, 5, true, {5}},
        {"0.03 s after the start", 10, {}, {}, 0.03, false, {}},
        {"0.03 s before the end", 10, {}, {}, 9.97, false, {}},
        {"again 0.01 s after a split", 10, {}, {3}, 3.01, false, {3}},
        {"0.015 s from an existing split not added", 10, {}, {0.03}, 0.045, true, {0.03}},
        {"exactly 0.02 s from an existing split added", 10, {}, {0.026}, 0.046, true, {0.026, 0.046}},
        {"splits kept ascending", 10, {}, {8, 2}, 5, true, {2, 5, 8}},
        {"playhead after a cut", 10, {{3, 5}}, {}, 4, true, {6}},
        {"playhead at a cut", 10, {{3, 5}}, {}, 3, false, {}},
    };
    return cases;
}

const std::vector<RemapCase>& remapCases() {
    static const std::vector<RemapCase> cases{
        {"events and zooms through a cut",
         kCutThreeToFive,
         {1, 3.5, 6, 10.5, -1},
         {1, 4},
         {{2, 6}, {3.5, 6}, {6, 2}, {6, 6}, {1, 2.5}},
         {{2, 4}, {3, 4}, {1, 2.5}}},
        // Zooms that straddle the cut keep their kept part when it lasts 0.1 s.
        {"zooms at the edges of a cut",
         kCutThreeToFive,
         {},
         {},
         {{2, 4}, {2.9, 4}, {2.91, 4}, {4, 5.1}, {4, 5.09}, {3.2, 4.8}, {2.95, 5.05}},
         {{2, 3}, {2.9, 3}, {3, 3.1}, {2.95, 3.05}}},
        {"zooms at the trims",
         {{0.5, 9, 1}},
         {},
         {},
         {{0, 2}, {0, 0.6}, {0, 0.59}, {8.9, 10}, {8.91, 10}, {-1, 11}, {9.2, 9.8}},
         {{0, 1.5}, {0, 0.1}, {8.4, 8.5}, {0, 8.5}}},
        {"nothing kept drops everything", {}, {1, 2}, {}, {{1, 2}}, {}},
    };
    return cases;
}

const std::vector<AudioCase>& audioCases() {
    const Slices trimmed{{0.5, 3, 1}, {5, 9, 1}};
    static const std::vector<AudioCase> cases{
        {"kept start plays from its own start", trimmed, 1, AudioPlacement{0.5, 0}},
        {"before the trim plays from the trim", trimmed, 0, AudioPlacement{0, 0.5}},
        {"in a cut plays after it", trimmed, 4, AudioPlacement{2.5, 1}},
        {"at the cut's end", trimmed, 5, AudioPlacement{2.5, 0}},
        {"0.0005 s into a cut still maps", trimmed, 3.0005, AudioPlacement{2.5005, 0}},
        {"0.001 s into a cut skips it", trimmed, 3.001, AudioPlacement{2.5, 1.999}},
        {"after the trim end plays nowhere", trimmed, 9.5, std::nullopt},
        {"nothing kept", {}, 1, std::nullopt},
    };
    return cases;
}

std::optional<std::string> check(const KeepCase& c) {
    const Slices got = keep(c.duration, c.trimStart, c.trimEnd, ranges(c.removed));
    if (same(got, c.expected, c.tolerance)) return std::nullopt;
    return differs("keep", text(got), text(c.expected));
}

std::optional<std::string> check(const MapCase& c) {
    std::optional<double> got;
    if (c.mapping == Mapping::toSource) {
        got = toSource(c.time, c.keep);
    } else {
        got = toOutput(c.time, c.keep);
    }
    const bool pass = got.has_value() == c.expected.has_value() && (!got || near(*got, *c.expected, kExact));
    if (pass) return std::nullopt;
    const char* what = c.mapping == Mapping::toSource ? "toSource" : "toOutput";
    return differs(std::string(what) + "(" + number(c.time) + ")", text(got), text(c.expected));
}

std::optional<std::string> check(const ClipsCase& c) {
    const Slices got = clips(c.keep, c.splits);
    if (same(got, c.expected, kExact)) return std::nullopt;
    return differs("clips", text(got), text(c.expected));
}

std::optional<std::string> check(const ToFileCase& c) {
    const Slices got = toFile(c.slices, c.base);
    if (same(got, c.expected, kExact)) return std::nullopt;
    return differs("toFile", text(got), text(c.expected));
}

std::optional<std::string> check(const DerivedCase& c) {
    EditDrafts drafts;
    drafts.trimStart = c.draftTrimStart;
    drafts.trimEnd = c.draftTrimEnd;
    if (c.draftCut) drafts.cut = ranges({*c.draftCut}).front();
    const Slices k = effectiveKeep(c.duration, c.trimStart, c.trimEnd, ranges(c.removed), drafts);
    if (!same(k, c.expectedKeep, kExact)) return differs("effective keep", text(k), text(c.expectedKeep));
    const double d = editDuration(k);
    if (!near(d, c.expectedDuration, kExact)) {
        return differs("edit duration", number(d), number(c.expectedDuration));
    }
    const std::vector<FilmClip> got = filmClips(k, c.splits);
    std::string gotText;
    std::string wantText;
    bool pass = got.size() == c.expectedClips.size();
    for (std::size_t i = 0; i < got.size(); ++i) {
        gotText +=
            got[i].identity() + "@" + number(got[i].outputStart) + "-" + number(got[i].outputEnd) + " ";
    }
    for (std::size_t i = 0; i < c.expectedClips.size(); ++i) {
        const FilmClip& w = c.expectedClips[i];
        wantText += w.identity() + "@" + number(w.outputStart) + "-" + number(w.outputEnd) + " ";
        if (pass && (got[i].identity() != w.identity() || !near(got[i].outputStart, w.outputStart, kExact) ||
                     !near(got[i].outputEnd, w.outputEnd, kExact))) {
            pass = false;
        }
    }
    if (pass) return std::nullopt;
    return differs("film clips", "[" + gotText + "]", "[" + wantText + "]");
}

std::optional<std::string> check(const SplitCase& c) {
    const std::vector<model::TimeRange> removed = ranges(c.removed);
    const Slices k = effectiveKeep(c.duration, 0, c.duration, removed);
    const std::optional<SplitPoint> at = splitPoint(c.playhead, k, c.splits);
    if (at.has_value() != c.possible || canSplit(c.playhead, k, c.splits) != c.possible) {
        return std::string("split at ") + number(c.playhead) + (c.possible ? " refused" : " allowed");
    }
    std::vector<double> after = c.splits;
    if (at) addSplit(after, at->source);
    if (same(after, c.splitsAfter)) return std::nullopt;
    return differs("splits", text(after), text(c.splitsAfter));
}

std::optional<std::string> check(const RemapCase& c) {
    std::vector<model::MouseSample> samples;
    std::vector<model::ClickEvent> clicks;
    for (double t : c.eventTimes) {
        samples.push_back({t, 1, 2});
        clicks.push_back({t, 3, 4, 1});
    }
    std::vector<double> sampleTimes;
    for (const model::MouseSample& s : remapSamples(samples, c.keep)) sampleTimes.push_back(s.t);
    if (!same(sampleTimes, c.expectedEventTimes)) {
        return differs("sample times", text(sampleTimes), text(c.expectedEventTimes));
    }
    std::vector<double> clickTimes;
    for (const model::ClickEvent& e : remapClicks(clicks, c.keep)) clickTimes.push_back(e.t);
    if (!same(clickTimes, c.expectedEventTimes)) {
        return differs("click times", text(clickTimes), text(c.expectedEventTimes));
    }

    std::vector<model::ZoomSegment> zooms;
    for (const Bounds& b : c.zooms) {
        model::ZoomSegment z;
        z.start = b.start;
        z.end = b.end;
        zooms.push_back(z);
    }
    std::vector<Bounds> got;
    for (const model::ZoomSegment& z : remapZooms(zooms, c.keep)) got.push_back({z.start, z.end});
    bool pass = got.size() == c.expectedZooms.size();
    for (std::size_t i = 0; pass && i < got.size(); ++i) {
        pass = near(got[i].start, c.expectedZooms[i].start, kExact) &&
               near(got[i].end, c.expectedZooms[i].end, kExact);
    }
    if (pass) return std::nullopt;
    return differs("zooms", text(got), text(c.expectedZooms));
}

std::optional<std::string> check(const AudioCase& c) {
    const std::optional<AudioPlacement> got = placeAudio(c.start, c.keep);
    auto show = [](const std::optional<AudioPlacement>& p) {
        return p ? "at " + number(p->outputStart) + " from " + number(p->fileOffset) : std::string("none");
    };
    const bool pass = got.has_value() == c.expected.has_value() &&
                      (!got || (near(got->outputStart, c.expected->outputStart, kExact) &&
                                near(got->fileOffset, c.expected->fileOffset, kExact)));
    if (pass) return std::nullopt;
    return differs("audio clip", show(got), show(c.expected));
}

int report(std::ostream& out, std::string_view name, std::span<const std::string> failures) {
    for (const std::string& f : failures) out << f << '\n';
    if (failures.empty()) {
        out << name << " OK\n";
    } else {
        out << name << " FAIL (" << failures.size() << ")\n";
    }
    return static_cast<int>(failures.size());
}

namespace {

template <class Case>
void collect(std::vector<std::string>& failures, std::string_view kind, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        if (std::optional<std::string> f = check(c)) {
            failures.push_back(std::string(kName) + ": " + std::string(kind) + " \"" + c.name + "\": " + *f);
        }
    }
}

}  // namespace

int runChecks(std::ostream& out) {
    std::vector<std::string> failures;
    collect(failures, "keep", keepCases());
    collect(failures, "mapping", mapCases());
    collect(failures, "clips", clipsCases());
    collect(failures, "toFile", toFileCases());
    collect(failures, "editor", derivedCases());
    collect(failures, "split", splitCases());
    collect(failures, "remap", remapCases());
    collect(failures, "audio clip", audioCases());
    return report(out, kName, failures);
}

}  // namespace vorpix::timeline::edit_timeline_checks
