#pragma once

// The edit document of one recording, "project.json": everything the user
// decided, as numbers. All times are source seconds.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/Result.h"
#include "model/Style.h"
#include "model/Uuid.h"

namespace vorpix::model {

struct StyleSettings {
    BackgroundPreset background = BackgroundPreset::midnight;
    double padding = 0.07;        // margin around the screen, relative to the canvas
    double cornerRadius = 18.0;   // scaled with the canvas
    double shadowOpacity = 0.55;  // 0...1
    double shadowRadius = 40.0;   // blur radius, scaled with the canvas
    bool showCursor = true;
    double cursorScale = 1.6;
    double cursorSmoothing = 0.14;  // seconds
    bool clickRipples = true;
    bool autoZoom = true;
    double zoomFactor = 1.9;
    double zoomHold = 1.6;  // seconds an automatic zoom holds after its last click
    bool webcamEnabled = true;
    WebcamCorner webcamCorner = WebcamCorner::bottomRight;
    double webcamSize = 0.18;  // relative to the canvas
    bool webcamCircular = false;
    double zoomLead = 0.45;  // seconds an automatic zoom begins before a click
    bool hideIdleCursor = false;
    OutputAspect outputAspect = OutputAspect::source;

    bool operator==(const StyleSettings&) const = default;
};

struct ZoomSegment {
    Uuid id = Uuid::random();
    double start = 0;    // source seconds
    double end = 0;      // source seconds
    double centerX = 0.5;  // 0...1 of the source width, from the left
    double centerY = 0.5;  // 0...1 of the source height, from the top
    double factor = 1.0;   // magnification; 1.0 = none
    bool followCursor = true;

    bool operator==(const ZoomSegment&) const = default;
};

struct AudioClip {
    Uuid id = Uuid::random();
    std::string fileName;  // a file in the recording folder
    AudioClipKind kind = AudioClipKind::imported;
    double start = 0;  // source time at which the clip begins to play
    double volume = 1.0;

    bool operator==(const AudioClip&) const = default;
};

// A stretch cut out of the middle. `start` may exceed `end`; users take the
// smaller as the beginning.
struct TimeRange {
    Uuid id = Uuid::random();
    double start = 0;
    double end = 0;

    bool operator==(const TimeRange&) const = default;
};

struct Project {
    StyleSettings style;
    std::optional<std::vector<ZoomSegment>> manualZoom;  // absent or empty: zooms come from clicks
    double trimStart = 0.0;
    std::optional<double> trimEnd;  // absent: the end of the recording
    double micVolume = 1.0;
    double musicVolume = 1.0;
    std::vector<AudioClip> clips;
    std::vector<TimeRange> removedRanges;
    std::vector<double> splits;

    bool operator==(const Project&) const = default;
};

inline constexpr const char* kProjectFileName = "project.json";

// The one range of each style value, the range its control in the inspector
// offers; reading a document holds every value to it (a value outside comes
// in at the nearer end, a value that is not a number takes its default):
//   padding 0 … 0.2, cornerRadius 0 … 48, shadowOpacity 0 … 1,
//   shadowRadius 0 … 80, cursorScale 0.8 … 3, cursorSmoothing 0 … 0.3,
//   zoomFactor 1.2 … 5, zoomHold 0.5 … 4, zoomLead 0.1 … 1.2,
//   webcamSize 0.1 … 0.3.
StyleSettings clampedStyle(StyleSettings style);
// A zoom segment's factor held to 1.05 … 6 (what an amount written from
// elsewhere may be) and its centre to 0 … 1 on each axis.
ZoomSegment clampedZoom(ZoomSegment zoom);

// Pretty-printed JSON with keys sorted at every level; deterministic, so two
// encodings of one document are byte-identical. Fails (domain "json") when a
// number is not finite.
Result<std::string> encodeProject(const Project& project);

// Field-by-field decoding, so that one bad value never costs the rest of the
// edit: a missing (or null) key takes its default and unknown keys are
// ignored; a key of the wrong type or an unknown enumeration case takes its
// default too, and a list element that cannot be decoded (a nested record
// missing a required key) is left out. `defaulted` names each such field or
// element ("style.padding", "clips[1]") in document order. Values are held to
// their ranges (clampedStyle, clampedZoom). Fails only for text that is not a
// JSON object.
struct DecodedProject {
    Project project;
    std::vector<std::string> defaulted;
};
Result<DecodedProject> decodeProjectFields(std::string_view json);
// The same without the list of defaulted fields.
Result<Project> decodeProject(std::string_view json);

// "project.json" in `folder`. Writing replaces the file atomically: a failed
// write leaves the previous file as it was.
Result<Project> readProject(const std::filesystem::path& folder);
Result<void> writeProject(const std::filesystem::path& folder, const Project& project);

// What the editor opens from `folder`: the document, decoded field by field,
// or a new one when the file is missing or cannot be parsed at all. A file
// that cannot be parsed is first copied beside itself as
// "project.json.unreadable-<local date>" (e.g. "project.json.unreadable-2026-12-06T04.30.00";
// not again while an identical copy exists), so that the next write loses
// nothing.
struct OpenedProject {
    Project project;
    std::vector<std::string> defaulted;              // as DecodedProject
    std::optional<Error> unreadable;                 // why the file could not be used
    std::optional<std::filesystem::path> keptAside;  // the copy of an unparsable file
    // One line for the user when defaults were used; empty otherwise.
    std::string warning() const;
};
OpenedProject openProject(const std::filesystem::path& folder);
Project loadProjectOrDefault(const std::filesystem::path& folder);

}  // namespace vorpix::model
