#pragma once

// The in-memory descriptor of one recording in the library. Never written to
// disk. Equality and hashing use `id` alone.

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "model/Geometry.h"
#include "model/Result.h"

namespace vorpix::model {

enum class RecordingSource { native, screenStudio };

struct RecordingItem {
    std::string id;  // the folder's (or package's) last path component
    std::filesystem::path folder;
    std::chrono::system_clock::time_point createdAt;
    double duration = 0;
    Size pixelSize;
    RecordingSource source = RecordingSource::native;
    std::string videoRelativePath = "raw.mov";
    std::optional<std::string> displayName;

    bool operator==(const RecordingItem& other) const { return id == other.id; }

    std::filesystem::path videoPath() const { return folder / videoRelativePath; }
};

// Reads a Screen Studio package into a lightweight item. Supplied by the
// importer; model code cannot depend on it.
using PackagePeek = std::function<Result<RecordingItem>(const std::filesystem::path& package)>;

// True when the folder's extension is "screenstudio" in any letter case.
bool isScreenStudioPackage(const std::filesystem::path& folder);

// The item for a recording folder. Folders with the Screen Studio extension
// go to `peek` (an error when none is given); others need a decodable
// "events.json". The creation date comes from the file system's birth time,
// else the modification time, else now; it never fails the call.
Result<RecordingItem> itemFor(const std::filesystem::path& folder, const PackagePeek& peek = {});

// Birth time of `path` when the file system keeps one, else its modification
// time, else none.
std::optional<std::chrono::system_clock::time_point> creationDate(const std::filesystem::path& path);

}  // namespace vorpix::model

template <>
struct std::hash<vorpix::model::RecordingItem> {
    std::size_t operator()(const vorpix::model::RecordingItem& item) const noexcept {
        return std::hash<std::string>{}(item.id);
    }
};
