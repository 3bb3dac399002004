#pragma once

// The journal of a take in progress, "take.journal" beside "raw.mov": the
// take's facts, the host time of its first frame, and every pointer sample
// and click, appended as text lines and flushed to disk (with the movie)
// at least every 0.5 s by its own thread "tavorin.journal". If the process
// dies mid-take, recoverTake() (TakeRecovery.h) turns the folder into a
// normal recording from this file and the movie's real length.
//
//   vorpix-take 1
//   size <pixel width> <pixel height> <scale factor>
//   first <host seconds of the first frame>
//   s <host seconds> <x> <y>
//   c <host seconds> <x> <y> <button>
//
// A line cut short by a crash (no line break) is ignored on reading.

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture/InputTracker.h"
#include "model/Result.h"

namespace vorpix::capture {

inline constexpr const char* kJournalFileName = "take.journal";

struct TakeFacts {
    std::int64_t pixelWidth = 0;
    std::int64_t pixelHeight = 0;
    double scaleFactor = 1.0;
};

struct JournalContents {
    TakeFacts facts;
    std::optional<double> firstPTS;  // host seconds
    TrackedInput input;              // host-clock times
};

class TakeJournal {
public:
    // Creates the journal in `folder` with the facts, on disk before it
    // returns; `movie` is flushed along with it from then on.
    static Result<std::unique_ptr<TakeJournal>> create(const std::filesystem::path& folder, const TakeFacts& facts,
                                                       const std::filesystem::path& movie);
    // Writes out what is pending and stops the thread; the file stays.
    ~TakeJournal();
    TakeJournal(const TakeJournal&) = delete;
    TakeJournal& operator=(const TakeJournal&) = delete;

    // Thread-safe; cheap (the text is only queued).
    void firstFrame(double hostTime);
    void sample(const model::MouseSample& s);
    void click(const model::ClickEvent& c);

    // Writes and flushes what is pending now (the thread does it every 0.25 s).
    void flush();
    // The take was saved: stop and delete the file.
    void remove();

private:
    TakeJournal() = default;
    void run();
    void append(std::string line);

    std::filesystem::path path_;
    std::filesystem::path movie_;
    int fd_ = -1;
    int movieFd_ = -1;  // opened once the movie exists

    std::mutex mutex_;
    std::condition_variable wake_;
    // guarded by mutex_
    std::string pending_;
    bool stopping_ = false;
    bool failed_ = false;  // a write failed (full disk): nothing more is written

    std::mutex writeMutex_;  // one flush at a time
    std::thread thread_;
};

// Reads a journal; fails when the file is missing or its first line is not
// a journal's.
Result<JournalContents> readJournal(const std::filesystem::path& folder);

}  // namespace vorpix::capture
