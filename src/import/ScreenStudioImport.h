#pragma once

// Screen Studio packages ("*.screenstudio" folders written by that outside
// recorder) read as recordings of the library. The package is only ever
// read: the translated capture metadata and the user's edit document live in
// a cache folder of our own under the per-user data folder.
//
// Every function is stateless and may run on any thread. Two threads opening
// the same package may both derive and write the same cache file; each write
// replaces the file whole, a failed one is ignored, and both carry the same
// content, so this is harmless.
//
// References in a package (media file names) that lead outside the package,
// by an absolute path, a ".." component or a symbolic link, are refused with
// an error (code kOutsidePackage) rather than followed.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "import/ImportCodes.h"
#include "model/Project.h"
#include "model/RecordingItem.h"
#include "model/Result.h"
#include "model/SessionEvents.h"

namespace vorpix::import {

// The user messages of the importer, used as they stand.
inline constexpr const char* kPackageNotFoundMessage = "The Screen Studio project was not found.";
inline constexpr const char* kMetadataMissingMessage =
    "Missing recording/metadata.json. The package is incomplete or not downloaded.";
inline constexpr const char* kNoScreenRecordingMessage = "No screen recording was found in the package.";
inline constexpr const char* kNoVideoFileMessage =
    "No video file in the package. It may still be online-only in Drive.";
// What the editor shows for packages it cannot open.
inline constexpr const char* kNotDownloadedMessage = "This Screen Studio project is not downloaded yet.";
inline constexpr const char* kUnreadableMessage = "Could not read the Screen Studio project.";

// The part of the screen the recorder captured, in the recorder's display
// points.
struct Crop {
    double x = 0;
    double y = 0;
    double width = 1920;
    double height = 1080;
    bool operator==(const Crop&) const = default;
};

struct WebcamTrack {
    std::string file;   // relative to the package
    double offset = 0;  // seconds; webcam time = screen source time - offset
    bool operator==(const WebcamTrack&) const = default;
};

// What a package says about its screen recording, parsed from its JSON files.
struct Header {
    Crop crop;
    double scale = 1.0;  // pixels per crop unit
    std::int64_t pixelWidth = 1;
    std::int64_t pixelHeight = 1;
    double unixStart = 0;                 // milliseconds since 1970 of the screen session's start
    double slicedDuration = 0.001;        // seconds of source time
    std::string videoRelative;            // screen movie, relative to the package
    std::vector<std::string> extraAudio;  // relative to the package
    std::optional<WebcamTrack> webcam;
    std::vector<model::TimelineSlice> slices;  // package seconds, sorted by sourceStart
    std::chrono::system_clock::time_point created;
    std::string name;
};

// ---- Pure core -----------------------------------------------------------
// No file-system access; exposed for tests and fuzzing. The wrappers further
// down read the files and call these.

// The JSON texts of a package; none for a file that is absent or unreadable.
struct PackageTexts {
    std::optional<std::string> metadata;  // "recording/metadata.json"
    std::optional<std::string> project;   // "project.json"
    std::optional<std::string> meta;      // "meta.json"
};

// Size in bytes of a file given relative to the package: none when it does
// not exist or its size cannot be read; an error when it lies outside.
using MediaProbe = std::function<Result<std::optional<std::uintmax_t>>(const std::string& relativePath)>;

// Parses the header from the texts. `packageStem` is the package's name
// without extension (the fallback name); `fallbackCreated` the date used when
// no "createdAt" parses.
Result<Header> parseHeader(const PackageTexts& texts, const MediaProbe& probe, std::string_view packageStem,
                           std::chrono::system_clock::time_point fallbackCreated);

// A package time (seconds from the screen session's start) on the
// recording's source time line; none when it falls in a cut between slices
// or after the last one. No slices: unchanged.
std::optional<double> mapPackageTime(double packageSeconds, const std::vector<model::TimelineSlice>& slices);

// The capture metadata from a parsed header and the texts of the mouse-moves
// and mouse-clicks files (none or unreadable: no samples / no clicks).
model::SessionEvents buildSessionEvents(const Header& header, const std::optional<std::string>& mouseMoves,
                                        const std::optional<std::string>& mouseClicks);

// The edit document made from the package's own settings ("project.json"
// text; none gives a new document). Zoom segments get fresh ids.
model::Project projectFromPackage(const std::optional<std::string>& projectText);

// ---- Packages on disk ----------------------------------------------------

// The recording item of a package with its parsed header; the package's
// creation date, else now, stands in for a missing "createdAt".
Result<model::RecordingItem> peek(const std::filesystem::path& package);

// Parses the header of a package on disk (what `peek` reports).
Result<Header> readHeader(const std::filesystem::path& package);

// The item shown in the library listing. Opens no JSON: none unless the
// extension is "screenstudio" (any case) and the package is locally
// available; duration 0, pixel size 0 x 0, video path "recording", the
// package's name without extension as display name.
std::optional<model::RecordingItem> lightweightItem(const std::filesystem::path& package);

// True when "recording/metadata.json" is a regular, non-empty file (Linux has
// no cloud placeholders; an online-only package lacks the file or has it
// empty).
bool isLocallyAvailable(const std::filesystem::path& package);

// "ss:" + the package's absolute, normalised path; the id of both the peeked
// and the lightweight item.
std::string packageId(const std::filesystem::path& package);

// The capture metadata: the cache's "events.json" when it decodes and was
// derived from this very package (same folder identity, same metadata
// modification time and size, noted beside it in "events.source"), else
// translated from the package (and written to the cache, failures ignored).
// `dataFolder` is the per-user data folder (see cacheFolder).
Result<model::SessionEvents> loadEvents(const std::filesystem::path& package,
                                        const std::filesystem::path& dataFolder);

// The edit document: the cache's "project.json" when it decodes (the user's
// own edits win), else the one made from the package's settings. Never fails.
model::Project loadProject(const std::filesystem::path& package, const std::filesystem::path& dataFolder);

// The 64-bit djb2-style hash of the package path's UTF-8 bytes:
// h = 5381, then h = h * 33 + byte for every byte, wrapping around.
std::uint64_t pathHash(std::string_view path);

// dataFolder / "Tavorin/screenstudio-cache" / decimal pathHash of the
// package's absolute path. `dataFolder` is the per-user application data
// folder (the system temporary folder when empty). The folder is created
// with its parents; a failure to create it is ignored.
std::filesystem::path cacheFolder(const std::filesystem::path& package,
                                  const std::filesystem::path& dataFolder);

// Where Screen Studio projects are looked for: the folders the user has
// opened packages from (`storedFolders`, the setting
// "screenStudioLibraryFolders"), then "Screen Studio Projects" in `home`, then
// for every entry E of home/"Library/CloudStorage" (in name order)
// E/"My Drive"/"Video" and E/"Min enhet"/"Video". Duplicates are dropped and
// only existing folders kept, in that order.
std::vector<std::filesystem::path> screenStudioSearchFolders(const std::vector<std::string>& storedFolders,
                                                             const std::filesystem::path& home);

// The direct entries of `folder` whose extension is "screenstudio" (any
// case), in listing order. Empty when the folder cannot be listed.
std::vector<std::filesystem::path> screenStudioPackages(const std::filesystem::path& folder);

// The new value of "screenStudioLibraryFolders" after the user opened
// `package` by hand: the folder holding it appended unless already present.
std::vector<std::string> addLibraryFolder(std::vector<std::string> storedFolders,
                                          const std::filesystem::path& package);

}  // namespace vorpix::import
