// Export end to end on small generated recordings: A/V sync through cuts and
// speed changes, what ffprobe reports about the file, cancellation, failure,
// and that nothing is ever left at the target name unless it is complete.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <numbers>
#include <thread>

#include "FakeRenderers.h"
#include "Probe.h"
#include "support/TempFolder.h"
#include "TestMedia.h"
#include "media/AudioReader.h"
#include "media/ExportSession.h"
#include "media/FrameRendererAdapter.h"
#include "media/VideoReader.h"
#include "render/FrameRenderer.h"
#include "timeline/EditDerivation.h"

namespace vorpix::media {
namespace {

constexpr double kFlashes[] = {1.0, 2.5, 3.5, 4.5, 5.5};  // source seconds
constexpr int kFps = 60;

float beepAtFlashes(double t, int) {
    for (double f : kFlashes) {
        if (t >= f && t < f + 0.05)
            return static_cast<float>(0.7 * std::sin(2 * std::numbers::pi * 1000 * (t - f)));
    }
    return 0.0f;
}

void paintFlashes(AVFrame& frame, int index) {
    for (double f : kFlashes) {
        const int first = static_cast<int>(std::lround(f * kFps));
        if (index >= first && index < first + 4) {
            testing::paintFlat(frame, 235);
            return;
        }
    }
    testing::paintFlat(frame, 40);
}

class ExportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new testing::TempFolder();
        testing::TestMovieRecipe recipe;
        recipe.fps = kFps;
        recipe.frames = 6 * kFps;
        recipe.paint = paintFlashes;
        recipe.audioSeconds = 6;
        recipe.sound = beepAtFlashes;
        ASSERT_TRUE(testing::writeTestMovie(*folder_ / "raw.mov", recipe));
        recipe.audioSeconds = 0;
        recipe.frames = 2 * kFps;
        ASSERT_TRUE(testing::writeTestMovie(*folder_ / "silent.mov", recipe));
    }
    static void TearDownTestSuite() { delete folder_; }

    static StudioComposition compose(const std::string& screen, std::vector<model::TimelineSlice> slices,
                                     Size canvas = {320, 200}, bool frameRenderer = false) {
        CompositionSources sources;
        sources.screen = *folder_ / screen;
        sources.slices = std::move(slices);
        if (frameRenderer) {
            // The program's renderer, default style: the screen sits padded in
            // the middle of the canvas, where the flashes are measured.
            sources.renderer =
                std::make_shared<FrameRendererAdapter>(std::make_shared<const render::FrameRenderer>(
                    canvas, model::StyleSettings{}, std::vector<model::ZoomSegment>{},
                    std::vector<model::MouseSample>{}, std::vector<model::ClickEvent>{}, false));
        } else {
            sources.renderer = std::make_shared<testing::CopyRenderer>(canvas);
        }
        auto built = CompositionBuilder::build(sources);
        EXPECT_TRUE(built) << built.error().message;
        return *built;
    }

    // Hidden ".part" files in the folder: a write's temporaries.
    static int temporaries() {
        int n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder_->path()))
            n += entry.path().filename().string().ends_with(".part");
        return n;
    }
    static std::string slurp(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static Result<ExportEnd> exportTo(const StudioComposition& c, const std::filesystem::path& out) {
        auto session = ExportSession::create(c, out);
        if (!session) return session.error();
        return (*session)->run();
    }

    // Output times (s) of the first frame of every run of bright frames.
    static std::vector<double> flashTimes(const std::filesystem::path& file, double seconds) {
        std::vector<double> found;
        auto reader = VideoReader::open(file);
        EXPECT_TRUE(reader);
        if (!reader) return found;
        bool bright = false;
        for (int k = 0; k < static_cast<int>(seconds * kFps); ++k) {
            auto frame = (*reader)->frameAt(MediaTime::fromRational(k, kFps));
            EXPECT_TRUE(frame);
            if (!frame) break;
            const bool now = testing::centreLuma((*frame)->av()) > 128;
            if (now && !bright) found.push_back(static_cast<double>(k) / kFps);
            bright = now;
        }
        return found;
    }

    static std::vector<double> beepTimes(const std::filesystem::path& file) {
        std::vector<double> found;
        auto reader = AudioReader::open(file, 0, kMixFormat);
        EXPECT_TRUE(reader);
        if (!reader) return found;
        std::vector<float> block(2 * 4800);
        std::int64_t position = 0;
        std::int64_t quiet = 4800;
        for (;;) {
            auto got = (*reader)->read(block);
            if (!got || *got == 0) break;
            for (std::size_t i = 0; i < *got; ++i, ++position) {
                if (std::fabs(block[2 * i]) > 0.2f) {
                    if (quiet >= 2400) found.push_back(static_cast<double>(position) / 48000);
                    quiet = 0;
                } else {
                    ++quiet;
                }
            }
        }
        return found;
    }

    static testing::TempFolder* folder_;
};

testing::TempFolder* ExportTest::folder_ = nullptr;

class ExportSyncTest : public ExportTest, public ::testing::WithParamInterface<bool> {};

// With a renderer that writes RGBA (converted for the encoder) and with the
// program's FrameRenderer writing 4:2:0 itself.
INSTANTIATE_TEST_SUITE_P(Renderers, ExportSyncTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "FrameRenderer" : "Copy";
                         });

TEST_P(ExportSyncTest, FlashesAndBeepsStayTogetherThroughCutsAndSpeedChanges) {
    using Slices = std::vector<model::TimelineSlice>;
    const Slices cutAndFast{{0, 2, 1}, {3, 5, 2}, {5, 6, 1}};  // 2-3 s cut, 3-5 s at double speed
    const struct {
        const char* name;
        Slices keep;                 // the edit, source time
        std::optional<Slices> base;  // the movie's own slices (an imported recording)
        std::vector<double> flashes;  // output seconds; the flash at 2.5 is always cut
        double duration;
    } cases[] = {
        {"edit", cutAndFast, std::nullopt, {1.0, 2.25, 2.75, 3.5}, 4},
        // The movie's slices make 4 s of source time; the edit keeps 0.5-1.2
        // and 1.4-3.8 s of it, across both of the movie's slice boundaries.
        {"sliced", {{0.5, 1.2, 1}, {1.4, 3.8, 1}}, cutAndFast, {0.5, 1.55, 2.05, 2.8}, 3.1},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const auto c = compose("raw.mov", timeline::fileSlices(k.keep, k.base), {320, 200}, GetParam());
        const auto out = folder_->path() / (std::string(k.name) + (GetParam() ? "-renderer.mp4" : ".mp4"));
        auto result = exportTo(c, out);
        ASSERT_TRUE(result) << result.error().message;
        ASSERT_EQ(*result, ExportEnd::completed);

        const auto video = testing::streamOf(testing::ffprobe(out), "video");
        EXPECT_NEAR(std::stod(video["duration"].get<std::string>()), k.duration, 1.0 / kFps + 1e-6);
        const auto flashes = flashTimes(out, k.duration);
        const auto beeps = beepTimes(out);
        ASSERT_EQ(flashes.size(), k.flashes.size());
        ASSERT_EQ(beeps.size(), k.flashes.size());
        for (std::size_t i = 0; i < flashes.size(); ++i) {
            EXPECT_NEAR(flashes[i], k.flashes[i], 1.0 / kFps + 1e-6) << "flash " << i;
            EXPECT_NEAR(beeps[i], k.flashes[i], 1.0 / kFps) << "beep " << i;
            EXPECT_NEAR(beeps[i], flashes[i], 0.020) << "flash and beep " << i;
        }
    }
}

TEST_F(ExportTest, FfprobeSeesTheRightMovie) {
    const auto c = compose("raw.mov", {{0.5, 2.5, 1}, {3, 4, 0.5}}, {320, 240});
    const auto out = folder_->path() / "probe me.mp4";
    auto result = exportTo(c, out);
    ASSERT_TRUE(result) << result.error().message;

    const auto probe = testing::ffprobe(out);
    ASSERT_FALSE(probe.is_discarded());
    const auto video = testing::streamOf(probe, "video");
    const auto audio = testing::streamOf(probe, "audio");
    ASSERT_FALSE(video.is_null());
    ASSERT_FALSE(audio.is_null());
    EXPECT_EQ(video["codec_name"], "h264");
    EXPECT_EQ(video["profile"], "High");
    EXPECT_EQ(video["pix_fmt"], "yuv420p");
    EXPECT_EQ(video["color_space"], "bt709");
    EXPECT_EQ(video["color_primaries"], "bt709");
    EXPECT_EQ(video["color_transfer"], "bt709");
    EXPECT_EQ(video["width"], 320);
    EXPECT_EQ(video["height"], 240);
    EXPECT_EQ(video["avg_frame_rate"], "60/1");
    EXPECT_EQ(audio["codec_name"], "aac");
    EXPECT_EQ(audio["sample_rate"], "48000");
    EXPECT_EQ(audio["channels"], 2);
    // 2 s + 1 s at half speed = 4 s, within a frame.
    EXPECT_NEAR(std::stod(video["duration"].get<std::string>()), 4.0, 1.0 / kFps + 1e-6);
    EXPECT_NEAR(std::stod(probe["format"]["duration"].get<std::string>()), 4.0, 1.0 / kFps + 0.03);
    EXPECT_EQ(probe["format"]["format_name"], "mov,mp4,m4a,3gp,3g2,mj2");

    // +faststart: the index comes before the media data.
    std::ifstream file(out, std::ios::binary);
    std::vector<std::string> boxes;
    while (boxes.size() < 4) {
        unsigned char header[8];
        if (!file.read(reinterpret_cast<char*>(header), 8)) break;
        const std::uint32_t size = (header[0] << 24) | (header[1] << 16) | (header[2] << 8) | header[3];
        boxes.emplace_back(reinterpret_cast<char*>(header + 4), 4);
        if (size < 8) break;
        file.seekg(size - 8, std::ios::cur);
    }
    const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
    const auto mdat = std::find(boxes.begin(), boxes.end(), "mdat");
    ASSERT_NE(moov, boxes.end());
    ASSERT_NE(mdat, boxes.end());
    EXPECT_LT(moov, mdat);
    EXPECT_EQ(temporaries(), 0);
}

TEST_F(ExportTest, OddCanvasesAreRoundedDownToEvenAndSilenceMeansNoAudio) {
    // Through RGBA and through the renderer's own 4:2:0, whose odd last row
    // and column are left out of the encoded picture.
    for (bool frameRenderer : {false, true}) {
        const auto c = compose("silent.mov", {}, {321, 201.7}, frameRenderer);
        const auto out = folder_->path() / (frameRenderer ? "odd-renderer.mp4" : "odd.mp4");
        auto result = exportTo(c, out);
        ASSERT_TRUE(result) << result.error().message;
        const auto probe = testing::ffprobe(out);
        const auto video = testing::streamOf(probe, "video");
        EXPECT_EQ(video["width"], 320);
        EXPECT_EQ(video["height"], 200);
        EXPECT_TRUE(testing::streamOf(probe, "audio").is_null());
        EXPECT_NEAR(std::stod(video["duration"].get<std::string>()), 2.0, 1.0 / kFps + 1e-6);
    }
}

TEST_F(ExportTest, CancellingLeavesNothingBehind) {
    const auto c = compose("raw.mov", {});
    const auto out = folder_->path() / "cancelled.mp4";
    std::ofstream(out) << "the user's old file";
    auto session = ExportSession::create(c, out);
    ASSERT_TRUE(session);
    // Cancelled from its own progress report: the session must wake to the
    // cancel and stop, however its threads stand, after the frame in hand.
    std::vector<double> reported;
    auto result = (*session)->run([&](double fraction) {
        reported.push_back(fraction);
        if (fraction >= 0.2) (*session)->cancel();
    });
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(*result, ExportEnd::cancelled);
    EXPECT_EQ((*session)->status(), ExportStatus::cancelled);
    ASSERT_FALSE(reported.empty());
    EXPECT_LT(reported.back(), 0.3);  // whole percents, none after the cancel
    EXPECT_NEAR((*session)->progress(), reported.back(), 1.0 / static_cast<double>((*session)->frameCount()) + 1e-9);
    EXPECT_EQ(slurp(out), "the user's old file");
    EXPECT_EQ(temporaries(), 0);
}

TEST_F(ExportTest, FailuresLeaveNothingAndSayWhy) {
    // The screen movie vanishes after the composition was built.
    std::filesystem::copy_file(*folder_ / "silent.mov", *folder_ / "brief.mov");
    const auto c = compose("brief.mov", {});
    std::filesystem::remove(*folder_ / "brief.mov");
    const auto out = folder_->path() / "failed.mp4";
    std::ofstream(out) << "the user's old file";
    auto result = exportTo(c, out);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(),
              (Error{kFFmpegDomain, AVERROR(ENOENT), "Could not open brief.mov: No such file or directory"}));
    EXPECT_EQ(slurp(out), "the user's old file");
    EXPECT_EQ(temporaries(), 0);

    // A folder that does not exist.
    auto nowhere = exportTo(compose("silent.mov", {}), folder_->path() / "no such folder" / "x.mp4");
    ASSERT_FALSE(nowhere);
    EXPECT_EQ(nowhere.error().message, "Could not write " + (folder_->path() / "no such folder" / "x.mp4").string() +
                                           ": the folder " + (folder_->path() / "no such folder").string() +
                                           " does not exist.");
}

TEST_F(ExportTest, SessionsThatCannotBeCreatedAreCodeFour) {
    auto c = compose("silent.mov", {});
    auto tiny = c;
    auto instruction = std::make_shared<StudioCompositionInstruction>(*c.videoComposition.instruction);
    instruction->renderer = std::make_shared<testing::CopyRenderer>(Size{1.5, 100});
    tiny.videoComposition.instruction = instruction;
    auto noRenderer = c;
    auto bare = std::make_shared<StudioCompositionInstruction>(*c.videoComposition.instruction);
    bare->renderer = nullptr;
    noRenderer.videoComposition.instruction = bare;
    for (const auto& bad : {tiny, noRenderer}) {
        auto session = ExportSession::create(bad, folder_->path() / "never.mp4");
        ASSERT_FALSE(session);
        EXPECT_EQ(session.error().domain, "tavorin");
        EXPECT_EQ(session.error().code, 4);
        EXPECT_EQ(session.error().message, "Could not create the export session.");
    }
}

TEST_F(ExportTest, AnExistingFileIsReplacedOnlyWhenTheNewOneIsComplete) {
    const auto out = folder_->path() / "replace.mp4";
    {
        std::ofstream old(out);
        old << "previous export";
    }
    auto result = exportTo(compose("silent.mov", {}), out);
    ASSERT_TRUE(result);
    EXPECT_GT(std::filesystem::file_size(out), 1000u);
}

}  // namespace
}  // namespace vorpix::media
