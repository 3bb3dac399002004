#include "media/ExportTask.h"

#include "media/ThreadName.h"

namespace vorpix::media {

namespace {

ExportReport failed(const Error& error) {
    return ExportReport{ExportReport::Kind::failed, {}, kExportFailedPrefix + error.message};
}

}  // namespace

ExportTask::ExportTask(ActiveExports& active, std::string recordingId, CompositionSources sources,
                       std::filesystem::path url, ExportSettings settings, ProgressObserver onProgress,
                       FinishObserver onFinish)
    : active_(active),
      recordingId_(std::move(recordingId)),
      sources_(std::move(sources)),
      url_(std::move(url)),
      settings_(std::move(settings)),
      onProgress_(std::move(onProgress)),
      onFinish_(std::move(onFinish)) {
    active_.insert(recordingId_);
    watcher_ = std::thread([this] { watch(); });
    worker_ = std::thread([this] { work(); });
}

ExportTask::~ExportTask() {
    cancel();
    worker_.join();
    watcher_.join();
}

void ExportTask::cancel() {
    std::shared_ptr<ExportSession> session;
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        session = session_;
    }
    if (session) session->cancel();
    changed_.notify_all();
}

void ExportTask::finish(const ExportReport& report) {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    changed_.notify_all();
    if (report.kind == ExportReport::Kind::completed && onProgress_) onProgress_(1.0);
    active_.remove(recordingId_);
    if (onFinish_) onFinish_(report);
}

void ExportTask::watch() {
    setCurrentThreadName("tavorin.progress");
    std::unique_lock lock(mutex_);
    while (!done_) {
        changed_.wait_for(lock, std::chrono::milliseconds(250));
        if (done_) break;
        if (session_ && session_->status() == ExportStatus::exporting && onProgress_) {
            const double fraction = session_->progress();
            lock.unlock();
            onProgress_(fraction);
            lock.lock();
        }
    }
}

void ExportTask::work() {
    setCurrentThreadName(kExportThreadName);
    auto composition = CompositionBuilder::build(sources_);
    if (!composition) return finish(failed(composition.error()));
    auto created = ExportSession::create(std::move(*composition), url_, settings_);
    if (!created) return finish(failed(created.error()));
    std::shared_ptr<ExportSession> session = std::move(*created);
    bool cancelled = false;
    {
        std::lock_guard lock(mutex_);
        cancelled = cancelled_;
        if (!cancelled) session_ = session;
    }
    if (cancelled) return finish(ExportReport{});
    // An existing file at url_ is replaced only by a complete movie.
    auto result = session->run();
    if (!result) return finish(failed(result.error()));
    if (*result == ExportEnd::cancelled) return finish(ExportReport{});
    finish(ExportReport{ExportReport::Kind::completed, session->output(), {}});
}

}  // namespace vorpix::media
