#include "media/StudioCompositor.h"

#include <future>

#include "media/FrameSource.h"
#include "media/ThreadName.h"

namespace vorpix::media {

namespace {

Error compositorError() {
    return makeError(domain::kTavorin, kCompositorErrorCode, kCompositorErrorMessage);
}

void finishCancelled(FrameRequest& request) {
    FrameResult result;
    result.outcome = FrameOutcome::cancelled;
    result.time = request.compositionTime;
    if (request.finish) request.finish(std::move(result));
}

}  // namespace

FramePtr RenderContext::newPixelBuffer() const {
    if (width_ <= 0 || height_ <= 0) return nullptr;
    auto frame = pool_.get(format_, width_, height_);
    return frame ? std::move(*frame) : nullptr;
}

VideoFramePtr FrameRequest::sourceFrame(TrackId id) const {
    for (const auto& [track, frame] : sourceFrames) {
        if (track == id) return frame;
    }
    return nullptr;
}

StudioCompositor::StudioCompositor() : thread_([this] { loop(); }) {}

StudioCompositor::~StudioCompositor() {
    {
        std::lock_guard lock(queueMutex_);
        stopping_ = true;
    }
    queueWake_.notify_all();
    thread_.join();
}

void StudioCompositor::enqueue(Work work) {
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(std::move(work));
    }
    queueWake_.notify_one();
}

std::size_t StudioCompositor::queuedCount() const {
    std::lock_guard lock(queueMutex_);
    return queue_.size();
}

void StudioCompositor::loop() {
    setCurrentThreadName(kCompositorThreadName);
    for (;;) {
        Work work;
        bool stopping = false;
        {
            std::unique_lock lock(queueMutex_);
            queueWake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;
            work = std::move(queue_.front());
            queue_.pop_front();
            stopping = stopping_;
        }
        work(stopping);
    }
}

void StudioCompositor::renderContextChanged(std::shared_ptr<const RenderContext> context) {
    std::promise<void> taken;
    auto done = taken.get_future();
    enqueue([this, context = std::move(context), &taken](bool) mutable {
        renderContext_ = std::move(context);
        taken.set_value();
    });
    done.wait();
}

void StudioCompositor::startRequest(FrameRequest request) {
    enqueue([this, request = std::move(request)](bool stopping) mutable {
        bool cancelled = stopping;
        if (!cancelled) {
            std::lock_guard lock(cancelMutex_);
            cancelled = shouldCancelAll_;
        }
        if (cancelled) {
            finishCancelled(request);
            return;
        }
        render(request);
    });
}

void StudioCompositor::cancelAllPendingVideoCompositionRequests() {
    {
        std::lock_guard lock(cancelMutex_);
        shouldCancelAll_ = true;
    }
    enqueue([this](bool) {
        std::lock_guard lock(cancelMutex_);
        shouldCancelAll_ = false;
    });
}

void StudioCompositor::render(FrameRequest& request) {
    FrameResult result;
    result.time = request.compositionTime;
    FramePtr output;
    if (renderContext_) output = renderContext_->newPixelBuffer();
    if (!output && request.renderContext) output = request.renderContext->newPixelBuffer();
    // The frame path every caller shares (FrameSource.h).
    Result<void> drawn = compositorError();
    if (request.instruction && output)
        drawn = composeFrame(*request.instruction, request.compositionTime, request.sourceFrames, *output);
    if (!drawn) {
        result.outcome = FrameOutcome::failed;
        result.error = drawn.error();
        if (request.finish) request.finish(std::move(result));
        return;
    }
    result.outcome = FrameOutcome::composed;
    result.frame = std::move(output);
    if (request.finish) request.finish(std::move(result));
}

}  // namespace vorpix::media
