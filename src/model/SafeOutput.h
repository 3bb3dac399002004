#pragma once

// Writing a file the user sees (a movie, a PNG, a document) so that it is
// never lost and never half-written. The bytes go to a unique hidden
// temporary beside the target, ".<name>.<pid>-<random>.part", which is
// renamed over the target only when complete (the file and then the folder
// flushed to disk). Until then the old target stays byte-identical; a
// failed, cancelled or abandoned write removes its temporary, and so does a
// SIGINT, SIGTERM or SIGHUP once removeTemporariesOnSignals() has run.
// Temporaries that killed processes left are removed by the next write into
// the same folder. Two writers of one target never share a temporary: the
// last to commit wins.
//
// Thread safety: one SafeOutput per thread; the static functions from any
// thread.

#include <filesystem>
#include <string_view>

#include "model/Result.h"

namespace vorpix::model {

// What commit() does when the target exists.
enum class OnExisting {
    replace,  // the new file takes the target's place
    number,   // the first free of "<stem><ext>", "<stem> 2<ext>", "<stem> 3<ext>", ...
};

class SafeOutput {
public:
    // Checks the target (checkOutputFile), removes dead processes'
    // temporaries from its folder and creates a fresh temporary. Errors are
    // in domain "file" with the errno as code.
    static Result<SafeOutput> create(const std::filesystem::path& target);

    SafeOutput(SafeOutput&& other) noexcept;
    SafeOutput& operator=(SafeOutput&&) = delete;
    // Discards the temporary unless it was committed.
    ~SafeOutput();

    const std::filesystem::path& target() const { return target_; }
    // Where the bytes go, for writers that open the file themselves (FFmpeg).
    const std::filesystem::path& temporary() const { return temporary_; }

    // Appends to the temporary.
    Result<void> write(std::string_view bytes);

    // Flushes the temporary and renames it to the target, then flushes the
    // folder. Returns where the file now is (another name only with
    // OnExisting::number). On failure the temporary is removed and nothing
    // else changes.
    Result<std::filesystem::path> commit(OnExisting existing = OnExisting::replace);

    // Removes the temporary now; nothing else changes.
    void discard();

    // Installs handlers for SIGINT, SIGTERM and SIGHUP that remove every
    // live temporary and then end the process as the signal would have (a
    // signal the process inherited as ignored stays ignored), and ignores
    // SIGXFSZ, so that a file-size limit is an ordinary write error (EFBIG).
    // For the executable's main(), once, before any thread starts.
    static void removeTemporariesOnSignals();

    // Removes the temporaries in `folder` whose process is no longer alive.
    static void removeStaleTemporaries(const std::filesystem::path& folder);

private:
    SafeOutput(std::filesystem::path target, std::filesystem::path temporary, int fd, int slot);

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    int slot_ = -1;  // in the registry of live temporaries; -1 when it holds none
    bool live_ = false;
};

}  // namespace vorpix::model
