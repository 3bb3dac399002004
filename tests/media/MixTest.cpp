// The audio mix: cuts land on the exact sample, sped-up slices keep their
// pitch and their place, volumes scale and sum, timed sources sit where they
// were put, and seeking reads the same samples as playing through.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "support/TempFolder.h"
#include "TestMedia.h"
#include "media/AudioMixer.h"
#include "media/CompositionBuilder.h"

namespace vorpix::media {
namespace {

MediaTime sec(double s) {
    return MediaTime::fromSeconds(s);
}

constexpr double kBeeps[] = {0.5, 1.25, 2.0, 2.6};

float beeps(double t, int) {
    for (double b : kBeeps) {
        if (t >= b && t < b + 0.06)
            return static_cast<float>(0.6 * std::sin(2 * std::numbers::pi * 1000 * (t - b)));
    }
    return 0.0f;
}

// Distinct value at every sample: a slow ramp on the left, its negative right.
float ramp(double t, int channel) {
    const float v = static_cast<float>(std::fmod(t, 1.0) * 0.9);
    return channel == 0 ? v : -v;
}

float constant(double, int) {
    return 0.25f;
}

class MixTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new testing::TempFolder();
        auto audio = [](float (*sound)(double, int), double seconds) {
            testing::TestMovieRecipe recipe;
            recipe.frames = 0;
            recipe.container = "wav";
            recipe.audioCodec = "pcm_s16le";
            recipe.audioSeconds = seconds;
            recipe.sound = sound;
            return recipe;
        };
        ASSERT_TRUE(testing::writeTestMovie(*folder_ / "beeps.wav", audio(beeps, 3)));
        ASSERT_TRUE(testing::writeTestMovie(*folder_ / "ramp.wav", audio(ramp, 3)));
        ASSERT_TRUE(testing::writeTestMovie(*folder_ / "constant.wav", audio(constant, 1)));
        testing::TestMovieRecipe screen;
        screen.frames = 90;
        screen.audioSeconds = 3;
        screen.sound = beeps;
        ASSERT_TRUE(testing::writeTestMovie(*folder_ / "raw.mov", screen));
    }
    static void TearDownTestSuite() { delete folder_; }

    // Builds a composition over a made-up 3 s screen whose audio is `file`.
    static StudioComposition compose(const std::string& file, std::vector<model::TimelineSlice> slices,
                                     std::vector<TimedAudioSource> timed = {}, float volume = 1) {
        ProbedSources probed;
        probed.screen.path = *folder_ / "raw.mov";
        TrackInfo video;
        video.range = {kZeroTime, sec(3)};
        video.nominalFrameRate = 30;
        probed.screen.video = {video};
        auto info = probeMedia(*folder_ / file);
        EXPECT_TRUE(info);
        probed.extraAudio = {*info};
        for (auto& t : timed) {
            t.asset = *folder_ / t.asset;
            probed.timedAudio.push_back(*probeMedia(t.asset));
        }
        CompositionSources sources;
        sources.slices = std::move(slices);
        sources.timedAudio = std::move(timed);
        sources.audioVolume = volume;
        auto built = CompositionBuilder::assemble(sources, probed);
        EXPECT_TRUE(built);
        return *built;
    }

    static std::vector<float> mixAll(const StudioComposition& c, double seconds) {
        AudioMixer mixer(c.asset, c.audioMix.value_or(std::vector<AudioMixParameters>{}));
        std::vector<float> out(static_cast<std::size_t>(std::llround(seconds * 48000)) * 2);
        // Odd block sizes, so that block edges fall everywhere.
        for (std::size_t at = 0; at < out.size();) {
            const std::size_t n = std::min<std::size_t>(out.size() - at, 2 * 777);
            EXPECT_TRUE(mixer.read(std::span<float>(out.data() + at, n)));
            at += n;
        }
        return out;
    }

    // Times (s) where a beep begins: the signal rises above 0.2 after 50 ms
    // of quiet.
    static std::vector<double> onsets(const std::vector<float>& stereo) {
        std::vector<double> found;
        std::size_t quiet = 4800;
        for (std::size_t i = 0; i < stereo.size() / 2; ++i) {
            if (std::fabs(stereo[2 * i]) > 0.2f) {
                if (quiet >= 2400) found.push_back(static_cast<double>(i) / 48000);
                quiet = 0;
            } else {
                ++quiet;
            }
        }
        return found;
    }

    // Zero crossings per second of the left channel within [from, to).
    static double frequency(const std::vector<float>& stereo, double from, double to) {
        int crossings = 0;
        const auto a = static_cast<std::size_t>(from * 48000);
        const auto b = static_cast<std::size_t>(to * 48000);
        for (std::size_t i = a + 1; i < b; ++i) {
            if ((stereo[2 * (i - 1)] < 0) != (stereo[2 * i] < 0)) ++crossings;
        }
        return crossings / 2.0 / (to - from);
    }

    static testing::TempFolder* folder_;
};

testing::TempFolder* MixTest::folder_ = nullptr;

TEST_F(MixTest, CutsRemoveWhatWasCutAndCloseTheGap) {
    const auto c = compose("beeps.wav", {{0, 1, 1}, {1.5, 3, 1}});
    const auto found = onsets(mixAll(c, 2.5));
    ASSERT_EQ(found.size(), 3u);  // the beep at 1.25 was cut
    EXPECT_NEAR(found[0], 0.5, 0.0005);
    EXPECT_NEAR(found[1], 1.5, 0.0005);
    EXPECT_NEAR(found[2], 2.1, 0.0005);
}

TEST_F(MixTest, CutsAreSampleExact) {
    const auto c = compose("ramp.wav", {{0.25, 0.75, 1}, {2.0, 2.5, 1}});
    const auto out = mixAll(c, 1.0);
    // Output sample k plays source sample 12000 + k, then 96000 + (k - 24000).
    for (std::size_t k : {0u, 1u, 23999u, 24000u, 24001u, 47999u}) {
        const std::size_t source = k < 24000 ? 12000 + k : 96000 + (k - 24000);
        EXPECT_NEAR(out[2 * k], ramp(static_cast<double>(source) / 48000, 0), 1.0 / 16384) << k;
        EXPECT_NEAR(out[2 * k + 1], ramp(static_cast<double>(source) / 48000, 1), 1.0 / 16384) << k;
    }
}

TEST_F(MixTest, SpedUpSlicesKeepPitchAndPlace) {
    // 1-3 s plays twice as fast: the beeps at 1.25, 2.0 and 2.6 land at 1.125,
    // 1.5 and 1.8.
    const auto c = compose("beeps.wav", {{0, 1, 1}, {1, 3, 2}});
    const auto out = mixAll(c, 2.0);
    const auto found = onsets(out);
    ASSERT_EQ(found.size(), 4u);
    EXPECT_NEAR(found[0], 0.5, 0.0005);
    EXPECT_NEAR(found[1], 1.125, 0.006);
    EXPECT_NEAR(found[2], 1.5, 0.006);
    EXPECT_NEAR(found[3], 1.8, 0.006);
    // Pitch kept: still 1 kHz, not 2 kHz.
    EXPECT_NEAR(frequency(out, found[2] + 0.005, found[2] + 0.025), 1000, 60);
}

TEST_F(MixTest, SlowedDownSlicesToo) {
    // A quarter speed takes two atempo stages; each overlap-adds windows of
    // 1/24 s, which blurs a stretched onset by about a window either way.
    const auto c = compose("beeps.wav", {{0, 1, 0.25}});
    const auto out = mixAll(c, 4.0);
    const auto found = onsets(out);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_NEAR(found[0], 2.0, 0.03);
    EXPECT_NEAR(frequency(out, found[0] + 0.01, found[0] + 0.2), 1000, 60);
}

TEST_F(MixTest, VolumesScaleAndSumAndTheMixIsLimited) {
    struct Case {
        float volume;
        float timedVolume;
        float expected;
    };
    const Case cases[] = {{1, 1, 0.5f}, {2, 0, 0.5f}, {0.5f, 0.5f, 0.25f}, {4, 2, 1.0f}, {0, 0, 0.0f}};
    for (const Case& k : cases) {
        const auto c = compose("constant.wav", {}, {{"constant.wav", 0, k.timedVolume}}, k.volume);
        const auto out = mixAll(c, 0.5);
        EXPECT_NEAR(out[2 * 12000], k.expected, 0.001) << k.volume << " " << k.timedVolume;
        EXPECT_NEAR(out[2 * 12000 + 1], k.expected, 0.001);
    }
}

TEST_F(MixTest, TimedSourcesStartWhereTheyArePut) {
    const auto c = compose("constant.wav", {}, {{"beeps.wav", 0.7, 1}}, 0);
    const auto found = onsets(mixAll(c, 3.0));
    ASSERT_GE(found.size(), 3u);
    EXPECT_NEAR(found[0], 1.2, 0.0005);
    EXPECT_NEAR(found[1], 1.95, 0.0005);
}

TEST_F(MixTest, SeekingReadsWhatPlayingThroughReads) {
    const auto c = compose("ramp.wav", {{0.25, 0.75, 1}, {1.0, 2.0, 1.5}, {2.0, 3, 1}});
    const auto through = mixAll(c, 2.0);
    AudioMixer mixer(c.asset, *c.audioMix);
    for (double t : {1.7, 0.1, 0.49, 1.95}) {
        mixer.seek(sec(t));
        std::vector<float> block(2 * 480);
        ASSERT_TRUE(mixer.read(block));
        const auto at = static_cast<std::size_t>(sec(t).samplesAt(48000));
        if (t < 0.5 || t >= 0.5 + 1.0 / 1.5) {  // outside the sped-up slice: exact
            for (std::size_t k = 0; k < 480; k += 37)
                EXPECT_FLOAT_EQ(block[2 * k], through[2 * (at + k)]) << t;
        } else {
            EXPECT_NEAR(block[2 * 100], through[2 * (at + 100)], 0.02) << t;
        }
    }
}

TEST_F(MixTest, CompressedScreenAudioFollowsTheCutsToo) {
    const auto c = compose("raw.mov", {{0, 1, 1}, {1.5, 3, 1}});
    const auto found = onsets(mixAll(c, 2.5));
    ASSERT_EQ(found.size(), 3u);
    EXPECT_NEAR(found[1], 1.5, 0.003);
}

TEST_F(MixTest, AFileThatVanishedFailsTheRead) {
    const auto copy = *folder_ / "gone.wav";
    std::filesystem::copy_file(*folder_ / "constant.wav", copy);
    const auto c = compose("gone.wav", {});
    std::filesystem::remove(copy);
    AudioMixer mixer(c.asset, *c.audioMix);
    std::vector<float> block(2 * 100);
    auto read = mixer.read(block);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().message, "Could not open gone.wav: No such file or directory");
}

}  // namespace
}  // namespace vorpix::media
