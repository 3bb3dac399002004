#pragma once

// Where a user-visible file may be written, decided before any work starts.
// Errors are in domain "file" with an errno-like code and a one-line message
// that says why.

#include <filesystem>
#include <vector>

#include "model/Result.h"

namespace vorpix::model {

// The target must name a file: not empty (EINVAL), not a folder or a path
// ending in '/' (EISDIR), in a folder that exists (ENOENT, ENOTDIR).
Result<void> checkOutputFile(const std::filesystem::path& target);

// Movies and frames never go among a recording's files: the target must not
// be one of `protectedFiles` (the same file, however named), nor lie inside
// a recording folder (one holding events.json) or a Screen Studio package
// (EPERM). Includes checkOutputFile.
Result<void> checkOutputOutsideRecordings(const std::filesystem::path& target,
                                          const std::vector<std::filesystem::path>& protectedFiles);

}  // namespace vorpix::model
