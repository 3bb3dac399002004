#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "capture/MicCapture.h"

namespace vorpix::capture {
namespace {

template <class T>
std::vector<std::byte> bytesOf(const std::vector<T>& values) {
    std::vector<std::byte> bytes(values.size() * sizeof(T));
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

TEST(MicLimiter, WorkedExampleClipsThenRecoversSlowly) {
    std::vector<float> samples{0.0f, 2.0f, -0.5f, 0.25f};
    float gain = 1.0f;
    std::vector<float> gains;
    for (float& s : samples) {
        limit(std::span<float>(&s, 1), gain);
        gains.push_back(gain);
    }
    EXPECT_FLOAT_EQ(samples[0], 0.0f);
    EXPECT_FLOAT_EQ(samples[1], 0.89f);
    EXPECT_NEAR(samples[2], -0.2225f, 1e-4);
    EXPECT_NEAR(samples[3], 0.1113f, 1e-4);
    EXPECT_NEAR(gains[1], 0.445f, 1e-6);
    EXPECT_NEAR(gains[2], 0.4452f, 1e-6);
    EXPECT_NEAR(gains[3], 0.4454f, 1e-6);
}

TEST(MicLimiter, GainIsCarriedAcrossBuffersAndClimbsBackToOne) {
    float gain = 1.0f;
    std::vector<float> clip{2.0f};
    limit(clip, gain);
    ASSERT_NEAR(gain, 0.445f, 1e-6);
    // Silence in small buffers: 2775 samples to recover from 0.445.
    int samples = 0;
    while (gain < 1.0f && samples < 10000) {
        std::vector<float> silence(25, 0.0f);
        limit(silence, gain);
        samples += 25;
    }
    EXPECT_EQ(gain, 1.0f);
    EXPECT_NEAR(samples, 2775, 25);
}

TEST(MicLimiter, NegativePeaksAreCappedSymmetrically) {
    std::vector<float> samples{-3.0f, -0.95f, 0.95f};
    float gain = 1.0f;
    limit(samples, gain);
    for (float s : samples) EXPECT_LE(std::fabs(s), 0.8901f);
    EXPECT_FLOAT_EQ(samples[0], -0.89f);
}

TEST(MicFloats, ConvertsEachSupportedLayout) {
    const std::vector<std::int16_t> s16{16384, -32768, 0, 32767};
    const auto a = floats(bytesOf(s16), 2, 2, true, false, 16);  // interleaved stereo: frames 0 and 1
    ASSERT_EQ(a.size(), 2u);
    EXPECT_FLOAT_EQ(a[0], 0.5f);
    EXPECT_FLOAT_EQ(a[1], 0.0f);

    const std::vector<std::int32_t> s32{1073741824, -2147483647 - 1};
    const auto b = floats(bytesOf(s32), 2, 1, false, false, 32);
    ASSERT_EQ(b.size(), 2u);
    EXPECT_NEAR(b[0], 0.5f, 1e-6);
    EXPECT_NEAR(b[1], -1.0f, 1e-6);

    const std::vector<float> f32{0.1f, 0.2f, 0.3f};
    // Non-interleaved: channel 0's block is contiguous whatever the channel count.
    EXPECT_EQ(floats(bytesOf(f32), 3, 4, false, true, 32), f32);
}

TEST(MicFloats, RefusesWhatItCannotReadSafely) {
    const std::vector<float> f32{0.1f, 0.2f, 0.3f, 0.4f};
    EXPECT_TRUE(floats({}, 4, 1, true, true, 32).empty());
    EXPECT_TRUE(floats(bytesOf(f32), 0, 1, true, true, 32).empty());
    EXPECT_TRUE(floats(bytesOf(f32), 4, 1, true, true, 64).empty()) << "64-bit float";
    EXPECT_TRUE(floats(bytesOf(f32), 4, 1, true, false, 24).empty()) << "24-bit integer";
    EXPECT_TRUE(floats(bytesOf(f32), 5, 1, true, true, 32).empty()) << "more frames than bytes";
    EXPECT_TRUE(floats(bytesOf(f32), 3, 2, true, true, 32).empty()) << "stride runs past the end";
    EXPECT_EQ(floats(bytesOf(f32), 2, 2, true, true, 32).size(), 2u);
}

TEST(MicChannel0, DropsPartialFramesAndOverwideLayouts) {
    const std::vector<float> five{1, 2, 3, 4, 5};
    EXPECT_EQ(channel0(five, 2), (std::vector<float>{1, 3}));
    EXPECT_EQ(channel0(five, 6), std::vector<float>{});
    EXPECT_EQ(channel0(five, 0), five);
}

TEST(MicPcm, PrefersTheBufferListAndFallsBackToTheRawBlock) {
    AudioStreamDescription stereo{48000, kFormatIsFloat, 32, 2, 8, 1, 8};
    AudioSampleBuffer listed;
    listed.format = stereo;
    listed.frames = 2;
    listed.bufferList = {bytesOf(std::vector<float>{0.1f, -0.1f, 0.2f, -0.2f})};
    listed.dataBlock = bytesOf(std::vector<float>{9, 9, 9, 9});
    auto fromList = pcm(listed);
    ASSERT_TRUE(fromList);
    EXPECT_EQ(fromList->samples, (std::vector<float>{0.1f, 0.2f}));

    AudioSampleBuffer raw = listed;
    raw.bufferList.clear();
    raw.dataBlock = bytesOf(std::vector<float>{0.5f, -0.5f, 0.25f, -0.25f});
    auto fromRaw = pcm(raw);
    ASSERT_TRUE(fromRaw);
    EXPECT_EQ(fromRaw->samples, (std::vector<float>{0.5f, 0.25f}));
    EXPECT_EQ(fromRaw->sampleRate, 48000);

    // An unreadable list (16-bit float) also falls back.
    AudioSampleBuffer odd = raw;
    odd.format->bitsPerChannel = 16;
    odd.bufferList = {bytesOf(std::vector<std::int16_t>{1, 2, 3, 4})};
    ASSERT_TRUE(pcm(odd));
}

TEST(MicPcm, NothingFromIncompleteBuffers) {
    AudioSampleBuffer noFormat;
    noFormat.frames = 1;
    noFormat.dataBlock = bytesOf(std::vector<float>{1});
    EXPECT_FALSE(pcm(noFormat));

    AudioSampleBuffer noFrames = *monoBuffer(std::vector<float>{1.0f}, 48000, 0);
    noFrames.frames = 0;
    EXPECT_FALSE(pcm(noFrames));

    AudioSampleBuffer tiny = *monoBuffer(std::vector<float>{1.0f}, 48000, 0);
    tiny.dataBlock.resize(3);
    EXPECT_FALSE(pcm(tiny));

    EXPECT_FALSE(monoBuffer({}, 48000, 0));
    EXPECT_FALSE(monoBuffer(std::vector<float>{1.0f}, 0, 0));
}

TEST(MicChecks, AllBuiltInCasesPass) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(runChecks(out, err), 0);
    EXPECT_EQ(out.str(), "mic-capture OK\n");
    EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace vorpix::capture
