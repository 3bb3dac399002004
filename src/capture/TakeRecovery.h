#pragma once

// Turns the folder of a take that was cut short (a crash, kill -9, power
// loss, a full disk) into a normal recording: "events.json" from the take's
// journal and the real length of what "raw.mov" holds. Such a folder is
// never deleted: when it cannot be recovered it stays as it is.

#include <filesystem>

#include "model/Result.h"
#include "model/SessionEvents.h"

namespace vorpix::capture {

// The video a movie really holds: the times (seconds, stream time) of its
// first and last intact frames, reading packets up to the first damaged one.
struct MovieExtent {
    double first = 0;
    double last = 0;
    std::int64_t frames = 0;
};
Result<MovieExtent> measureMovie(const std::filesystem::path& movie);

// True when `folder` holds a journal and no "events.json".
bool hasUnfinishedTake(const std::filesystem::path& folder);

// Writes "events.json" for an unfinished take and removes its journal.
// Fails with one line (nothing to recover, no playable video) and then
// changes nothing.
Result<model::SessionEvents> recoverTake(const std::filesystem::path& folder);

}  // namespace vorpix::capture
