// The composition model (insertion, time-range scaling, lookups) and the
// builder: the shared case table of the self-check, plus builds from real
// files.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sstream>

#include "support/TempFolder.h"
#include "TestMedia.h"
#include "media/CompositionBuilder.h"
#include "render/Png.h"

namespace vorpix::media {
namespace {

MediaTime sec(double s) {
    return MediaTime::fromSeconds(s);
}

class CompositionCase : public ::testing::TestWithParam<std::size_t> {};

TEST_P(CompositionCase, Holds) {
    const CompositionCheck& check = compositionChecks()[GetParam()];
    EXPECT_EQ(check.run(), "") << check.name;
}

INSTANTIATE_TEST_SUITE_P(Table, CompositionCase, ::testing::Range<std::size_t>(0, compositionChecks().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& p) {
                             std::string name;
                             for (char c : compositionChecks()[p.param].name) {
                                 if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                             }
                             return name;
                         });

TEST(CompositionChecks, PrintOneSummaryLine) {
    std::ostringstream out;
    EXPECT_EQ(CompositionBuilder::runChecks(out), 0);
    EXPECT_EQ(out.str(), "composition OK\n");
}

TEST(Composition, InsertingInTheMiddlePushesLaterContent) {
    Composition c;
    const TrackId id = *c.addTrack(TrackKind::video, "a.mov", 0);
    ASSERT_TRUE(c.insert(id, {sec(0), sec(10)}, sec(0)));
    ASSERT_TRUE(c.insert(id, {sec(100), sec(2)}, sec(4)));
    const auto& s = c.track(id)->segments;
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0], (Segment{{sec(0), sec(4)}, {sec(0), sec(4)}}));
    EXPECT_EQ(s[1], (Segment{{sec(100), sec(2)}, {sec(4), sec(2)}}));
    EXPECT_EQ(s[2], (Segment{{sec(4), sec(6)}, {sec(6), sec(6)}}));
    EXPECT_EQ(c.duration(), sec(12));
}

TEST(Composition, InsertingPastTheEndLeavesAGap) {
    Composition c;
    const TrackId id = *c.addTrack(TrackKind::audio, "a.wav", 0);
    ASSERT_TRUE(c.insert(id, {sec(0), sec(1)}, sec(3)));
    const CompositionTrack& t = *c.track(id);
    EXPECT_EQ(t.segmentAt(sec(2.999)), nullptr);
    ASSERT_NE(t.segmentAt(sec(3)), nullptr);
    EXPECT_EQ(t.segmentAt(sec(4)), nullptr);  // ends are exclusive
}

TEST(Composition, BadInsertionsChangeNothing) {
    Composition c;
    const TrackId id = *c.addTrack(TrackKind::video, "a.mov", 0);
    ASSERT_TRUE(c.insert(id, {sec(0), sec(5)}, sec(0)));
    EXPECT_FALSE(c.insert(id, {sec(0), sec(0)}, sec(1)));
    EXPECT_FALSE(c.insert(id, {sec(0), sec(1)}, sec(-1)));
    EXPECT_FALSE(c.insert(id + 1, {sec(0), sec(1)}, sec(0)));
    EXPECT_FALSE(c.insertScaled(id, {sec(0), sec(1)}, sec(0), sec(0)));
    EXPECT_EQ(c.track(id)->segments.size(), 1u);
}

TEST(Composition, TrackIdsAreSequentialAndLimited) {
    Composition c;
    for (int i = 1; i <= Composition::kMaxTracks; ++i) EXPECT_EQ(c.addTrack(TrackKind::audio, "x", 0), i);
    EXPECT_FALSE(c.addTrack(TrackKind::audio, "x", 0));
}

TEST(Composition, ScalingSplitsSegmentsAndMovesLaterOnesOnEveryTrack) {
    Composition c;
    const TrackId video = *c.addTrack(TrackKind::video, "a.mov", 0);
    const TrackId audio = *c.addTrack(TrackKind::audio, "a.mov", 0);
    ASSERT_TRUE(c.insert(video, {sec(0), sec(10)}, sec(0)));
    ASSERT_TRUE(c.insert(audio, {sec(0), sec(3)}, sec(7)));
    c.scaleTimeRange({sec(2), sec(6)}, sec(3));  // 2-8 s plays twice as fast

    const auto& v = c.track(video)->segments;
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[1], (Segment{{sec(2), sec(6)}, {sec(2), sec(3)}}));
    EXPECT_EQ(v[2], (Segment{{sec(8), sec(2)}, {sec(5), sec(2)}}));
    EXPECT_EQ(c.duration(), sec(7));
    // Source time inside the fast part advances two seconds per second.
    EXPECT_EQ(v[1].sourceTimeAt(sec(3.5)), sec(5));

    const auto& a = c.track(audio)->segments;
    ASSERT_EQ(a.size(), 2u);  // 7-8 s was inside the range, 8-10 s after it
    EXPECT_EQ(a[0], (Segment{{sec(0), sec(1)}, {sec(4.5), sec(0.5)}}));
    EXPECT_EQ(a[1], (Segment{{sec(1), sec(2)}, {sec(5), sec(2)}}));
}

TEST(Composition, ScaledSegmentsMapTimeWithoutDrift) {
    // A range of 1/3 speed over an hour: the end lands exactly.
    Composition c;
    const TrackId id = *c.addTrack(TrackKind::video, "a.mov", 0);
    ASSERT_TRUE(c.insert(id, {sec(0), sec(3600)}, sec(0)));
    c.scaleTimeRange({sec(0), sec(3600)}, sec(1200));
    const Segment& s = c.track(id)->segments.front();
    EXPECT_EQ(s.target.duration, sec(1200));
    EXPECT_EQ(s.sourceTimeAt(sec(1200)), sec(3600));
    EXPECT_EQ(s.sourceTimeAt(sec(400)), sec(1200));
}

class CompositionBuildTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new testing::TempFolder();
        testing::TestMovieRecipe screen;
        screen.frames = 60;
        screen.fps = 30;
        screen.audioSeconds = 2;
        ASSERT_TRUE(testing::writeTestMovie(*folder_ / "raw.mov", screen));
        testing::TestMovieRecipe silent = screen;
        silent.audioSeconds = 0;
        silent.fps = 15;
        ASSERT_TRUE(testing::writeTestMovie(*folder_ / "silent.mov", silent));
    }
    static void TearDownTestSuite() { delete folder_; }
    static testing::TempFolder* folder_;
};

testing::TempFolder* CompositionBuildTest::folder_ = nullptr;

TEST_F(CompositionBuildTest, BuildsFromFiles) {
    CompositionSources sources;
    sources.screen = *folder_ / "raw.mov";
    sources.webcam = *folder_ / "silent.mov";
    sources.webcamOffset = 0.5;
    sources.timedAudio = {{*folder_ / "raw.mov", 1.0, 0.5f}, {*folder_ / "missing.m4a", 0, 1}};
    sources.extraAudio = {*folder_ / "not there.wav"};
    auto built = CompositionBuilder::build(sources);
    ASSERT_TRUE(built) << built.error().message;
    EXPECT_EQ(built->videoComposition.fps, 30);
    EXPECT_NEAR(built->duration().seconds(), 2.0, 1e-3);
    ASSERT_TRUE(built->audioMix);
    EXPECT_EQ(built->audioMix->size(), 2u);  // the screen's audio and one timed source
    EXPECT_TRUE(built->videoComposition.instruction->webcamTrackID);
    const auto& instruction = *built->videoComposition.instruction;
    EXPECT_EQ(instruction.timeRange, (TimeSpan{kZeroTime, built->duration()}));
    EXPECT_FALSE(instruction.enablePostProcessing);
    EXPECT_TRUE(instruction.containsTweening);
    EXPECT_EQ(instruction.passthroughTrackID, 0);
}

TEST_F(CompositionBuildTest, SilentLowRateScreenBuildsWithoutMixAt24Fps) {
    CompositionSources sources;
    sources.screen = *folder_ / "silent.mov";
    auto built = CompositionBuilder::build(sources);
    ASSERT_TRUE(built) << built.error().message;
    EXPECT_EQ(built->videoComposition.fps, 24);
    EXPECT_FALSE(built->audioMix);
}

TEST_F(CompositionBuildTest, UnreadableScreenOrWebcam) {
    CompositionSources sources;
    sources.screen = *folder_ / "gone.mov";
    auto missing = CompositionBuilder::build(sources);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message, "Could not open gone.mov: No such file or directory");

    sources.screen = *folder_ / "raw.mov";
    sources.webcam = *folder_ / "gone.mov";
    auto noWebcam = CompositionBuilder::build(sources);
    ASSERT_TRUE(noWebcam);
    EXPECT_FALSE(noWebcam->videoComposition.instruction->webcamTrackID);
}

// The screen movie against what the capture metadata says about it: a
// shorter movie ends the edit, anything that is not a movie fails at once
// with one line, and a variable-rate capture exports at its cadence.
TEST_F(CompositionBuildTest, ScreenMovieAgainstItsMetadata) {
    const std::filesystem::path fifo = *folder_ / "fifo.mov";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::filesystem::path still = *folder_ / "still.mov";  // a PNG under a movie's name
    ASSERT_TRUE(render::writePng(still, render::Image(64, 36).view()));
    testing::TestMovieRecipe vfr;  // 60 fps with every third frame dropped: 40 on average
    vfr.fps = 60;
    vfr.frames = 80;
    vfr.tick = [](int i) { return std::int64_t{i} + i / 2; };
    ASSERT_TRUE(testing::writeTestMovie(*folder_ / "vfr.mov", vfr));
    struct Case {
        const char* screen;
        std::vector<model::TimelineSlice> slices;
        double duration;  // -1: fails
        int fps;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"raw.mov", {{0, 1000, 1}}, 2.0, 30, ""},              // events.json claims 1000 s
        {"raw.mov", {{0, 1, 1}, {1.5, 600, 2}}, 1.25, 30, ""},  // a fast slice past the end
        {"raw.mov", {{5, 10, 1}}, 0.0, 30, ""},                // all of it past the end
        {"vfr.mov", {}, 119.0 / 60, 60, ""},
        {"fifo.mov", {}, -1, 0, "Could not open fifo.mov: not a regular file"},
        {"still.mov", {}, -1, 0, "still.mov is a still image, not a movie."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.screen);
        CompositionSources sources;
        sources.screen = *folder_ / c.screen;
        sources.slices = c.slices;
        auto built = CompositionBuilder::build(sources);
        if (c.duration < 0) {
            ASSERT_FALSE(built);
            EXPECT_EQ(built.error().message, c.message);
            continue;
        }
        ASSERT_TRUE(built) << built.error().message;
        EXPECT_NEAR(built->duration().seconds(), c.duration, 0.02);
        EXPECT_EQ(built->videoComposition.fps, c.fps);
    }
}

}  // namespace
}  // namespace vorpix::media
