#pragma once

// Private working folders for the updater.

#include <filesystem>
#include <string>

#include "model/Result.h"

namespace vorpix::update {

// Creates a new folder "<parent>/<prefix>XXXXXX" with mkdtemp: a name nobody
// else chose, readable only by this user (0700). Errors: domain "update",
// code errc::kFiles.
Result<std::filesystem::path> makePrivateDir(const std::filesystem::path& parent, const std::string& prefix);

// Removes `path` and everything below it; failures are ignored (used for
// clean-up only).
void removeTreeQuietly(const std::filesystem::path& path);

}  // namespace vorpix::update
