// Waveforms: the shared case table, and envelopes decoded from files.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>

#include "support/TempFolder.h"
#include "TestMedia.h"
#include "media/WaveformAnalyzer.h"

namespace vorpix::media {
namespace {

class WaveformCase : public ::testing::TestWithParam<std::size_t> {};

TEST_P(WaveformCase, Holds) {
    const WaveformCheck& check = waveformChecks()[GetParam()];
    EXPECT_EQ(check.run(), "") << check.name;
}

INSTANTIATE_TEST_SUITE_P(Table, WaveformCase, ::testing::Range<std::size_t>(0, waveformChecks().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& p) {
                             std::string name;
                             for (char c : waveformChecks()[p.param].name) {
                                 if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                             }
                             return name;
                         });

TEST(WaveformChecks, PrintOneSummaryLine) {
    std::ostringstream out;
    EXPECT_EQ(WaveformAnalyzer::runChecks(out), 0);
    EXPECT_EQ(out.str(), "waveform OK\n");
}

// A 0.5 s burst at 0.6 from 1.0 s on (left channel only in the stereo files,
// so the mono fold-down halves it), silence elsewhere.
float burst(double t, int channel) {
    if (t < 1.0 || t >= 1.5 || channel > 0) return 0.0f;
    return static_cast<float>(0.6 * std::sin(2 * std::numbers::pi * 300 * t));
}

float quietTail(double t, int) {
    return t >= 2.5 ? 0.2f : 0.0f;
}

class WaveformFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new testing::TempFolder();
        testing::TestMovieRecipe screen;
        screen.frames = 30;
        screen.audioSeconds = 3;
        screen.sound = burst;
        ASSERT_TRUE(testing::writeTestMovie(*folder_ / "raw.mov", screen));
        testing::TestMovieRecipe extra;
        extra.frames = 0;
        extra.container = "wav";
        extra.audioCodec = "pcm_s16le";
        extra.channels = 1;
        extra.sampleRate = 44100;
        extra.audioSeconds = 4;
        extra.sound = quietTail;
        ASSERT_TRUE(testing::writeTestMovie(*folder_ / "extra.wav", extra));
        testing::TestMovieRecipe silentVideo = screen;
        silentVideo.audioSeconds = 0;
        ASSERT_TRUE(testing::writeTestMovie(*folder_ / "silent.mov", silentVideo));
    }
    static void TearDownTestSuite() { delete folder_; }
    static testing::TempFolder* folder_;
};

testing::TempFolder* WaveformFileTest::folder_ = nullptr;

TEST_F(WaveformFileTest, BucketsFollowTheAudio) {
    auto p = WaveformAnalyzer::load(*folder_ / "raw.mov", 80);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->bucketsPerSecond, 80);
    EXPECT_NEAR(p->duration, 3.0, 0.03);
    EXPECT_NEAR(static_cast<double>(p->peaks.size()), 240, 3);
    EXPECT_LT(p->peak(0.5), 0.01f);
    EXPECT_NEAR(p->peak(1.25), 0.3f, 0.03f);  // 0.6 on one of two channels
    EXPECT_LT(p->peak(2.0), 0.01f);
    // The burst's edges within a bucket or two.
    EXPECT_LT(p->peak(0.97), 0.05f);
    EXPECT_GT(p->peak(1.02), 0.1f);
}

TEST_F(WaveformFileTest, CaptureMixesScreenAndExtras) {
    auto p =
        WaveformAnalyzer::loadCapture(*folder_ / "raw.mov", {*folder_ / "extra.wav", *folder_ / "gone.wav"});
    ASSERT_TRUE(p);
    EXPECT_EQ(p->bucketsPerSecond, WaveformAnalyzer::kCaptureBucketsPerSecond);
    EXPECT_NEAR(p->duration, 4.0, 0.01);  // the longer of the two
    EXPECT_NEAR(p->peak(1.25), 0.3f, 0.03f);
    EXPECT_NEAR(p->peak(3.0), 0.2f, 0.01f);
    EXPECT_LT(p->peak(2.0), 0.01f);
}

TEST_F(WaveformFileTest, NothingToAnalyseIsNone) {
    EXPECT_FALSE(WaveformAnalyzer::load(*folder_ / "gone.mov", 80));
    EXPECT_FALSE(WaveformAnalyzer::load(*folder_ / "silent.mov", 80));  // no audio track
    EXPECT_FALSE(WaveformAnalyzer::loadCapture(std::nullopt, {*folder_ / "silent.mov"}));
    EXPECT_FALSE(WaveformAnalyzer::loadCapture(*folder_ / "silent.mov", {}));
}

}  // namespace
}  // namespace vorpix::media
