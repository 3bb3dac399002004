// The compositor's request handling with a fake renderer: order, the code-1
// error, webcam lookup, render contexts, cancellation with its queued reset,
// and the thread it runs on.

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "media/StudioCompositor.h"

namespace vorpix::media {
namespace {

// A source frame whose first byte is its number.
VideoFramePtr numberedFrame(int number) {
    FramePtr frame = makeFrame();
    frame->format = AV_PIX_FMT_BGRA;
    frame->width = 4;
    frame->height = 4;
    EXPECT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
    frame->data[0][0] = static_cast<std::uint8_t>(number);
    return VideoFrame::take(*frame, MediaTime{number});
}

// Writes the screen number, the webcam number (or 255) and the time in
// milliseconds into the first pixel; can be held at its next frame.
class FakeRenderer : public CompositionRenderer {
public:
    Size canvasSize() const override { return {8, 6}; }
    void render(const VideoFrame& screen, const VideoFrame* webcam, double seconds,
                AVFrame& output) const override {
        {
            std::unique_lock lock(mutex_);
            char name[32] = {};
            pthread_getname_np(pthread_self(), name, sizeof name);
            threadName_ = name;
            entered_ = true;
            entry_.notify_all();
            release_.wait(lock, [this] { return !hold_; });
        }
        output.data[0][0] = screen.av().data[0][0];
        output.data[0][1] = webcam != nullptr ? webcam->av().data[0][0] : 255;
        output.data[0][2] = static_cast<std::uint8_t>(seconds * 1000);
    }
    void hold() {
        std::lock_guard lock(mutex_);
        hold_ = true;
        entered_ = false;
    }
    void waitUntilEntered() {
        std::unique_lock lock(mutex_);
        entry_.wait(lock, [this] { return entered_; });
    }
    void release() {
        {
            std::lock_guard lock(mutex_);
            hold_ = false;
        }
        release_.notify_all();
    }
    std::string threadName() const {
        std::lock_guard lock(mutex_);
        return threadName_;
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable entry_;
    mutable std::condition_variable release_;
    // guarded by mutex_
    mutable bool hold_ = false;
    mutable bool entered_ = false;
    mutable std::string threadName_;
};

class NoBuffers : public RenderContext {
public:
    NoBuffers() : RenderContext(8, 6, AV_PIX_FMT_RGBA) {}
    FramePtr newPixelBuffer() const override { return nullptr; }
};

// Collects results in completion order.
class Results {
public:
    std::function<void(FrameResult)> sink() {
        return [this](FrameResult r) {
            std::lock_guard lock(mutex_);
            results_.push_back(std::move(r));
            changed_.notify_all();
        };
    }
    std::vector<FrameResult> waitFor(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return results_.size() >= count; });
        return std::move(results_);
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    // guarded by mutex_
    std::vector<FrameResult> results_;
};

class CompositorTest : public ::testing::Test {
protected:
    CompositorTest() {
        renderer_ = std::make_shared<FakeRenderer>();
        auto instruction = std::make_shared<StudioCompositionInstruction>();
        instruction->renderer = renderer_;
        instruction->screenTrackID = 1;
        instruction->webcamTrackID = 3;
        instruction->requiredSourceTrackIDs = {1, 3};
        instruction_ = instruction;
        context_ = std::make_shared<RenderContext>(8, 6, AV_PIX_FMT_RGBA);
    }

    FrameRequest request(int screen, double seconds, std::optional<int> webcam = std::nullopt) {
        FrameRequest r;
        r.instruction = instruction_;
        r.compositionTime = MediaTime::fromSeconds(seconds);
        if (screen >= 0) r.sourceFrames.emplace_back(1, numberedFrame(screen));
        if (webcam) r.sourceFrames.emplace_back(3, numberedFrame(*webcam));
        r.renderContext = context_;
        r.finish = results_.sink();
        return r;
    }

    std::shared_ptr<FakeRenderer> renderer_;
    std::shared_ptr<const StudioCompositionInstruction> instruction_;
    std::shared_ptr<const RenderContext> context_;
    Results results_;
};

TEST_F(CompositorTest, ComposesInOrderOnTheCompositorThread) {
    StudioCompositor compositor;
    for (int i = 0; i < 5; ++i) compositor.startRequest(request(10 + i, i * 0.01, 40 + i));
    const auto results = results_.waitFor(5);
    ASSERT_EQ(results.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        const FrameResult& r = results[static_cast<std::size_t>(i)];
        ASSERT_EQ(r.outcome, FrameOutcome::composed);
        EXPECT_EQ(r.time, MediaTime::fromSeconds(i * 0.01));
        EXPECT_EQ(r.frame->data[0][0], 10 + i);
        EXPECT_EQ(r.frame->data[0][1], 40 + i);
        EXPECT_EQ(r.frame->data[0][2], i * 10);
        EXPECT_EQ(r.frame->width, 8);
        EXPECT_EQ(r.frame->format, AV_PIX_FMT_RGBA);
    }
    EXPECT_EQ(renderer_->threadName(), "tavorin.composi");  // Linux keeps 15 characters
}

TEST_F(CompositorTest, MissingScreenFrameIsCodeOneAndTheNextRequestRenders) {
    StudioCompositor compositor;
    compositor.startRequest(request(-1, 0.0));
    FrameRequest unknown = request(5, 0.1);
    unknown.instruction = nullptr;  // an instruction of another kind
    compositor.startRequest(std::move(unknown));
    compositor.startRequest(request(7, 0.2));
    const auto results = results_.waitFor(3);
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(results[static_cast<std::size_t>(i)].outcome, FrameOutcome::failed);
        const Error& e = *results[static_cast<std::size_t>(i)].error;
        EXPECT_EQ(e.domain, "tavorin");
        EXPECT_EQ(e.code, 1);
        EXPECT_EQ(e.message, "The compositor is missing a source frame or output buffer.");
    }
    ASSERT_EQ(results[2].outcome, FrameOutcome::composed);
    EXPECT_EQ(results[2].frame->data[0][0], 7);
}

TEST_F(CompositorTest, AMissingWebcamFrameOrTrackRendersWithoutWebcam) {
    StudioCompositor compositor;
    compositor.startRequest(request(1, 0, std::nullopt));  // webcam track, no frame now
    auto noTrack = std::make_shared<StudioCompositionInstruction>(*instruction_);
    noTrack->webcamTrackID.reset();
    FrameRequest r = request(2, 0, 9);  // a frame under id 3, but no webcam track
    r.instruction = noTrack;
    compositor.startRequest(std::move(r));
    const auto results = results_.waitFor(2);
    for (const auto& result : results) {
        ASSERT_EQ(result.outcome, FrameOutcome::composed);
        EXPECT_EQ(result.frame->data[0][1], 255);
    }
}

TEST_F(CompositorTest, OutputBuffersComeFromTheStoredContextElseTheRequests) {
    StudioCompositor compositor;
    compositor.startRequest(request(1, 0));  // nothing announced yet
    compositor.renderContextChanged(std::make_shared<RenderContext>(16, 12, AV_PIX_FMT_RGBA));
    compositor.startRequest(request(2, 0));
    compositor.renderContextChanged(std::make_shared<NoBuffers>());
    compositor.startRequest(request(3, 0));  // the stored context gives none
    FrameRequest none = request(4, 0);
    none.renderContext = std::make_shared<NoBuffers>();
    compositor.startRequest(std::move(none));  // neither gives one
    const auto results = results_.waitFor(4);
    EXPECT_EQ(results[0].frame->width, 8);
    EXPECT_EQ(results[1].frame->width, 16);
    EXPECT_EQ(results[2].frame->width, 8);
    ASSERT_EQ(results[3].outcome, FrameOutcome::failed);
    EXPECT_EQ(results[3].error->code, 1);
}

TEST_F(CompositorTest, CancelFinishesWhatWasQueuedAndServesWhatCameAfterTheReset) {
    StudioCompositor compositor;
    renderer_->hold();
    compositor.startRequest(request(1, 0));  // being rendered while we cancel
    renderer_->waitUntilEntered();
    for (int i = 2; i <= 5; ++i) compositor.startRequest(request(i, 0));
    compositor.cancelAllPendingVideoCompositionRequests();
    compositor.startRequest(request(6, 0));
    compositor.startRequest(request(7, 0));
    renderer_->release();
    const auto results = results_.waitFor(7);
    ASSERT_EQ(results.size(), 7u);
    EXPECT_EQ(results[0].outcome, FrameOutcome::composed);
    for (std::size_t i = 1; i <= 4; ++i) EXPECT_EQ(results[i].outcome, FrameOutcome::cancelled) << i;
    EXPECT_EQ(results[5].outcome, FrameOutcome::composed);
    EXPECT_EQ(results[5].frame->data[0][0], 6);
    EXPECT_EQ(results[6].outcome, FrameOutcome::composed);
}

TEST_F(CompositorTest, GoingAwayFinishesEveryQueuedRequestOnce) {
    std::atomic<int> finished{0};
    std::atomic<int> composed{0};
    {
        StudioCompositor compositor;
        for (int i = 0; i < 50; ++i) {
            FrameRequest r = request(i, 0);
            r.finish = [&](FrameResult result) {
                ++finished;
                if (result.outcome == FrameOutcome::composed) ++composed;
            };
            compositor.startRequest(std::move(r));
        }
    }
    // Whatever had not been rendered when the compositor went was cancelled;
    // no completion is lost or doubled.
    EXPECT_EQ(finished.load(), 50);
    EXPECT_LE(composed.load(), 50);
}

}  // namespace
}  // namespace vorpix::media
