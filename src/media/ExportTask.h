#pragma once

// One recording's export as one asynchronous session, the part of the
// editor's export that needs no editor: announce the recording in
// ActiveExports, build the composition, create the session and run it,
// passing on its progress (each whole percent, then 1.0; the movie replaces
// any file at the target only when complete, or takes a numbered name, as
// the settings say), and report how it ended: the failure itself (domain
// and code kept) with "Export failed: " and its description, or a quiet
// cancellation. The recording leaves ActiveExports however it ends.
//
// Threads: everything runs on "tavorin.export" (and the session's own
// decode and compositor threads); both observers are called there, and the
// caller re-posts to its own thread. cancel() and the destructor may be
// called from any thread, the observers included: a cancel wakes the
// session at once, before it has started too. The destructor cancels and
// waits.

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "media/ActiveExports.h"
#include "media/CompositionBuilder.h"
#include "media/ExportSession.h"

namespace vorpix::media {

inline constexpr const char* kExportFailedPrefix = "Export failed: ";

struct ExportReport {
    enum class Kind { completed, failed, cancelled };
    Kind kind = Kind::cancelled;
    std::filesystem::path url;  // completed: where the movie is
    std::string message;        // failed: "Export failed: " + description
    std::optional<Error> error;  // failed: what failed, domain and code as made
};

class ExportTask {
public:
    using ProgressObserver = std::function<void(double fraction)>;
    using FinishObserver = std::function<void(const ExportReport& report)>;

    // Inserts `recordingId` into `active` before returning, then starts.
    // `active` must outlive the task.
    ExportTask(ActiveExports& active, std::string recordingId, CompositionSources sources,
               std::filesystem::path url, ExportSettings settings, ProgressObserver onProgress,
               FinishObserver onFinish);
    ~ExportTask();
    ExportTask(const ExportTask&) = delete;
    ExportTask& operator=(const ExportTask&) = delete;

    void cancel();

private:
    void work();
    void finish(const ExportReport& report);

    ActiveExports& active_;
    const std::string recordingId_;
    CompositionSources sources_;
    const std::filesystem::path url_;
    const ExportSettings settings_;
    const ProgressObserver onProgress_;
    const FinishObserver onFinish_;

    std::mutex mutex_;
    // guarded by mutex_
    std::shared_ptr<ExportSession> session_;
    bool cancelled_ = false;

    std::thread worker_;
};

}  // namespace vorpix::media
