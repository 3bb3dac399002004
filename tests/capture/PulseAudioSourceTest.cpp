// The sound sources and microphone list against a private PulseAudio server
// that plays a 440 Hz tone into the default output and offers a 1000 Hz
// microphone (PulseTestServer.h).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "PulseTestServer.h"
#include "capture/AudioDevices.h"
#include "capture/HostClock.h"

namespace vorpix::capture {
namespace {

using namespace std::chrono_literals;

// Frequency of channel 0 from its zero crossings, in Hz.
double frequencyOf(const std::vector<float>& mono, int rate) {
    int crossings = 0;
    for (std::size_t i = 1; i < mono.size(); ++i) crossings += (mono[i - 1] < 0) != (mono[i] < 0);
    return crossings / 2.0 / (static_cast<double>(mono.size()) / rate);
}

double rmsOf(const std::vector<float>& mono) {
    double sum = 0;
    for (float v : mono) sum += double(v) * v;
    return mono.empty() ? 0 : std::sqrt(sum / static_cast<double>(mono.size()));
}

// What a source delivered, collected on its thread.
struct Capture {
    std::mutex mutex;
    std::vector<float> mono;  // channel 0
    std::vector<AudioChunk> chunks;  // samples span left dangling: only the facts are read
    std::vector<double> lateness;    // arrival minus the end of the chunk, seconds
    std::atomic<int> failures{0};
    std::atomic<int> chunksAfterFailure{0};

    AudioSource::ChunkHandler onChunk() {
        return [this](const AudioChunk& c) {
            const double now = hostSeconds();
            std::lock_guard lock(mutex);
            if (failures > 0) ++chunksAfterFailure;
            for (std::size_t i = 0; i < c.samples.size(); i += static_cast<std::size_t>(c.channels))
                mono.push_back(c.samples[i]);
            chunks.push_back({{}, c.channels, c.sampleRate, c.hostTime});
            lateness.push_back(now - (c.hostTime + double(c.samples.size() / c.channels) / c.sampleRate));
        };
    }
    AudioSource::FailureHandler onFailure() {
        return [this](const Error&) { ++failures; };
    }
};

class PulseAudioTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { startError_ = server_.start(); }
    static void TearDownTestSuite() { server_.stop(); }
    void SetUp() override { ASSERT_EQ(startError_, ""); }

    static inline testing::PulseTestServer server_;
    static inline std::string startError_;
};

TEST_F(PulseAudioTest, SourcesCarryTheirToneStampedOnTheHostClock) {
    struct Case {
        const char* name;
        std::unique_ptr<AudioSource> (*make)();
        int channels;
        double hz;
    } cases[] = {
        {"system audio", [] { return makeSystemAudioSource(); }, 2, testing::PulseTestServer::kOutputToneHz},
        {"microphone by id", [] { return makeMicrophoneSource("vorpix_test_mic"); }, 1,
         testing::PulseTestServer::kMicrophoneToneHz},
        {"default microphone", [] { return makeMicrophoneSource(""); }, 1, testing::PulseTestServer::kMicrophoneToneHz},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        Capture got;
        auto source = c.make();
        const double started = hostSeconds();
        ASSERT_TRUE(source->start(got.onChunk(), got.onFailure()));
        std::this_thread::sleep_for(700ms);
        source->stop();
        std::lock_guard lock(got.mutex);
        ASSERT_GT(got.chunks.size(), 10u);
        EXPECT_EQ(got.chunks.front().channels, c.channels);
        EXPECT_EQ(got.chunks.front().sampleRate, 48000);
        EXPECT_NEAR(frequencyOf(got.mono, 48000), c.hz, c.hz * 0.02);
        EXPECT_GT(rmsOf(got.mono), 0.05);
        // Captured after the start, never in the future, and in order without overlap.
        EXPECT_GT(got.chunks.front().hostTime, started - 0.1);
        EXPECT_EQ(std::count_if(got.lateness.begin(), got.lateness.end(),
                                [](double late) { return late < -0.005 || late > 0.15; }),
                  0);
        int disorder = 0;
        for (std::size_t i = 1; i < got.chunks.size(); ++i)
            disorder += got.chunks[i].hostTime <= got.chunks[i - 1].hostTime;
        EXPECT_EQ(disorder, 0);
        EXPECT_EQ(got.failures, 0);
    }
}

TEST_F(PulseAudioTest, UnpluggedMicrophoneFailsOnceAndStopsDelivering) {
    const auto module = testing::PulseTestServer::plugMicrophone("vorpix_plug");
    ASSERT_TRUE(module);
    Capture got;
    auto source = makeMicrophoneSource("vorpix_plug");
    ASSERT_TRUE(source->start(got.onChunk(), got.onFailure()));
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(testing::PulseTestServer::pactl("unload-module " + *module));
    for (int i = 0; i < 100 && got.failures == 0; ++i) std::this_thread::sleep_for(20ms);
    std::this_thread::sleep_for(200ms);
    source->stop();
    EXPECT_EQ(got.failures, 1);
    EXPECT_EQ(got.chunksAfterFailure, 0);
    EXPECT_GT(got.mono.size(), 4800u);
}

TEST_F(PulseAudioTest, MicrophoneListSkipsMonitorsAndFollowsPlugging) {
    auto list = listMicrophones();
    ASSERT_TRUE(list) << list.error().message;
    ASSERT_EQ(list->devices.size(), 1u);
    EXPECT_EQ(list->devices[0].id, "vorpix_test_mic");
    EXPECT_EQ(list->devices[0].description, "Test_Microphone");
    EXPECT_EQ(list->defaultId, "vorpix_test_mic");

    std::mutex mutex;
    std::vector<std::vector<std::string>> seen;
    auto watcher = watchMicrophones([&](const MicrophoneList& l) {
        std::vector<std::string> ids;
        for (const auto& d : l.devices) ids.push_back(d.id);
        std::lock_guard lock(mutex);
        seen.push_back(ids);
    });
    ASSERT_TRUE(watcher) << watcher.error().message;
    auto waitFor = [&](std::vector<std::string> ids) {
        for (int i = 0; i < 150; ++i) {
            {
                std::lock_guard lock(mutex);
                if (!seen.empty() && seen.back() == ids) return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    };
    EXPECT_TRUE(waitFor({"vorpix_test_mic"}));
    const auto module = testing::PulseTestServer::plugMicrophone("vorpix_usb_mic");
    ASSERT_TRUE(module);
    EXPECT_TRUE(waitFor({"vorpix_test_mic", "vorpix_usb_mic"}));
    ASSERT_TRUE(testing::PulseTestServer::pactl("unload-module " + *module));
    EXPECT_TRUE(waitFor({"vorpix_test_mic"}));
    watcher->reset();
    std::lock_guard lock(mutex);
    EXPECT_EQ(seen.size(), 3u);  // one call per change, none for unrelated events
}

TEST_F(PulseAudioTest, MissingServerOrDeviceIsOneLineAndNoHang) {
    auto unknown = makeMicrophoneSource("no_such_mic");
    const auto r1 = unknown->start([](const AudioChunk&) {}, [](const Error&) {});
    ASSERT_FALSE(r1);
    EXPECT_EQ(r1.error().code, kAudioDeviceNotFound);
    EXPECT_EQ(r1.error().message, "The microphone no_such_mic was not found.");

    const std::string server = getenv("PULSE_SERVER");
    setenv("PULSE_SERVER", "unix:/nonexistent/vorpix/native", 1);
    const double started = hostSeconds();
    const auto r2 = makeSystemAudioSource()->start([](const AudioChunk&) {}, [](const Error&) {});
    const auto r3 = listMicrophones();
    setenv("PULSE_SERVER", server.c_str(), 1);
    ASSERT_FALSE(r2);
    ASSERT_FALSE(r3);
    EXPECT_EQ(r2.error().code, kSoundServerUnavailable);
    EXPECT_EQ(r2.error().message.find('\n'), std::string::npos);
    EXPECT_NE(r3.error().message.find("No sound server is running"), std::string::npos);
    EXPECT_LT(hostSeconds() - started, 2.0);
}

}  // namespace
}  // namespace vorpix::capture
