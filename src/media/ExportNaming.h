#pragma once

// Where exports go and what they are called: "Vorpix Exports" in the Movies
// folder (which the app layer resolves and passes in), and
// "<name> yyyy-MM-dd HH.mm.mp4" with the recording's display name, or its
// folder name without extension when it has none (a native folder's ".09"
// seconds are not an extension: "2025-03-07 14.05.09" stays whole).

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "model/RecordingItem.h"

namespace vorpix::media {

inline constexpr const char* kExportsFolderName = "Vorpix Exports";

// `movies` / "Vorpix Exports", created with its parents when missing; a
// failure to create it is ignored (the export then fails when writing).
std::filesystem::path exportsFolder(const std::filesystem::path& movies);

// The name the recording is exported under at local time `now`.
std::string exportFileName(const std::optional<std::string>& displayName, const std::filesystem::path& folder,
                           std::chrono::system_clock::time_point now);
inline std::string exportFileName(const model::RecordingItem& item,
                                  std::chrono::system_clock::time_point now) {
    return exportFileName(item.displayName, item.folder, now);
}

}  // namespace vorpix::media
