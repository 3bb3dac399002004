// The webcam path without a camera: V4L2's format choice as a table, the
// frame decoder on canned YUYV, BGRA and MJPEG buffers, and the recorder
// driven by the generated camera into a real "webcam.mov".

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include <linux/videodev2.h>

#include "capture/CameraFrameDecoder.h"
#include "capture/FakeCamera.h"
#include "capture/HostClock.h"
#include "capture/V4l2Camera.h"
#include "capture/WebcamRecorder.h"
#include "media/MediaProbe.h"
#include "media/VideoReader.h"

namespace vorpix::capture {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kMjpg = V4L2_PIX_FMT_MJPEG;
constexpr std::uint32_t kYuyv = V4L2_PIX_FMT_YUYV;
constexpr std::uint32_t kH264 = V4L2_PIX_FMT_H264;

TEST(V4l2FormatTest, PrefersExact720pThenNearestSizeThenMjpeg) {
    struct Case {
        const char* name;
        std::vector<V4l2Offer> offers;
        std::optional<V4l2Offer> chosen;
    } cases[] = {
        {"mjpeg before yuyv at 720p", {{kYuyv, 1280, 720}, {kMjpg, 1280, 720}}, V4l2Offer{kMjpg, 1280, 720}},
        {"exact size beats a better format", {{kMjpg, 1920, 1080}, {kYuyv, 1280, 720}}, V4l2Offer{kYuyv, 1280, 720}},
        {"nearest pixel count", {{kMjpg, 1920, 1080}, {kYuyv, 640, 480}, {kH264, 1280, 720}}, V4l2Offer{kYuyv, 640, 480}},
        {"larger of two equally near", {{kYuyv, 960, 540}, {kYuyv, 1380, 960}}, V4l2Offer{kYuyv, 1380, 960}},
        {"only unusable formats", {{kH264, 1280, 720}, {V4L2_PIX_FMT_NV12, 1280, 720}}, std::nullopt},
        {"degenerate sizes", {{kYuyv, 1, 1}, {kMjpg, 0, 720}}, std::nullopt},
        {"nothing offered", {}, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(chooseV4l2Format(c.offers), c.chosen) << c.name;
}

// A yuv420p frame of the size, filled with luma 7 so that a failed decode shows.
media::FramePtr outputFrame(int width, int height) {
    media::FramePtr f = media::makeFrame();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = width;
    f->height = height;
    f->color_range = AVCOL_RANGE_MPEG;
    EXPECT_GE(av_frame_get_buffer(f.get(), 0), 0);
    for (int y = 0; y < height; ++y) std::fill_n(f->data[0] + y * f->linesize[0], width, 7);
    return f;
}

int lumaAt(const AVFrame& f, int x, int y) { return f.data[0][y * f.linesize[0] + x]; }

TEST(CameraFrameDecoderTest, CannedBuffersOfEachLayout) {
    std::ifstream file(std::string(VORPIX_TEST_DATA_DIR) + "/dark-light-32x16.jpg", std::ios::binary);
    const std::vector<std::uint8_t> jpeg{std::istreambuf_iterator<char>(file), {}};
    ASSERT_GT(jpeg.size(), 100u);
    // YUYV: luma 50 + 10 x column, neutral chroma; BGRA: grey 200.
    std::vector<std::uint8_t> yuyv;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) yuyv.insert(yuyv.end(), {static_cast<std::uint8_t>(50 + 10 * x), 128});
    const std::vector<std::uint8_t> bgra(4 * 2 * 4, 200);
    const std::span<const std::uint8_t> torn(jpeg.data(), jpeg.size() / 3);

    struct Case {
        const char* name;
        CameraFrame frame;
        int outWidth, outHeight;
        bool ok;
        std::vector<std::pair<int, int>> lumaAtColumns;  // (x at row 0, expected luma) within 3
    } cases[] = {
        {"yuyv keeps luma", {CameraPixelFormat::yuyv, 4, 2, 8, yuyv, 0}, 4, 2, true, {{0, 50}, {3, 80}}},
        {"bgra grey to limited range", {CameraPixelFormat::bgra, 4, 2, 16, bgra, 0}, 4, 2, true, {{0, 188}, {3, 188}}},
        {"mjpeg full to limited range", {CameraPixelFormat::mjpeg, 32, 16, 0, jpeg, 0}, 32, 16, true, {{2, 71}, {29, 181}}},
        {"mjpeg scaled down", {CameraPixelFormat::mjpeg, 32, 16, 0, jpeg, 0}, 16, 8, true, {{1, 71}, {14, 181}}},
        {"torn mjpeg", {CameraPixelFormat::mjpeg, 32, 16, 0, torn, 0}, 32, 16, false, {{0, 7}}},
        {"short yuyv", {CameraPixelFormat::yuyv, 4, 4, 8, yuyv, 0}, 4, 4, false, {{0, 7}}},
        {"stride below width", {CameraPixelFormat::yuyv, 4, 2, 6, yuyv, 0}, 4, 2, false, {{0, 7}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CameraFrameDecoder decoder;
        media::FramePtr out = outputFrame(c.outWidth, c.outHeight);
        const auto result = decoder.decode(c.frame, *out);
        EXPECT_EQ(result.ok(), c.ok);
        if (!result.ok()) {
            EXPECT_EQ(result.error().message.find('\n'), std::string::npos);
        }
        for (auto [x, luma] : c.lumaAtColumns) EXPECT_NEAR(lumaAt(*out, x, 0), luma, 3) << "x " << x;
    }
}

TEST(V4l2CamerasTest, NoVideoDeviceMeansNoCamera) {
    if (std::filesystem::exists("/dev/video0")) GTEST_SKIP() << "this machine has a camera";
    EXPECT_TRUE(makeV4l2Cameras()->devices().empty());
    WebcamRecorder recorder(std::filesystem::temp_directory_path() / "vorpix-no-camera.mov", makeV4l2Cameras());
    const auto started = recorder.start(std::nullopt);
    ASSERT_FALSE(started);
    EXPECT_EQ(started.error().message, "No camera was found.");
}

class WebcamRecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("vorpix-webcam-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::filesystem::path movie() const { return folder_ / "webcam.mov"; }

    std::filesystem::path folder_;
    const std::vector<CameraDevice> twoCameras_{{"cam0", "Fake Camera"}, {"cam1", "Other Camera"}};
};

TEST_F(WebcamRecorderTest, WritesTheCameraFramesAtTheirTimes) {
    FakeCameraSettings settings;
    settings.width = 320;
    settings.height = 240;
    auto cameras = std::make_shared<FakeCameraBackend>(twoCameras_, settings);
    WebcamRecorder recorder(movie(), cameras);
    const double started = hostSeconds();
    ASSERT_TRUE(recorder.start(std::string("cam1")));
    std::this_thread::sleep_for(1000ms);
    const auto outcome = recorder.finish();
    ASSERT_FALSE(outcome.error) << outcome.error->message;
    EXPECT_EQ(cameras->lastOpened(), "cam1");
    // The first frame's capture time: the offset against the screen's first
    // frame is this minus that frame's host time.
    ASSERT_TRUE(outcome.firstHostTime);
    EXPECT_GE(*outcome.firstHostTime, started);
    EXPECT_LT(*outcome.firstHostTime, started + 0.1);

    auto info = media::probeMedia(movie());
    ASSERT_TRUE(info) << info.error().message;
    ASSERT_EQ(info->video.size(), 1u);
    EXPECT_EQ(info->video[0].codecName, "h264");
    EXPECT_EQ(info->video[0].width, 320);
    EXPECT_EQ(info->video[0].height, 240);
    EXPECT_NEAR(info->duration.seconds(), 1.0, 0.2);
    // Frame n of the fake shows its own luma at n / 30 s into the movie.
    auto reader = media::VideoReader::open(movie());
    ASSERT_TRUE(reader);
    // The movie starts with its first frame: the offset needs nothing else.
    const double first = (*reader)->track().range.start.seconds();
    EXPECT_EQ(first, 0);
    for (int n : {0, 1, 12, 25}) {
        auto frame = (*reader)->frameAt(media::MediaTime::fromSeconds(first + n / 30.0 + 0.005));
        ASSERT_TRUE(frame);
        EXPECT_NEAR(lumaAt((*frame)->av(), 160, 120), fakeCameraLuma(n), 3) << "frame " << n;
    }
}

TEST_F(WebcamRecorderTest, FailuresAreOneLineAndLeaveNoFile) {
    struct Case {
        const char* name;
        std::vector<CameraDevice> devices;
        FakeCameraSettings settings;
        const char* startError;   // null: start succeeds
        const char* finishError;  // null: a movie is kept
    };
    auto with = [](auto change) {
        FakeCameraSettings s;
        change(s);
        return s;
    };
    const Case cases[] = {
        {"no camera", {}, {}, "No camera was found.", nullptr},
        {"busy camera", twoCameras_, with([](auto& s) { s.busy = true; }), "The camera Fake Camera is busy: another program is using it.", nullptr},
        {"no frames", twoCameras_, with([](auto& s) { s.silent = true; }), nullptr, "No frames were received from the webcam."},
        // Pictures that never decode: the movie was begun and must go.
        {"undecodable frames", twoCameras_, with([](auto& s) { s.format = CameraPixelFormat::mjpeg; }), nullptr,
         "No frames were received from the webcam."},
        {"unplugged after 4 frames", twoCameras_, with([](auto& s) {
             s.width = 64;
             s.height = 48;
             s.unplugAfterFrames = 4;
         }), nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto cameras = std::make_shared<FakeCameraBackend>(c.devices, c.settings);
        WebcamRecorder recorder(movie(), cameras);
        const auto started = recorder.start(std::string("no-such-camera"));
        if (c.startError) {
            ASSERT_FALSE(started);
            EXPECT_EQ(started.error().message, c.startError);
            EXPECT_FALSE(std::filesystem::exists(movie()));
            continue;
        }
        ASSERT_TRUE(started);
        EXPECT_EQ(cameras->lastOpened(), "cam0");  // an unknown id falls back to the first camera
        std::this_thread::sleep_for(300ms);
        const auto outcome = recorder.finish();
        if (c.finishError) {
            ASSERT_TRUE(outcome.error);
            EXPECT_EQ(outcome.error->message, c.finishError);
            EXPECT_EQ(outcome.error->code, kNoWebcamFrames);
            EXPECT_FALSE(outcome.firstHostTime);
            EXPECT_FALSE(std::filesystem::exists(movie()));
        } else {
            ASSERT_FALSE(outcome.error) << outcome.error->message;
            auto info = media::probeMedia(movie());
            ASSERT_TRUE(info) << info.error().message;
            EXPECT_NEAR(info->duration.seconds(), 4 / 30.0, 0.05);
            std::filesystem::remove(movie());
        }
    }
}

}  // namespace
}  // namespace vorpix::capture
