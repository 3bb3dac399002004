#pragma once

// Unpacks a zip package with libarchive into a folder, refusing anything that
// could write outside that folder or exhaust the disk. The package is already
// signature-checked when this runs; these checks are a second wall.

#include <cstdint>
#include <filesystem>

#include "model/Result.h"

namespace vorpix::update {

struct UnzipLimits {
    std::int64_t maxEntryBytes = std::int64_t{1} << 30;  // one file, declared or written
    std::int64_t maxTotalBytes = std::int64_t{2} << 30;  // all files together
    std::int64_t maxEntries = 100000;
};

// Extracts `zip` into `folder` (which must exist and should be empty). Refused,
// as a whole: absolute paths, ".." components, hard links, symbolic links whose
// target is absolute or has a ".." component, device files, FIFOs and sockets,
// entries or totals beyond `limits`, and anything libarchive cannot read.
// Permissions are reduced to rwxr-xr-x (no set-id bits). On failure the folder
// may hold part of the package; the caller removes it.
// Errors: domain "update", code errc::kUnsafeArchive for a refused entry,
// errc::kUnpack for an unreadable package; one-line message.
Result<void> safeUnzip(const std::filesystem::path& zip, const std::filesystem::path& folder,
                       const UnzipLimits& limits = {});

}  // namespace vorpix::update
