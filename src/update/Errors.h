#pragma once

// Codes of errors in domain "update" (vorpix::domain::kUpdate).

namespace vorpix::update::errc {
inline constexpr int kUnpack = 1;         // the package could not be unpacked
inline constexpr int kNoApp = 2;          // "No app in the package."
inline constexpr int kChecksum = 3;       // SHA-256 or signature does not match the download
inline constexpr int kUnsafeArchive = 4;  // an entry would land outside the unpack folder, or is absurd
inline constexpr int kNewVersionBroken =
    5;                                // the unpacked bin/vorpix does not run or reports another version
inline constexpr int kFiles = 6;      // creating, copying or writing files failed
inline constexpr int kInstaller = 7;  // the installer script could not be started
inline constexpr int kSigning = 8;    // key or signature handling (release tool)
inline constexpr int kDownload = 9;   // the download failed
}  // namespace vorpix::update::errc
