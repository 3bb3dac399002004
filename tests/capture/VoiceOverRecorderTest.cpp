// The voice-over recorder on the private PulseAudio server, whose default
// microphone carries a 1000 Hz tone (PulseTestServer.h).

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "PulseTestServer.h"
#include "capture/ToneAudioSource.h"
#include "capture/VoiceOverRecorder.h"
#include "media/AudioReader.h"

namespace vorpix::capture {
namespace {

using namespace std::chrono_literals;

class VoiceOverRecorderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { startError_ = server_.start(); }
    static void TearDownTestSuite() { server_.stop(); }
    void SetUp() override {
        ASSERT_EQ(startError_, "");
        folder_ = std::filesystem::temp_directory_path() / ("vorpix-vo-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    static inline testing::PulseTestServer server_;
    static inline std::string startError_;
    std::filesystem::path folder_;
};

TEST_F(VoiceOverRecorderTest, RecordsTheMicrophoneAsMonoAacM4a) {
    VoiceOverRecorder recorder;
    EXPECT_EQ(recorder.stop(), std::nullopt);  // nothing recorded yet
    int changes = 0;
    QObject::connect(&recorder, &VoiceOverRecorder::isRecordingChanged, [&] { ++changes; });

    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch()).count();
    auto path = recorder.start(folder_);
    ASSERT_TRUE(path) << path.error().message;
    EXPECT_TRUE(recorder.isRecording());
    const std::string name = path->filename().string();
    EXPECT_TRUE(name == "voiceover-" + std::to_string(seconds) + ".m4a" ||
                name == "voiceover-" + std::to_string(seconds + 1) + ".m4a") << name;
    std::this_thread::sleep_for(1000ms);
    EXPECT_EQ(recorder.stop(), *path);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(recorder.stop(), *path);  // the last narration, nothing else changes
    EXPECT_EQ(changes, 2);

    auto reader = media::AudioReader::open(*path, 0, {48000, 1, media::SampleType::f32});
    ASSERT_TRUE(reader) << reader.error().message;
    EXPECT_EQ((*reader)->track().codecName, "aac");
    EXPECT_EQ((*reader)->track().sampleRate, 48000);
    EXPECT_EQ((*reader)->track().channels, 1);
    std::vector<float> samples(96000);
    auto got = (*reader)->read(std::span<float>(samples));
    ASSERT_TRUE(got);
    EXPECT_NEAR(static_cast<double>(*got) / 48000, 1.0, 0.25);
    // The tone, from the zero crossings of the middle half second.
    int crossings = 0;
    for (std::size_t i = 12000; i < 36000; ++i) crossings += (samples[i - 1] < 0) != (samples[i] < 0);
    EXPECT_NEAR(crossings / 2.0 / 0.5, testing::PulseTestServer::kMicrophoneToneHz, 20);
}

TEST_F(VoiceOverRecorderTest, FailedStartLeavesNoFileAndIsNotRecording) {
    // A microphone that cannot start: a tone of no channels.
    VoiceOverRecorder recorder(nullptr, [] {
        ToneSettings broken;
        broken.channels = 0;
        return std::make_unique<ToneAudioSource>(broken);
    });
    const auto path = recorder.start(folder_);
    ASSERT_FALSE(path);
    EXPECT_EQ(path.error().code, kVoiceOverStart);
    EXPECT_EQ(path.error().message, "Could not start the voice recording.");
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(recorder.stop(), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_empty(folder_));
}

}  // namespace
}  // namespace vorpix::capture
