#pragma once

// Capture metadata of one recording: the content of "events.json", written
// once when a take stops and never changed by editing.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/Result.h"

namespace vorpix::model {

// A pointer position. `t` is source time in seconds; x and y are pixels of the
// captured area from its top-left corner, y downward, and may lie outside it.
struct MouseSample {
    double t = 0;
    double x = 0;
    double y = 0;
    bool operator==(const MouseSample&) const = default;
};

// A mouse-button press. `button`: 0 = primary (left), 1 = secondary (right).
struct ClickEvent {
    double t = 0;
    double x = 0;
    double y = 0;
    std::int64_t button = 0;
    bool operator==(const ClickEvent&) const = default;
};

// A stretch of a time line played at `timeScale` (2.0 plays it twice as fast,
// so it lasts (sourceEnd - sourceStart) / timeScale seconds).
struct TimelineSlice {
    double sourceStart = 0;
    double sourceEnd = 0;
    double timeScale = 1.0;
    bool operator==(const TimelineSlice&) const = default;
};

struct SessionEvents {
    std::int64_t pixelWidth = 0;
    std::int64_t pixelHeight = 0;
    double scaleFactor = 1.0;
    double duration = 0;
    std::vector<MouseSample> samples;
    std::vector<ClickEvent> clicks;
    // Webcam first-frame time minus screen first-frame time, seconds.
    // Webcam time = screen source time - webcamOffset; absent means 0.
    std::optional<double> webcamOffset;
    std::optional<std::string> webcamFile;
    std::optional<std::vector<std::string>> extraAudioFiles;
    // The stretches of the movie file that make up the recording (imports only).
    std::optional<std::vector<TimelineSlice>> slices;

    bool operator==(const SessionEvents&) const = default;
};

inline constexpr const char* kEventsFileName = "events.json";

// The largest side of a capture in pixels; pixelWidth and pixelHeight are
// read only in 1 ... kMaxPixelSide.
inline constexpr std::int64_t kMaxPixelSide = 16384;

// Compact JSON. Fails (domain "json") when a number is not finite or a string
// is not valid UTF-8; optional fields are left out when absent.
Result<std::string> encodeSessionEvents(const SessionEvents& events);

// Strict decoding: the six core keys and every key of the nested records must
// be present with the right type; optional keys may be missing or null;
// integer fields refuse fractions; pixel sizes lie in 1 ... kMaxPixelSide.
// Unknown keys are ignored.
Result<SessionEvents> decodeSessionEvents(std::string_view json);

// "events.json" in `folder`. Writing replaces the file atomically.
Result<SessionEvents> readSessionEvents(const std::filesystem::path& folder);
Result<void> writeSessionEvents(const std::filesystem::path& folder, const SessionEvents& events);

}  // namespace vorpix::model
