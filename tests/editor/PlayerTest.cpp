// The preview player on a real composition (cuts, a sped-up stretch, zooms,
// a webcam): the frame it shows after an exact seek is, pixel for pixel, the
// frame path's picture for that time (what export and render-frame draw); playback reaches the
// end and pauses there.

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "support/TempFolder.h"
#include "../media/TestMedia.h"
#include "editor/Player.h"
#include "media/RecordingExport.h"
#include "media/FrameSource.h"
#include "model/RecordingItem.h"

namespace vorpix::testing {
namespace {

class CapturingSink : public editor::VideoSink {
public:
    void present(std::shared_ptr<const editor::PlayerFrame> frame) override {
        std::lock_guard lock(mutex);
        indices.push_back(frame->index);
        last = std::move(frame);
    }
    std::mutex mutex;
    std::shared_ptr<const editor::PlayerFrame> last;  // guarded by mutex
    std::vector<std::int64_t> indices;                // guarded by mutex
};

class PlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new TempFolder();
        TestMovieRecipe screen;
        screen.fps = 30;
        screen.frames = 120;
        screen.audioSeconds = 4;
        ASSERT_TRUE(writeTestMovie(folder_->path() / "raw.mov", screen));
        TestMovieRecipe webcam;
        webcam.width = 160;
        webcam.height = 90;
        webcam.frames = 120;
        ASSERT_TRUE(writeTestMovie(folder_->path() / "webcam.mov", webcam));
    }
    static void TearDownTestSuite() { delete folder_; }

    // Cut 1.0-1.5 s, the last 2 s of the movie at twice the speed, a zoom.
    static media::StudioComposition composition() {
        model::RecordingItem item;
        item.id = "rec";
        item.folder = folder_->path();
        model::SessionEvents events;
        events.pixelWidth = 320;
        events.pixelHeight = 200;
        events.duration = 3;
        events.slices = std::vector<model::TimelineSlice>{{0, 2, 1}, {2, 4, 2}};
        events.webcamFile = "webcam.mov";
        events.webcamOffset = 0.2;
        events.samples = {{0, 20, 20}, {3, 300, 180}};
        model::Project project;
        project.removedRanges = {{model::Uuid::random(), 1.0, 1.5}};
        model::ZoomSegment zoom;
        zoom.start = 0.2;
        zoom.end = 2.5;
        zoom.factor = 2;
        auto built = media::CompositionBuilder::build(
            media::exportSources(item, events, project, model::ExportPreset::source, std::vector{zoom}));
        EXPECT_TRUE(built);
        return *built;
    }

    static TempFolder* folder_;
};

TempFolder* PlayerTest::folder_ = nullptr;

TEST_F(PlayerTest, SeekShowsTheFrameTheExportPathRenders) {
    auto c = std::make_shared<const media::StudioComposition>(composition());
    CapturingSink sink;
    editor::Player player(sink, std::make_unique<editor::NullAudioOutput>());
    player.replaceItem(c);
    media::FrameSource path(*c);  // what export and render-frame draw
    // Forward, backward, across the cut and into the sped-up stretch.
    for (double t : {0.0, 2.2, 0.95, 1.02, 1.7, 0.5}) {
        SCOPED_TRACE(t);
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        player.seek(t, [&] {
            std::lock_guard lock(m);
            done = true;
            cv.notify_all();
        });
        {
            std::unique_lock lock(m);
            ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(20), [&] { return done; }));
        }
        EXPECT_NEAR(player.currentTime(), t, 1e-9);
        std::shared_ptr<const editor::PlayerFrame> shown;
        {
            std::lock_guard lock(sink.mutex);
            shown = sink.last;
        }
        const auto k = static_cast<std::int64_t>(std::floor(t * c->videoComposition.fps + 1e-6));
        ASSERT_EQ(shown->index, k);
        auto expected = path.frameAt(c->videoComposition.frameTime(k));
        ASSERT_TRUE(expected);
        const AVFrame& got = *shown->image;
        ASSERT_EQ(got.width, (*expected)->width);
        ASSERT_EQ(got.height, (*expected)->height);
        int differing = 0;
        for (int y = 0; y < got.height; ++y)
            differing += std::memcmp(got.data[0] + y * got.linesize[0], (*expected)->data[0] + y * (*expected)->linesize[0],
                                     static_cast<std::size_t>(got.width) * 4) != 0;
        EXPECT_EQ(differing, 0) << "rows differ";
    }
}

TEST_F(PlayerTest, PlaysInOrderToTheEndAndPausesThere) {
    auto c = std::make_shared<const media::StudioComposition>(composition());
    CapturingSink sink;
    editor::Player player(sink, std::make_unique<editor::NullAudioOutput>());
    player.replaceItem(c);
    player.seek(1.3, {});
    player.play();
    EXPECT_EQ(player.rate(), 1.0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (player.rate() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(player.rate(), 0.0);
    EXPECT_DOUBLE_EQ(player.currentTime(), player.duration());
    std::lock_guard lock(sink.mutex);
    EXPECT_TRUE(std::is_sorted(sink.indices.begin(), sink.indices.end()));
    EXPECT_EQ(sink.indices.back(), static_cast<std::int64_t>(std::ceil(player.duration() * 30 - 1e-6)) - 1);
    EXPECT_GT(player.stats().shown, 0);
}

}  // namespace
}  // namespace vorpix::testing
