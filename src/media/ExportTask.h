#pragma once

// One recording's export as a task of its own, the part of the editor's
// export that needs no editor: announce the recording in ActiveExports,
// build the composition, create the session, export while a watcher
// reports progress every 0.25 s (the movie replaces any file at the target
// only when complete, or takes a numbered name, as the settings say), report
// how it ended ("Export failed: " and the failure's description, or a quiet
// cancellation). The recording leaves ActiveExports however it ends.
//
// Threads: the work runs on "tavorin.export", the watcher on
// "tavorin.progress"; both observers are called there (the caller re-posts
// to its own thread). cancel() and the destructor may be called from any
// thread; the destructor cancels and waits.

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
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
    void watch();
    void finish(const ExportReport& report);

    ActiveExports& active_;
    const std::string recordingId_;
    CompositionSources sources_;
    const std::filesystem::path url_;
    const ExportSettings settings_;
    const ProgressObserver onProgress_;
    const FinishObserver onFinish_;

    std::mutex mutex_;
    std::condition_variable changed_;
    // guarded by mutex_
    std::shared_ptr<ExportSession> session_;
    bool cancelled_ = false;
    bool done_ = false;

    std::thread watcher_;
    std::thread worker_;
};

}  // namespace vorpix::media
