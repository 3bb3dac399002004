#pragma once

// Whole-file reads and crash-safe whole-file writes.

#include <filesystem>
#include <string>
#include <string_view>

#include "model/Result.h"

namespace vorpix::model {

// Reads the whole file. Errors are in domain "file" with the errno as code.
Result<std::string> readWholeFile(const std::filesystem::path& path);

// Replaces `path` with `contents` so that the file is always either the old
// or the new version, through a SafeOutput: a unique hidden temporary file
// in the same folder, flushed, renamed over `path`, the folder flushed. On
// failure (full disk, missing folder, ...) the temporary file is removed and
// `path` is untouched.
Result<void> writeFileAtomically(const std::filesystem::path& path, std::string_view contents);

}  // namespace vorpix::model
