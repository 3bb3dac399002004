#pragma once

// Files a recording names in its documents (the webcam movie and extra audio
// of "events.json", the audio clips of "project.json") and files a Screen
// Studio package names: each must lie inside its folder. A reference that is
// absolute, holds "..", or leads through a symbolic link out of the folder is
// not followed.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "model/Project.h"
#include "model/Result.h"
#include "model/SessionEvents.h"

namespace vorpix::model {

// Whether `reference` cannot leave its folder by its text alone: not empty,
// relative, no ".." part, no NUL.
bool staysInsideLexically(std::string_view reference);

// `folder / reference` when it lies inside `folder` with symbolic links
// resolved on both sides; fails (domain "file", EACCES) with one line naming
// the reference otherwise. A file that does not exist is not an error
// here: the read or stat that follows fails.
Result<std::filesystem::path> resolveInside(const std::filesystem::path& folder, std::string_view reference);

// One line for each reference of `events` and `project` that leaves `folder`
// and is therefore ignored.
std::vector<std::string> referencesOutside(const std::filesystem::path& folder, const SessionEvents& events,
                                           const Project& project);

}  // namespace vorpix::model
