#include "media/ExportTask.h"

#include "media/ThreadName.h"

namespace vorpix::media {

namespace {

ExportReport failed(const Error& error) {
    return ExportReport{ExportReport::Kind::failed, {}, kExportFailedPrefix + error.message, error};
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
    worker_ = std::thread([this] { work(); });
}

ExportTask::~ExportTask() {
    cancel();
    worker_.join();
}

void ExportTask::cancel() {
    std::shared_ptr<ExportSession> session;
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        session = session_;
    }
    if (session) session->cancel();
}

void ExportTask::finish(const ExportReport& report) {
    {
        std::lock_guard lock(mutex_);
        session_.reset();
    }
    active_.remove(recordingId_);
    if (onFinish_) onFinish_(report);
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
    auto result = session->run(onProgress_);
    if (!result) return finish(failed(result.error()));
    if (*result == ExportEnd::cancelled) return finish(ExportReport{});
    finish(ExportReport{ExportReport::Kind::completed, session->output(), {}, std::nullopt});
}

}  // namespace vorpix::media
