// The export of a whole recording folder through the real renderer: the
// editor's inputs, ActiveExports, progress, the "Export failed: " message,
// output naming.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <numbers>

#include "Probe.h"
#include "support/TempFolder.h"
#include "TestMedia.h"
#include "media/ExportNaming.h"
#include "media/ExportTask.h"
#include "media/PixelConversion.h"
#include "media/RecordingExport.h"
#include "media/VideoReader.h"
#include "model/Project.h"
#include "model/RecordingItem.h"
#include "model/SessionEvents.h"
#include "render/FrameRenderer.h"

namespace vorpix::media {
namespace {

// Waits for a task's end.
class Outcome {
public:
    ExportTask::FinishObserver observer() {
        return [this](const ExportReport& r) {
            std::lock_guard lock(mutex_);
            report_ = r;
            done_ = true;
            changed_.notify_all();
        };
    }
    ExportReport wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return done_; });
        return report_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    // guarded by mutex_
    bool done_ = false;
    ExportReport report_;
};

class ExportTaskTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new testing::TempFolder();
        recording_ = folder_->path() / "2026-03-03 14.05.09";
        std::filesystem::create_directories(recording_);
        testing::TestMovieRecipe screen;
        screen.fps = 30;
        screen.frames = 90;
        screen.audioSeconds = 3;
        ASSERT_TRUE(testing::writeTestMovie(recording_ / "raw.mov", screen));
        testing::TestMovieRecipe webcam;
        webcam.width = 160;
        webcam.height = 90;
        webcam.frames = 60;
        webcam.paint = [](AVFrame& f, int) { testing::paintFlat(f, 200); };
        ASSERT_TRUE(testing::writeTestMovie(recording_ / "webcam.mov", webcam));
        testing::TestMovieRecipe music;
        music.frames = 0;
        music.container = "wav";
        music.audioCodec = "pcm_s16le";
        music.audioSeconds = 1;
        ASSERT_TRUE(testing::writeTestMovie(recording_ / "audio-1-music.wav", music));

        model::SessionEvents events;
        events.pixelWidth = 320;
        events.pixelHeight = 200;
        events.duration = 3;
        for (int i = 0; i <= 360; ++i) {
            const double t = i / 120.0;
            events.samples.push_back({t, 40 + 80 * t, 50 + 30 * std::sin(t)});
        }
        events.clicks = {{1.0, 120, 80, 0}};
        events.webcamOffset = 0.5;
        events.webcamFile = "webcam.mov";
        ASSERT_TRUE(model::writeSessionEvents(recording_, events));
        events_ = new model::SessionEvents(events);
    }
    static void TearDownTestSuite() {
        delete events_;
        delete folder_;
    }

    static model::RecordingItem item() {
        auto read = model::itemFor(recording_);
        EXPECT_TRUE(read);
        return *read;
    }

    static testing::TempFolder* folder_;
    static std::filesystem::path recording_;
    static model::SessionEvents* events_;
};

testing::TempFolder* ExportTaskTest::folder_ = nullptr;
std::filesystem::path ExportTaskTest::recording_;
model::SessionEvents* ExportTaskTest::events_ = nullptr;

TEST_F(ExportTaskTest, TheEditorsInputsFollowTheDocument) {
    model::Project project;
    project.trimStart = 0.5;
    project.trimEnd = 2.8;
    project.removedRanges = {model::TimeRange{model::Uuid::random(), 1.2, 1.6}};
    project.micVolume = 3.0;
    project.musicVolume = 0.5;
    project.clips = {
        model::AudioClip{model::Uuid::random(), "audio-1-music.wav", model::AudioClipKind::music, 1.0, 1.5},
        model::AudioClip{model::Uuid::random(), "audio-1-music.wav", model::AudioClipKind::music, 1.4, 1},
        model::AudioClip{model::Uuid::random(), "gone.wav", model::AudioClipKind::music, 1.0, 1}};
    const auto sources = exportSources(item(), *events_, project, model::ExportPreset::square);
    EXPECT_EQ(sources.screen, recording_ / "raw.mov");
    ASSERT_TRUE(sources.webcam);
    EXPECT_EQ(sources.webcamOffset, 0.5);
    EXPECT_EQ(sources.audioVolume, 2.0f);  // clamped
    ASSERT_EQ(sources.slices.size(), 2u);
    EXPECT_NEAR(sources.slices[0].sourceStart, 0.5, 1e-9);
    EXPECT_NEAR(sources.slices[1].sourceStart, 1.6, 1e-9);
    // The first clip starts in kept time, at output 0.5 s; the second in the
    // cut, so it plays from the cut's end (output 0.7 s), 0.2 s into its file.
    ASSERT_EQ(sources.timedAudio.size(), 2u);
    EXPECT_NEAR(sources.timedAudio[0].start, 0.5, 1e-9);
    EXPECT_EQ(sources.timedAudio[0].offset, 0);
    EXPECT_FLOAT_EQ(sources.timedAudio[0].volume, 0.75f);
    EXPECT_NEAR(sources.timedAudio[1].start, 0.7, 1e-9);
    EXPECT_NEAR(sources.timedAudio[1].offset, 0.2, 1e-9);
    EXPECT_EQ(sources.renderer->canvasSize(), (Size{1080, 1080}));

    project.style.webcamEnabled = false;
    EXPECT_FALSE(exportSources(item(), *events_, project, model::ExportPreset::source).webcam);
}

TEST(ExportPresets, NamedPresetsDrawTheirOwnSizeFromAnyCapture) {
    using enum model::ExportPreset;
    // Odd, tiny, huge (8K) and portrait captures.
    for (const Size capture : {Size{1367, 769}, Size{64, 48}, Size{7680, 4320}, Size{1170, 2532}}) {
        EXPECT_EQ(canvasFor(source, capture), capture);
        const std::pair<model::ExportPreset, Size> presets[] = {
            {youtube1080, {1920, 1080}}, {socialPortrait, {1080, 1920}}, {square, {1080, 1080}}};
        for (const auto& [preset, size] : presets) {
            SCOPED_TRACE(std::to_string(capture.width) + " x " + std::to_string(capture.height) + " at " +
                         std::string(model::toString(preset)));
            EXPECT_EQ(canvasFor(preset, capture), size);
            const render::FrameRenderer r(capture, model::StyleSettings{}, {}, {}, {}, false, size);
            EXPECT_EQ(r.outputWidth(), static_cast<int>(size.width));
            EXPECT_EQ(r.outputHeight(), static_cast<int>(size.height));
            // The whole screen inside the canvas, its shape kept.
            const Rect screen = r.screenRect();
            EXPECT_GE(screen.x, 0);
            EXPECT_GE(screen.y, 0);
            EXPECT_LE(screen.maxX(), size.width);
            EXPECT_LE(screen.maxY(), size.height);
            EXPECT_NEAR(screen.width / screen.height, capture.width / capture.height, 1e-9);
        }
    }
}

TEST_F(ExportTaskTest, ExportsThroughTheRendererAndLeavesActiveExports) {
    std::vector<std::set<std::string>> seen;
    std::mutex seenMutex;
    ActiveExports active([&](const std::set<std::string>& ids) {
        std::lock_guard lock(seenMutex);
        seen.push_back(ids);
    });
    model::Project project;
    project.trimEnd = 1.6;  // 1 s of 1080 x 1080 frames is enough
    project.removedRanges = {model::TimeRange{model::Uuid::random(), 0.5, 1.1}};
    const auto url = folder_->path() / exportFileName(item(), std::chrono::system_clock::now());
    std::atomic<int> progressCalls{0};
    Outcome outcome;
    {
        ExportTask task(
            active, item().id, exportSources(item(), *events_, project, model::ExportPreset::square), url,
            ExportSettings{}, [&](double) { ++progressCalls; }, outcome.observer());
        EXPECT_TRUE(active.contains("2026-03-03 14.05.09"));
        const ExportReport report = outcome.wait();
        ASSERT_EQ(report.kind, ExportReport::Kind::completed) << report.message;
        EXPECT_EQ(report.url, url);
    }
    EXPECT_FALSE(active.contains("2026-03-03 14.05.09"));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::set<std::string>{"2026-03-03 14.05.09"});
    EXPECT_TRUE(seen[1].empty());
    EXPECT_GE(progressCalls.load(), 1);  // at least the final 1.0

    const auto probe = testing::ffprobe(url);
    const auto video = testing::streamOf(probe, "video");
    EXPECT_EQ(video["width"], 1080);  // square, drawn at its own size from a 320 x 200 capture
    EXPECT_EQ(video["height"], 1080);
    EXPECT_EQ(video["avg_frame_rate"], "30/1");
    EXPECT_NEAR(std::stod(video["duration"].get<std::string>()), 1.0, 1.0 / 30 + 1e-6);
    EXPECT_FALSE(testing::streamOf(probe, "audio").is_null());

    // What the first frame looks like: the midnight gradient's first colour
    // in the top-left corner, the (black) first screen frame in the middle.
    auto reader = VideoReader::open(url);
    ASSERT_TRUE(reader);
    auto first = (*reader)->frameAt(kZeroTime);
    ASSERT_TRUE(first);
    FrameConverter converter;
    auto bgra = converter.convert((*first)->av(), AV_PIX_FMT_BGRA, 1080, 1080);
    ASSERT_TRUE(bgra);
    const std::uint8_t* corner = (*bgra)->data[0] + 2 * (*bgra)->linesize[0] + 4 * 2;
    EXPECT_NEAR(corner[2], 0.10 * 255, 8);
    EXPECT_NEAR(corner[1], 0.12 * 255, 8);
    EXPECT_NEAR(corner[0], 0.25 * 255, 8);
    const std::uint8_t* centre = (*bgra)->data[0] + 540 * (*bgra)->linesize[0] + 4 * 540;
    EXPECT_LE(centre[0] + centre[1] + centre[2], 3 * 12);
}

TEST_F(ExportTaskTest, FailuresAreReportedWithThePrefix) {
    ActiveExports active;
    CompositionSources sources;
    sources.screen = recording_ / "missing.mov";
    Outcome outcome;
    {
        ExportTask task(active, "x", sources, folder_->path() / "never.mp4", ExportSettings{}, {},
                        outcome.observer());
        const auto report = outcome.wait();
        EXPECT_EQ(report.kind, ExportReport::Kind::failed);
        EXPECT_EQ(report.message, "Export failed: Could not open missing.mov: No such file or directory");
        EXPECT_EQ(report.error,
                  (Error{kFFmpegDomain, AVERROR(ENOENT), "Could not open missing.mov: No such file or directory"}));
    }
    EXPECT_TRUE(active.ids().empty());

    sources.screen = recording_ / "raw.mov";  // no renderer: no session
    Outcome second;
    ExportTask task(active, "y", sources, folder_->path() / "never.mp4", ExportSettings{}, {},
                    second.observer());
    const auto report = second.wait();
    EXPECT_EQ(report.message, "Export failed: Could not create the export session.");
    EXPECT_EQ(report.error, (Error{domain::kTavorin, kExportSessionCode, kExportSessionMessage}));
}

TEST_F(ExportTaskTest, CancellingIsQuietAndRemovesTheId) {
    ActiveExports active;
    Outcome outcome;
    const auto url = folder_->path() / "cancel.mp4";
    {
        ExportTask task(active, "z", exportSources(item(), *events_, {}, model::ExportPreset::source), url,
                        ExportSettings{}, {}, outcome.observer());
        task.cancel();
        const auto report = outcome.wait();
        EXPECT_EQ(report.kind, ExportReport::Kind::cancelled);
        EXPECT_TRUE(report.message.empty());
    }
    EXPECT_FALSE(active.contains("z"));
    EXPECT_FALSE(std::filesystem::exists(url));
}

TEST(ActiveExports, InsertAndRemoveNotifyOnlyOnChange) {
    int notifications = 0;
    ActiveExports active([&](const std::set<std::string>&) { ++notifications; });
    EXPECT_TRUE(active.insert("a"));
    EXPECT_FALSE(active.insert("a"));
    EXPECT_TRUE(active.insert("b"));
    EXPECT_FALSE(active.remove("c"));
    EXPECT_TRUE(active.remove("a"));
    EXPECT_EQ(active.ids(), std::set<std::string>{"b"});
    EXPECT_EQ(notifications, 3);
}

TEST(ExportNaming, NamesFoldersAndDates) {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 3;
    local.tm_hour = 14;
    local.tm_min = 5;
    local.tm_sec = 59;
    local.tm_isdst = -1;
    const auto when = std::chrono::system_clock::from_time_t(std::mktime(&local));
    struct Case {
        std::optional<std::string> displayName;
        const char* folder;
        const char* expected;
    };
    const Case cases[] = {
        {"Demo", "/x/2025-01-01 10.00.00", "Demo 2026-03-03 14.05.mp4"},
        {"", "/x/2025-01-01 10.00.00", "2025-01-01 10.00.00 2026-03-03 14.05.mp4"},
        {std::nullopt, "/x/Talk.screenstudio", "Talk 2026-03-03 14.05.mp4"},
        {std::nullopt, "/x/Talk.screenstudio/", "Talk 2026-03-03 14.05.mp4"},
    };
    for (const Case& c : cases) EXPECT_EQ(exportFileName(c.displayName, c.folder, when), c.expected);

    testing::TempFolder movies;
    const auto folder = exportsFolder(movies / "deep" / "Movies");
    EXPECT_EQ(folder, movies / "deep" / "Movies" / "Vorpix Exports");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

}  // namespace
}  // namespace vorpix::media
