#pragma once

// Codes of errors in domain "import". Code 1 is the model's ("this build
// cannot open Screen Studio packages"); the importer's own start at 2.

namespace vorpix::import::import_code {
inline constexpr int kPackageNotFound = 2;    // the package folder does not exist
inline constexpr int kMetadataMissing = 3;    // "recording/metadata.json" unreadable or not an object
inline constexpr int kSyntax = 4;             // a JSON file of the package is not JSON
inline constexpr int kNoScreenRecording = 5;  // no display recorder or no session
inline constexpr int kNoVideoFile = 6;        // media missing or incomplete (online-only)
inline constexpr int kOutsidePackage = 7;     // a reference leads outside the package
}  // namespace vorpix::import::import_code
