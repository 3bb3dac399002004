#pragma once

// The application folder: the folder that holds bin/vorpix, laid out by
// `cmake --install` and shipped inside the update package.

#include <filesystem>
#include <optional>

namespace vorpix::update {

// Relative path of the program inside an application folder.
inline constexpr const char* kProgramPath = "bin/vorpix";

// Relative path of the marker file the packaging installs (unless configured
// with VORPIX_SELF_UPDATE=OFF) to say that the whole folder belongs to Vorpix
// and may be replaced by the updater. Distribution packages leave it out.
inline constexpr const char* kSelfUpdateMarkerPath = "share/vorpix/self-update";

// The application folder that holds `executable` ("<folder>/bin/vorpix" ->
// "<folder>"), resolving symbolic links; none when it is not in a "bin" folder.
std::optional<std::filesystem::path> appFolderOf(const std::filesystem::path& executable);

// The application folder inside an unpacked package: `folder` itself when it
// holds bin/vorpix as a regular file; otherwise its sub-folders in name order,
// searched depth first (symbolic links are not followed, at most 8 levels).
std::optional<std::filesystem::path> findApp(const std::filesystem::path& folder);

// True when the updater may replace `appFolder`: it carries the self-update
// marker, is not a system prefix (/, /usr, /usr/local, /opt), and both it and
// its parent folder are writable by this process. A folder installed by the
// system's package manager fails these and is updated by that manager.
bool isSelfUpdatable(const std::filesystem::path& appFolder);

}  // namespace vorpix::update
