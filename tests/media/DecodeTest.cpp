// Demuxing and decoding by time: frame-accurate video lookups, sequential and
// random access, sample-accurate audio positioning across codecs and rates,
// and clear errors for files that are missing or damaged.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <random>
#include <vector>

#include "support/TempFolder.h"
#include "TestMedia.h"
#include "media/AudioReader.h"
#include "media/MediaProbe.h"
#include "media/VideoReader.h"

namespace vorpix::media {
namespace {

using testing::TempFolder;
using testing::TestMovieRecipe;

constexpr double kBeepTimes[] = {0.5, 1.25, 2.0};
constexpr double kBeepLength = 0.05;

float beeps(double t, int) {
    for (double b : kBeepTimes) {
        if (t >= b && t < b + kBeepLength)
            return static_cast<float>(0.8 * std::sin(2 * std::numbers::pi * 1000 * (t - b)));
    }
    return 0.0f;
}

// A sawtooth with a period that is not a divisor of any block size, so that a
// sample read at the wrong position shows.
float ramp(double t, int channel) {
    const double period = 0.0173;
    const double phase = std::fmod(t, period) / period;
    return static_cast<float>((channel == 0 ? 0.9 : -0.9) * (phase - 0.5));
}

MediaTime at(double seconds) {
    return MediaTime::fromSeconds(seconds);
}

class DecodeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new TempFolder();
        TestMovieRecipe bars;
        bars.frames = 90;
        bars.videoOptions = {{"x264-params", "bframes=2:keyint=30:min-keyint=30"}};
        bars.audioSeconds = 3.0;
        bars.sound = beeps;
        ASSERT_TRUE(testing::writeTestMovie(path("bars.mov"), bars));

        // One group of pictures in a fixed I BBB P pattern whose B frames nothing
        // refers to, with a gap of 11 frame periods after every 7th frame.
        TestMovieRecipe gaps = bars;
        gaps.frames = 60;
        gaps.videoOptions = {{"x264-params", "bframes=3:b-pyramid=none:b-adapt=0:keyint=60:scenecut=0"}};
        gaps.tick = [](int i) -> std::int64_t { return i + 10 * (i / 7); };
        gaps.audioSeconds = 0;
        ASSERT_TRUE(testing::writeTestMovie(path("gaps.mov"), gaps));

        TestMovieRecipe hevc;
        hevc.container = "mp4";
        hevc.videoCodec = "libx265";
        hevc.frames = 20;
        ASSERT_TRUE(testing::writeTestMovie(path("hevc.mp4"), hevc));

        auto audioOnly = [](std::string container, std::string codec, int rate, int channels,
                            float (*sound)(double, int)) {
            TestMovieRecipe recipe;
            recipe.frames = 0;
            recipe.container = std::move(container);
            recipe.audioCodec = std::move(codec);
            recipe.sampleRate = rate;
            recipe.channels = channels;
            recipe.audioSeconds = 2.5;
            recipe.sound = sound;
            return recipe;
        };
        ASSERT_TRUE(testing::writeTestMovie(path("ramp.wav"), audioOnly("wav", "pcm_s16le", 48000, 2, ramp)));
        ASSERT_TRUE(
            testing::writeTestMovie(path("beeps.wav"), audioOnly("wav", "pcm_s16le", 48000, 2, beeps)));
        ASSERT_TRUE(
            testing::writeTestMovie(path("beeps.mp3"), audioOnly("mp3", "libmp3lame", 44100, 2, beeps)));
        ASSERT_TRUE(
            testing::writeTestMovie(path("beeps.opus"), audioOnly("ogg", "libopus", 48000, 2, beeps)));
        ASSERT_TRUE(testing::writeTestMovie(path("beeps.m4a"), audioOnly("mp4", "aac", 44100, 1, beeps)));
        ASSERT_TRUE(
            testing::writeTestMovie(path("ramp22.wav"), audioOnly("wav", "pcm_s16le", 22050, 2, ramp)));
    }
    static void TearDownTestSuite() {
        delete folder_;
        folder_ = nullptr;
    }
    static std::filesystem::path path(const std::string& name) { return *folder_ / name; }

    static std::unique_ptr<VideoReader> openVideo(const std::string& name) {
        auto reader = VideoReader::open(path(name));
        EXPECT_TRUE(reader) << (reader ? "" : reader.error().message);
        return reader ? std::move(*reader) : nullptr;
    }
    static int indexAt(VideoReader& reader, double seconds) {
        auto frame = reader.frameAt(at(seconds));
        EXPECT_TRUE(frame) << (frame ? "" : frame.error().message);
        return frame ? testing::readFrameIndex(**frame) : -2;
    }

    static std::vector<float> readAudio(AudioReader& reader, std::size_t frames) {
        std::vector<float> out(frames * static_cast<std::size_t>(reader.format().channels));
        auto got = reader.read(out);
        EXPECT_TRUE(got);
        out.resize((got ? *got : 0) * static_cast<std::size_t>(reader.format().channels));
        return out;
    }

    static TempFolder* folder_;
};

TempFolder* DecodeTest::folder_ = nullptr;

TEST_F(DecodeTest, ProbeReportsTracksRangesAndFormats) {
    auto info = probeMedia(path("bars.mov"));
    ASSERT_TRUE(info);
    ASSERT_EQ(info->video.size(), 1u);
    ASSERT_EQ(info->audio.size(), 1u);
    EXPECT_EQ(info->video[0].width, 320);
    EXPECT_EQ(info->video[0].height, 200);
    EXPECT_NEAR(info->video[0].nominalFrameRate, 30.0, 1e-6);
    EXPECT_EQ(info->video[0].range.start, kZeroTime);
    EXPECT_NEAR(info->video[0].range.duration.seconds(), 3.0, 1e-3);
    EXPECT_EQ(info->audio[0].sampleRate, 48000);
    EXPECT_EQ(info->audio[0].channels, 2);
    EXPECT_NEAR(info->audio[0].range.duration.seconds(), 3.0, 0.03);

    auto wav = probeMedia(path("ramp.wav"));
    ASSERT_TRUE(wav);
    EXPECT_TRUE(wav->video.empty());
    ASSERT_EQ(wav->audio.size(), 1u);
    EXPECT_NEAR(wav->audio[0].range.duration.seconds(), 2.5, 1e-3);
}

TEST_F(DecodeTest, SequentialRequestsGetEveryFrameWithoutSeeking) {
    auto reader = openVideo("bars.mov");
    ASSERT_TRUE(reader);
    for (int k = 0; k < 90; ++k) ASSERT_EQ(indexAt(*reader, k / 30.0), k) << "frame " << k;
    EXPECT_EQ(reader->seekCount(), 0);
    EXPECT_LE(reader->decodedCount(), 90);
}

TEST_F(DecodeTest, TimesBetweenFramesShowTheFrameOnScreen) {
    auto reader = openVideo("bars.mov");
    ASSERT_TRUE(reader);
    struct Case {
        double seconds;
        int frame;
    };
    const Case cases[] = {
        {-1.0, 0},  // before the first frame: the first
        {0.0, 0},
        {0.6 / 30, 0},
        {1.0 / 30 - 0.001, 0},   // a millisecond before the next frame
        {1.0 / 30 - 0.0002, 1},  // rounding slack: counts as the next frame
        {10.5 / 30, 10},
        {2.999, 89},
        {60.0, 89},  // past the end: the last frame is held
    };
    for (const Case& c : cases) EXPECT_EQ(indexAt(*reader, c.seconds), c.frame) << "t = " << c.seconds;
}

TEST_F(DecodeTest, RandomAccessFindsTheExactFrame) {
    auto reader = openVideo("bars.mov");
    ASSERT_TRUE(reader);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pick(0, 89);
    for (int i = 0; i < 40; ++i) {
        const int k = pick(random);
        ASSERT_EQ(indexAt(*reader, (k + 0.25) / 30.0), k) << "request " << i;
    }
    EXPECT_GT(reader->seekCount(), 0);
}

TEST_F(DecodeTest, JumpsSeekOnlyWhenAKeyFrameLiesAhead) {
    auto reader = openVideo("bars.mov");
    ASSERT_TRUE(reader);
    ASSERT_EQ(indexAt(*reader, 2 / 30.0), 2);
    // Within the same group of pictures: decode on.
    ASSERT_EQ(indexAt(*reader, 20 / 30.0), 20);
    EXPECT_EQ(reader->seekCount(), 0);
    // Two key frames ahead (every 30 frames): seek instead of decoding 55.
    const int before = reader->decodedCount();
    ASSERT_EQ(indexAt(*reader, 75 / 30.0), 75);
    EXPECT_EQ(reader->seekCount(), 1);
    EXPECT_LE(reader->decodedCount() - before, 30);
    // Backwards always seeks.
    ASSERT_EQ(indexAt(*reader, 74 / 30.0), 74);
    EXPECT_EQ(reader->seekCount(), 2);
}

TEST_F(DecodeTest, SeeksSkipUnreferencedFramesYetStayExactAcrossGaps) {
    auto reader = openVideo("gaps.mov");
    ASSERT_TRUE(reader);
    // Far into the group: most B frames before the target are never decoded.
    ASSERT_EQ(indexAt(*reader, (58 + 80 + 0.5) / 30.0), 58);
    EXPECT_LT(reader->decodedCount(), 50);
    // Inside a gap the frame before it shows, B frame (6, 13, 27) or not (20).
    for (int k : {27, 6, 20, 13, 55}) {
        const int tick = k + 10 * (k / 7);
        EXPECT_EQ(indexAt(*reader, (tick + 5) / 30.0), k) << "frame " << k;
    }
}

TEST_F(DecodeTest, HevcDecodesByTime) {
    auto reader = openVideo("hevc.mp4");
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->track().codecName, "hevc");
    for (int k : {0, 1, 7, 19, 3}) EXPECT_EQ(indexAt(*reader, k / 30.0), k);
}

TEST_F(DecodeTest, MissingDamagedAndWrongFilesFailWithOneLine) {
    auto missing = VideoReader::open(path("nothing here.mov"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message, "Could not open nothing here.mov: No such file or directory");

    {
        std::ofstream text(path("notes.mov"));
        text << "this is not a movie\n";
    }
    auto notMedia = VideoReader::open(path("notes.mov"));
    ASSERT_FALSE(notMedia);
    EXPECT_NE(notMedia.error().message.find("notes.mov"), std::string::npos);
    EXPECT_EQ(notMedia.error().message.find('\n'), std::string::npos);

    auto noVideo = VideoReader::open(path("ramp.wav"));
    ASSERT_FALSE(noVideo);
    EXPECT_EQ(noVideo.error().message, "ramp.wav has no video track 1");

    auto noSecondAudio = AudioReader::open(path("bars.mov"), 1, kMixFormat);
    ASSERT_FALSE(noSecondAudio);
    EXPECT_EQ(noSecondAudio.error().message, "bars.mov has no audio track 2");
}

TEST_F(DecodeTest, GarbageInsideTheStreamNeitherCrashesNorStopsDecoding) {
    const auto damaged = path("damaged.mov");
    std::filesystem::copy_file(path("bars.mov"), damaged, std::filesystem::copy_options::overwrite_existing);
    {
        std::fstream file(damaged, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(std::filesystem::file_size(damaged) / 2));
        std::mt19937 random(3);
        for (int i = 0; i < 4000; ++i) file.put(static_cast<char>(random()));
    }
    auto reader = VideoReader::open(damaged);
    ASSERT_TRUE(reader);
    for (int k = 0; k < 90; ++k) {
        auto frame = (*reader)->frameAt(at(k / 30.0));
        ASSERT_TRUE(frame) << "frame " << k << ": " << frame.error().message;
        if (k < 30) {
            EXPECT_EQ(testing::readFrameIndex(**frame), k);  // before the damage
        }
    }
}

// Sample-exact positioning on lossless audio: after a seek, the first sample
// read is the one generated for that instant.
TEST_F(DecodeTest, WavSeeksAreSampleExact) {
    auto reader = AudioReader::open(path("ramp.wav"), 0, kMixFormat);
    ASSERT_TRUE(reader);
    for (double t : {0.0, 1.2345, 0.01, 2.0, 0.4999}) {
        ASSERT_TRUE((*reader)->seek(at(t)));
        const auto got = readAudio(**reader, 64);
        ASSERT_EQ(got.size(), 128u);
        const std::int64_t first = at(t).samplesAt(48000);
        for (int i = 0; i < 64; i += 21) {
            const double when = static_cast<double>(first + i) / 48000;
            EXPECT_NEAR(got[static_cast<std::size_t>(2 * i)], ramp(when, 0), 1.0 / 16384)
                << "t " << t << " i " << i;
            EXPECT_NEAR(got[static_cast<std::size_t>(2 * i + 1)], ramp(when, 1), 1.0 / 16384);
        }
    }
}

TEST_F(DecodeTest, ReadingToTheEndDeliversTheWholeTrackOnce) {
    struct Case {
        const char* file;
        std::int64_t frames;  // at 48 kHz
        std::int64_t slack;
    };
    const Case cases[] = {{"ramp.wav", 120000, 0}, {"ramp22.wav", 120000, 8}, {"beeps.mp3", 120000, 2400}};
    for (const Case& c : cases) {
        auto reader = AudioReader::open(path(c.file), 0, kMixFormat);
        ASSERT_TRUE(reader) << c.file;
        std::vector<float> block(4096 * 2);
        std::int64_t total = 0;
        for (;;) {
            auto got = (*reader)->read(block);
            ASSERT_TRUE(got);
            if (*got == 0) break;
            total += static_cast<std::int64_t>(*got);
        }
        EXPECT_NEAR(static_cast<double>(total), static_cast<double>(c.frames), static_cast<double>(c.slack))
            << c.file;
    }
}

// Beeps of every supported codec begin where they were written, after a seek
// and after resampling, within 3 ms (lossy codecs smear onsets a little).
// Times count from the track's first sample: an MP3's encoder delay puts
// that 25 ms into the stream.
TEST_F(DecodeTest, BeepOnsetsLandAtTheirTimeInEveryCodec) {
    for (const char* file : {"bars.mov", "beeps.wav", "beeps.mp3", "beeps.opus", "beeps.m4a"}) {
        auto reader = AudioReader::open(path(file), 0, kMixFormat);
        ASSERT_TRUE(reader) << file << ": " << reader.error().message;
        for (double beep : {kBeepTimes[2], kBeepTimes[0], kBeepTimes[1]}) {
            const double from = (*reader)->track().range.start.seconds() + beep - 0.1;
            ASSERT_TRUE((*reader)->seek(at(from)));
            const auto got = readAudio(**reader, 9600);
            ASSERT_EQ(got.size(), 9600u * 2) << file;
            std::size_t onset = got.size();
            for (std::size_t i = 0; i < got.size(); ++i) {
                if (std::fabs(got[i]) > 0.3f) {
                    onset = i / 2;
                    break;
                }
            }
            EXPECT_NEAR(static_cast<double>(onset) / 48000, 0.1, 0.003) << file << " beep at " << beep;
        }
    }
}

TEST_F(DecodeTest, ChannelsAreMixedOrDuplicatedToTheRequestedCount) {
    auto mono = AudioReader::open(path("beeps.m4a"), 0, kMixFormat);  // a mono file
    ASSERT_TRUE(mono);
    ASSERT_TRUE((*mono)->seek(at(0.5)));
    const auto stereo = readAudio(**mono, 2400);
    ASSERT_EQ(stereo.size(), 4800u);
    float loudest = 0;
    for (std::size_t i = 0; i < 2400; ++i) {
        EXPECT_FLOAT_EQ(stereo[2 * i], stereo[2 * i + 1]);
        loudest = std::max(loudest, std::fabs(stereo[2 * i]));
    }
    // Full level on both sides, not 3 dB down.
    EXPECT_NEAR(loudest, 0.8f, 0.05f);

    auto down = AudioReader::open(path("ramp.wav"), 0, AudioFormat{22050, 1, SampleType::s16});
    ASSERT_TRUE(down);
    std::vector<std::int16_t> samples(22050);
    auto got = (*down)->read(samples);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, 22050u);
    // The two channels of the ramp are opposite: their mono mix is silence.
    EXPECT_LE(*std::max_element(samples.begin(), samples.end(),
                                [](auto a, auto b) { return std::abs(a) < std::abs(b); }),
              40);
}

TEST_F(DecodeTest, AudioThatBeginsLateReadsAsSilenceBeforeItsStart) {
    TestMovieRecipe recipe;
    recipe.frames = 30;
    recipe.audioSeconds = 0.5;
    recipe.audioStartOffset = 24000;  // 0.5 s
    recipe.sound = [](double, int) { return 0.5f; };
    ASSERT_TRUE(testing::writeTestMovie(path("late.mov"), recipe));
    auto info = probeMedia(path("late.mov"));
    ASSERT_TRUE(info);
    ASSERT_EQ(info->audio.size(), 1u);
    // The AAC encoder's priming samples come first (no edit list hides them
    // in this file), so the range starts up to one codec frame early.
    EXPECT_NEAR(info->audio[0].range.start.seconds(), 0.5, 0.025);
    EXPECT_LE(info->audio[0].range.start.seconds(), 0.5);

    auto reader = AudioReader::open(path("late.mov"), 0, kMixFormat);
    ASSERT_TRUE(reader);
    ASSERT_TRUE((*reader)->seek(kZeroTime));
    const auto got = readAudio(**reader, 48000);
    ASSERT_EQ(got.size(), 96000u);
    EXPECT_EQ(got[2 * 20000], 0.0f);
    EXPECT_NEAR(got[2 * 30000], 0.5f, 0.05f);
}

}  // namespace
}  // namespace vorpix::media
