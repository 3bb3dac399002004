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
// or the new version: the bytes go to a hidden temporary file in the same
// folder, are flushed to disk, renamed over `path`, and the folder is
// flushed. On failure (full disk, missing folder, ...) the temporary file is
// removed and `path` is untouched. Stale temporary files of earlier, killed
// writes of the same file are removed first.
Result<void> writeFileAtomically(const std::filesystem::path& path, std::string_view contents);

// The prefix of the temporary files written for `path` (".<name>.tmp-").
std::string temporaryPrefixFor(const std::filesystem::path& path);

}  // namespace vorpix::model
