#pragma once

// The recording library: native recording folders under the library folder
// (and the older library folder, read only) plus the Screen Studio packages
// found in their search folders. Stateless functions over folders passed in;
// the app layer resolves the platform's movies folder and the search folders
// and owns the published list. Every function touches only the file system
// and may run on a background thread.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "model/RecordingItem.h"

namespace vorpix::import {

// moviesFolder / "Vorpix": where new recordings go.
std::filesystem::path baseFolder(const std::filesystem::path& moviesFolder);

// moviesFolder / "Tavorin": listed, never written.
std::filesystem::path legacyFolder(const std::filesystem::path& moviesFolder);

// "yyyy-MM-dd HH.mm.ss" of `time` in the local time zone.
std::string sessionFolderName(std::chrono::system_clock::time_point time);

// baseFolder / sessionFolderName(now), created with its parents; a failure
// to create it is ignored (the recorder's first write then reports it).
std::filesystem::path newSessionFolder(const std::filesystem::path& baseFolder,
                                       std::chrono::system_clock::time_point now);

// Offered each folder that yields no item; returns true when it has made
// the folder a recording (the capture layer recovers a take that was cut
// short by a crash). Called on listing threads, several at once.
using FolderRepair = std::function<bool(const std::filesystem::path& folder)>;

// The items of the direct, non-hidden subfolders of `folder` (model::itemFor
// with the Screen Studio peek), in listing order. Folders that yield no item
// (after `repair`, when given) and a folder that cannot be listed are left
// out silently.
std::vector<model::RecordingItem> recordings(const std::filesystem::path& folder, const FolderRepair& repair = {});

// recordings(baseFolder), then those of recordings(legacyFolder) whose id is
// not already listed.
std::vector<model::RecordingItem> nativeRecordings(const std::filesystem::path& moviesFolder,
                                                   const FolderRepair& repair = {});

// The native recordings, then the lightweight item of every Screen Studio
// package in `screenStudioFolders` (in order; see screenStudioSearchFolders)
// whose id is new; the whole list stable-sorted newest first.
std::vector<model::RecordingItem> allRecordings(
    const std::filesystem::path& moviesFolder, const std::vector<std::filesystem::path>& screenStudioFolders,
    const FolderRepair& repair = {});

// Stable sort by createdAt, newest first: items with equal dates keep the
// order in which they were gathered.
void sortNewestFirst(std::vector<model::RecordingItem>& items);

// Removes a native recording's folder with everything in it; errors are
// ignored. A Screen Studio item is never removed from disk.
void deleteRecording(const model::RecordingItem& item);

// The "--bench-library" mode: times one allRecordings() and prints
// "library-bench items=N seconds=S.SSS" and "OK" to `out` (returns 0), or,
// past 2 s, "FAIL: library listing took S.SSSs (limit 2s)" to `err`
// (returns 1). The return value is the process exit status.
int runListingBench(std::ostream& out, std::ostream& err, const std::filesystem::path& moviesFolder,
                    const std::vector<std::filesystem::path>& screenStudioFolders);

// The report of runListingBench for a listing of `itemCount` items that took
// `seconds`; returns the exit status.
int reportListingBench(std::ostream& out, std::ostream& err, std::size_t itemCount, double seconds);

}  // namespace vorpix::import
