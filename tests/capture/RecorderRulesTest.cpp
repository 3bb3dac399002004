// The recorder's pure rules: region resolution, the pointer tracker's
// samples and clicks, the stream writer's bit rate and the journal of a
// take as a crash leaves it.

#include <gtest/gtest.h>

#include <fstream>

#include "capture/BgraToYuv420.h"
#include "capture/CaptureRegion.h"
#include "capture/InputTracker.h"
#include "capture/StreamWriter.h"
#include "capture/TakeJournal.h"

namespace vorpix::capture {
namespace {

TEST(CaptureRegion, ResolvesAgainstTheDisplay) {
    struct Case {
        const char* name;
        PointRect rect;
        double scale;
        std::optional<ResolvedRegion> expected;
    };
    const Case cases[] = {
        {"9 points wide", {10, 10, 9, 200}, 1, std::nullopt},
        {"outside", {2000, 10, 100, 100}, 1, std::nullopt},
        {"zero scale", {0, 0, 100, 100}, 0, std::nullopt},
        {"rounded and made even", {0, 0, 100.3, 50.2}, 2, ResolvedRegion{{0, 0, 100, 50}, 200, 100}},
        {"odd width loses a bit", {0, 0, 1919, 1080}, 1, ResolvedRegion{{0, 0, 1918, 1080}, 1918, 1080}},
        {"clipped at the right edge", {1800, 0, 500, 100}, 1, ResolvedRegion{{1800, 0, 120, 100}, 120, 100}},
        // 1.25 × 105.5 = 131.875 → 132 px = 105.6 points: past the right edge, so shifted left.
        {"shifted back inside", {1814.5, 0, 105.5, 100}, 1.25, ResolvedRegion{{1814.4, 0, 105.6, 100}, 132, 124}},
    };
    for (const auto& c : cases) {
        const auto got = resolveRegion(c.rect, 1920, 1080, c.scale);
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.name;
        if (!got) continue;
        EXPECT_EQ(got->pixelWidth, c.expected->pixelWidth) << c.name;
        EXPECT_EQ(got->pixelHeight, c.expected->pixelHeight) << c.name;
        EXPECT_NEAR(got->source.x, c.expected->source.x, 1e-9) << c.name;
        EXPECT_NEAR(got->source.width, c.expected->source.width, 1e-9) << c.name;
    }
}

TEST(InputTracker, PositionsAndClicksFromPollAndEvents) {
    // Display at (1440, 0), region origin (100, 50), 2 pixels per point.
    InputTracker tracker(nullptr, {1440, 0, 100, 50, 2});
    struct Tick {
        PointerReading r;
        double t;
    };
    const Tick ticks[] = {
        {{1540, 50, false, false, 0, 0}, 0.00},    // (0, 0)
        {{1541.5, 60, true, false, 1, 0}, 0.01},   // edge and event together: click 1
        {{1541.5, 60, true, false, 0, 0}, 0.02},   // held: nothing
        {{1541.5, 60, false, false, 1, 0}, 0.03},  // pressed and released within the tick: click 2
        {{1541.5, 60, true, false, 0, 0}, 0.20},   // the poll first: click 3 ...
        {{1541.5, 60, true, false, 1, 0}, 0.21},   // ... and its event a tick late: nothing
        {{1541.5, 60, false, false, 0, 1}, 0.40},  // right, the event first: click 4 ...
        {{1541.5, 60, false, true, 0, 0}, 0.41},   // ... and the poll's edge a tick late: nothing
        {{1541.5, 60, false, false, 2, 0}, 0.60},  // two presses seen as events: clicks 5 and 6
        {{1541.5, 60, false, true, 0, 0}, 0.90},   // right again, no event (no XInput 2): click 7
    };
    // Stretches further apart than the tracker's matching window.
    for (const auto& k : ticks) tracker.tick(k.r, k.t + 100);
    const TrackedInput got = tracker.stop(100);
    ASSERT_EQ(got.samples.size(), std::size(ticks));
    EXPECT_EQ(got.samples[0], (model::MouseSample{0, 0, 0}));
    EXPECT_NEAR(got.samples[1].x, 3, 1e-9);
    EXPECT_NEAR(got.samples[1].y, 20, 1e-9);
    std::vector<std::pair<double, std::int64_t>> clicks;
    for (const auto& c : got.clicks) clicks.emplace_back(std::round(c.t * 100) / 100, c.button);
    const std::vector<std::pair<double, std::int64_t>> expected = {
        {0.01, 0}, {0.03, 0}, {0.20, 0}, {0.40, 1}, {0.60, 0}, {0.60, 0}, {0.90, 1}};
    EXPECT_EQ(clicks, expected);
}

TEST(InputTracker, RecordingTimeKeepsHalfASecondOfSamplesAndNoEarlyClicks) {
    TrackedInput host;
    host.samples = {{9.4, 1, 1}, {9.6, 2, 2}, {10.5, 3, 3}};
    host.clicks = {{9.99, 0, 0, 0}, {10.0, 1, 1, 1}};
    const TrackedInput got = toRecordingTime(host, 10.0);
    ASSERT_EQ(got.samples.size(), 2u);
    EXPECT_NEAR(got.samples[0].t, -0.4, 1e-9);
    ASSERT_EQ(got.clicks.size(), 1u);
    EXPECT_EQ(got.clicks[0].button, 1);
    EXPECT_TRUE(toRecordingTime({}, 5).samples.empty());
}

TEST(StreamWriter, BitRateHasAFloor) {
    EXPECT_EQ(StreamWriter::bitRateFor(1920, 1080), 8'294'400);
    EXPECT_EQ(StreamWriter::bitRateFor(1280, 720), 8'000'000);
    EXPECT_EQ(StreamWriter::bitRateFor(2880, 1800), 20'736'000);
}

TEST(TakeJournal, ReadsBackWhatACrashLeft) {
    const auto folder = std::filesystem::temp_directory_path() / ("vorpix-journal-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    {
        auto journal = TakeJournal::create(folder, {1918, 1080, 1.0}, folder / "raw.mov");
        ASSERT_TRUE(journal.ok());
        (*journal)->sample({99.5, 1.25, -3});
        (*journal)->firstFrame(100.125);
        (*journal)->click({100.5, 640, 360, 1});
    }  // flushed on destruction, as the thread does every 0.25 s
    std::ofstream(folder / kJournalFileName, std::ios::app) << "s 100.6 7";  // torn by the crash
    auto got = readJournal(folder);
    ASSERT_TRUE(got.ok());
    EXPECT_EQ(got->facts.pixelWidth, 1918);
    EXPECT_EQ(got->firstPTS, 100.125);
    ASSERT_EQ(got->input.samples.size(), 1u);
    EXPECT_EQ(got->input.samples[0], (model::MouseSample{99.5, 1.25, -3}));
    ASSERT_EQ(got->input.clicks.size(), 1u);
    EXPECT_EQ(got->input.clicks[0], (model::ClickEvent{100.5, 640, 360, 1}));

    std::ofstream(folder / kJournalFileName) << "not a journal\n";
    EXPECT_FALSE(readJournal(folder).ok());
    std::filesystem::remove_all(folder);
}

TEST(BgraToYuv420, FastPathMatchesThePortableOneAndKnownColours) {
    // 38 × 4: two 16-pixel blocks and a tail of six; rows padded to 160 bytes.
    constexpr int kW = 38, kH = 4, kStride = 160;
    std::vector<std::uint8_t> bgra(kStride * kH);
    std::uint32_t seed = 7;
    for (auto& b : bgra) b = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    for (int i = 0; i < 4; ++i) {  // pure white, red, green, blue in the first 2 × 2 blocks
        const std::uint8_t colour[4][3] = {{255, 255, 255}, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}};
        for (int px : {0, 1}) {
            for (int row : {0, 1}) std::copy(colour[i], colour[i] + 3, &bgra[row * kStride + (2 * i + px) * 4]);
        }
    }
    auto convert = [&](auto fn) {
        std::vector<std::uint8_t> y(kW * kH), u(kW / 2 * kH / 2), v(u.size());
        fn(bgra.data(), kStride, kW, kH, YuvPlanes{y.data(), u.data(), v.data(), kW, kW / 2, kW / 2});
        y.insert(y.end(), u.begin(), u.end());
        y.insert(y.end(), v.begin(), v.end());
        return y;
    };
    const auto fast = convert(bgraToYuv420);
    EXPECT_EQ(fast, convert(bgraToYuv420Portable));
    const std::size_t u0 = kW * kH, v0 = u0 + kW / 2 * kH / 2;
    // BT.709 limited range: white (235, 128, 128), red (63, 102, 240), green (173, 42, 26), blue (32, 240, 118).
    const int expected[4][3] = {{235, 128, 128}, {63, 102, 240}, {173, 42, 26}, {32, 240, 118}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(fast[2 * i], expected[i][0], 1) << i;
        EXPECT_NEAR(fast[u0 + i], expected[i][1], 1) << i;
        EXPECT_NEAR(fast[v0 + i], expected[i][2], 1) << i;
    }
}

}  // namespace
}  // namespace vorpix::capture
