// Capture metadata translated from a package: time mapping through slices,
// positions through crop and scale, clicks, and the events cache.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "PackageBuilder.h"
#include "import/ScreenStudioImport.h"
#include "model/AtomicFile.h"

namespace vorpix::import {
namespace {

using namespace fixtures;
using model::TimelineSlice;

// ---- Mapping package time onto source time ----------------------------------------

struct MappingCase {
    double packageSeconds;
    std::optional<double> sourceSeconds;
};

class PackageTimeMapping : public ::testing::TestWithParam<MappingCase> {};

TEST_P(PackageTimeMapping, ThroughTwoSlicesAndADoubleSpeedOne) {
    // 0-10 s at normal speed, a cut, 20-30 s, a cut, 40-50 s at double speed.
    const std::vector<TimelineSlice> slices{{0, 10, 1}, {20, 30, 1}, {40, 50, 2}};
    const auto mapped = mapPackageTime(GetParam().packageSeconds, slices);
    ASSERT_EQ(mapped.has_value(), GetParam().sourceSeconds.has_value()) << GetParam().packageSeconds;
    if (mapped) {
        EXPECT_NEAR(*mapped, *GetParam().sourceSeconds, 1e-9) << GetParam().packageSeconds;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Times, PackageTimeMapping,
    ::testing::Values(MappingCase{0, 0.0}, MappingCase{5, 5.0}, MappingCase{10, 10.0},
                      // Within half a millisecond past a slice's end still belongs to it.
                      MappingCase{10.0004, 10.0004}, MappingCase{10.001, std::nullopt},
                      MappingCase{15, std::nullopt},  // in the cut
                      MappingCase{19.9996, 9.9996},   // just before the next slice: its slack
                      MappingCase{20, 10.0}, MappingCase{25, 15.0}, MappingCase{30, 20.0},
                      MappingCase{40, 20.0}, MappingCase{44, 22.0}, MappingCase{50, 25.0},
                      MappingCase{50.1, std::nullopt},  // after the last slice
                      MappingCase{-0.0004, -0.0004}, MappingCase{-1, std::nullopt}));

TEST(PackageTimeMappingRules, NoSlicesKeepsTheTime) {
    EXPECT_EQ(mapPackageTime(-3.5, {}), -3.5);
    EXPECT_EQ(mapPackageTime(1e6, {}), 1e6);
}

TEST(PackageTimeMappingRules, TinyTimeScaleIsFloored) {
    // A slice at 1e-9 speed counts as 0.001: 1 s of package time is 1000 s.
    const std::vector<TimelineSlice> slices{{0, 1, 1e-9}, {2, 3, 1}};
    EXPECT_NEAR(*mapPackageTime(0.5, slices), 500.0, 1e-6);
    EXPECT_NEAR(*mapPackageTime(2.5, slices), 1000.5, 1e-6);
}

// ---- Building events from texts ------------------------------------------------------

Header cutHeader() {
    Header header;
    header.crop = {100, 50, 1440, 900};
    header.scale = 2.0;
    header.pixelWidth = 2880;
    header.pixelHeight = 1800;
    header.unixStart = kUnixStartMs;
    header.slicedDuration = 20;
    header.videoRelative = "recording/screen.mp4";
    header.slices = {{0, 10, 1}, {20, 30, 1}};
    return header;
}

TEST(ScreenStudioBuildEvents, SamplesMapTimesAndPositions) {
    const Json moves = Json::parse(R"([
        {"x": 100, "y": 50, "unixTimeMs": 1700000001000},
        {"x": "110.5", "y": 60, "t": 99, "unixTimeMs": 1700000025000},
        {"x": 200, "y": 80, "t": 2.5},
        {"x": 1, "y": 1, "unixTimeMs": 1700000015000},
        {"t": 3},
        "not an object",
        {"x": 1, "y": 1, "unixTimeMs": "nope", "t": 4}
    ])");
    const auto events = buildSessionEvents(cutHeader(), moves.dump(), std::nullopt);
    const std::vector<model::MouseSample> expected{
        {1.0, 0.0, 0.0},     // unix time wins; crop origin maps to 0, 0
        {15.0, 21.0, 20.0},  // 25 s in the second slice; (110.5 - 100) * 2
        {2.5, 200.0, 60.0},  // no unix time: "t" in seconds
        // the one at 15 s falls in the cut
        {3.0, -200.0, -100.0},  // absent position: 0, 0 before the crop offset
        {4.0, -198.0, -98.0},   // unreadable unix time: "t"
    };
    EXPECT_EQ(events.samples, expected);
    EXPECT_TRUE(events.clicks.empty());
}

TEST(ScreenStudioBuildEvents, ClicksKeepOnlyPressesAndReadTheButton) {
    const Json clicks = Json::parse(R"([
        {"type": "mousedown", "x": 100, "y": 50, "unixTimeMs": 1700000002000, "button": "left"},
        {"type": "mouseup",   "x": 100, "y": 50, "unixTimeMs": 1700000002100, "button": "left"},
        {"type": "MouseDown", "x": 101, "y": 51, "unixTimeMs": 1700000003000, "button": "RIGHT"},
        {"type": "click",     "x": 102, "y": 52, "unixTimeMs": 1700000015000, "button": "right"},
        {"type": "click",     "x": 103, "y": 53, "unixTimeMs": 1700000025000, "button": 1},
        {"type": "Click",     "x": 104, "y": 54, "t": 5},
        {"x": 105, "y": 55, "t": 6},
        {"type": "mousedown", "x": 106, "y": 56, "unixTimeMs": 1700000031000}
    ])");
    const auto events = buildSessionEvents(cutHeader(), std::nullopt, clicks.dump());
    const std::vector<model::ClickEvent> expected{
        {2.0, 0.0, 0.0, 0},
        {3.0, 2.0, 2.0, 1},
        // the click at 15 s falls in the cut between the slices
        {15.0, 6.0, 6.0, 0},  // a numeric button is not "right"
        {5.0, 8.0, 8.0, 0},
        // no type: ignored; after the last slice: dropped
    };
    EXPECT_EQ(events.clicks, expected);
}

TEST(ScreenStudioBuildEvents, UnreadableMouseFilesGiveNoEvents) {
    for (const char* text : {"", "{not json", "{\"x\": 1}", "42", "[[1, 2]]"}) {
        const auto events = buildSessionEvents(cutHeader(), std::string(text), std::string(text));
        EXPECT_TRUE(events.samples.empty()) << text;
        EXPECT_TRUE(events.clicks.empty()) << text;
    }
}

TEST(ScreenStudioBuildEvents, OverflowingNumbersAreDropped) {
    Header header = cutHeader();
    header.slices.clear();
    const Json moves = Json::parse(
        R"([{"x": 1e308, "y": 0, "t": 1}, {"x": 0, "y": "-1e308", "t": 1}, {"x": 1, "y": 1, "t": 2}])");
    const auto events = buildSessionEvents(header, moves.dump(), std::nullopt);
    ASSERT_EQ(events.samples.size(), 1u);
    EXPECT_EQ(events.samples[0].t, 2.0);
    EXPECT_TRUE(model::encodeSessionEvents(events).ok());
}

TEST(ScreenStudioBuildEvents, OptionalFieldsOnlyWhenPresent) {
    Header bare = cutHeader();
    bare.slices.clear();
    const auto plain = buildSessionEvents(bare, std::nullopt, std::nullopt);
    EXPECT_FALSE(plain.webcamOffset.has_value());
    EXPECT_FALSE(plain.webcamFile.has_value());
    EXPECT_FALSE(plain.extraAudioFiles.has_value());
    EXPECT_FALSE(plain.slices.has_value());

    Header full = cutHeader();
    full.extraAudio = {"recording/mic.m4a"};
    full.webcam = WebcamTrack{"recording/camera.mp4", 0.75};
    const auto events = buildSessionEvents(full, std::nullopt, std::nullopt);
    EXPECT_EQ(events.pixelWidth, 2880);
    EXPECT_EQ(events.pixelHeight, 1800);
    EXPECT_DOUBLE_EQ(events.scaleFactor, 2.0);
    EXPECT_DOUBLE_EQ(events.duration, 20.0);
    EXPECT_EQ(events.webcamOffset, 0.75);
    EXPECT_EQ(events.webcamFile, "recording/camera.mp4");
    EXPECT_EQ(events.extraAudioFiles, (std::vector<std::string>{"recording/mic.m4a"}));
    EXPECT_EQ(events.slices, full.slices);
}

// ---- loadEvents on disk and its cache --------------------------------------------------

class ScreenStudioEvents : public ::testing::Test {
protected:
    fs::path data() const { return temp_.path() / "data"; }
    fs::path packagePath(const std::string& name = "Talk.screenstudio") const { return temp_.path() / name; }

    PackageBuilder cutPackage(const std::string& name = "Talk.screenstudio") const {
        auto builder = PackageBuilder::standard(packagePath(name));
        builder
            .project(
                {{"scenes", Json::array({{{"slices", Json::parse(R"([{"sourceStartMs":0,"sourceEndMs":10000},
                                                                  {"sourceStartMs":20000,"sourceEndMs":30000}])")}}})}})
            .mouseClicks(Json::parse(R"([
                {"type":"mousedown","x":10,"y":20,"unixTimeMs":1700000015000},
                {"type":"mousedown","x":30,"y":40,"unixTimeMs":1700000025000,"button":"right"}])"))
            .mouseMoves(Json::parse(R"([{"x":5,"y":6,"unixTimeMs":1700000001000}])"));
        return builder;
    }

    TempFolder temp_;
};

TEST_F(ScreenStudioEvents, CutBetweenSlicesDropsClicks) {
    cutPackage();
    auto events = loadEvents(packagePath(), data());
    ASSERT_TRUE(events.ok()) << events.error().message;
    EXPECT_DOUBLE_EQ(events->duration, 20.0);
    ASSERT_EQ(events->clicks.size(), 1u);
    EXPECT_EQ(events->clicks[0], (model::ClickEvent{15.0, 30, 40, 1}));
    EXPECT_EQ(events->samples, (std::vector<model::MouseSample>{{1.0, 5, 6}}));
    EXPECT_EQ(events->slices, (std::vector<TimelineSlice>{{0, 10, 1}, {20, 30, 1}}));
}

TEST_F(ScreenStudioEvents, FirstMouseFileByNameWithJsonExtension) {
    auto builder = PackageBuilder::standard(packagePath());
    // Enough candidates that the folder's own listing order is unlikely to
    // put the first name first by chance.
    for (int i = 9; i >= 1; --i) {
        builder.mouseMoves(Json::array({Json{{"x", 2}, {"y", 2}, {"t", i}}}),
                           "mousemoves-" + std::to_string(i) + ".json");
    }
    builder.mouseMoves(Json::parse(R"([{"x":1,"y":1,"t":1}])"), "mousemoves-0.JSON")
        .mouseMoves(Json::parse(R"([{"x":9,"y":9,"t":9}])"), "mousemoves-00.txt")
        .mouseMoves(Json::parse(R"([{"x":8,"y":8,"t":8}])"), "Mousemoves-.json")
        .mouseClicks(Json::parse(R"([{"type":"click","t":3}])"), "mouseclicks.json");
    fs::create_directories(packagePath() / "recording" / "mousemoves-.json");  // a folder, not a file
    auto events = loadEvents(packagePath(), data());
    ASSERT_TRUE(events.ok()) << events.error().message;
    EXPECT_EQ(events->samples, (std::vector<model::MouseSample>{{1, 1, 1}}));
    EXPECT_EQ(events->clicks.size(), 1u);
}

TEST_F(ScreenStudioEvents, MissingMouseFilesGiveEmptyLists) {
    PackageBuilder::standard(packagePath());
    auto events = loadEvents(packagePath(), data());
    ASSERT_TRUE(events.ok()) << events.error().message;
    EXPECT_TRUE(events->samples.empty());
    EXPECT_TRUE(events->clicks.empty());
    EXPECT_DOUBLE_EQ(events->duration, 30.0);
}

TEST_F(ScreenStudioEvents, MouseFileLinkedOutsideIsRefused) {
    PackageBuilder::standard(packagePath());
    writeFile(temp_.path() / "moves.json", "[]");
    fs::create_symlink(temp_.path() / "moves.json", packagePath() / "recording" / "mousemoves-0.json");
    auto events = loadEvents(packagePath(), data());
    ASSERT_FALSE(events.ok());
    EXPECT_EQ(events.error().code, import_code::kOutsidePackage);
}

TEST_F(ScreenStudioEvents, HeaderErrorsPropagate) {
    PackageBuilder(packagePath())
        .metadata(metadataWith(Json::array({recorder("display", displaySession())})));
    auto events = loadEvents(packagePath(), data());
    ASSERT_FALSE(events.ok());
    EXPECT_EQ(events.error().message, "No video file in the package. It may still be online-only in Drive.");
}

TEST_F(ScreenStudioEvents, WrittenToTheCacheAndReusedOnTheNextOpen) {
    cutPackage();
    auto first = loadEvents(packagePath(), data());
    ASSERT_TRUE(first.ok());

    const fs::path cache = cacheFolder(packagePath(), data());
    auto cached = model::readSessionEvents(cache);
    ASSERT_TRUE(cached.ok()) << cached.error().message;
    EXPECT_EQ(cached.value(), first.value());

    // The package changes; the cache still answers.
    fs::remove(packagePath() / "recording" / "mouseclicks-0.json");
    auto second = loadEvents(packagePath(), data());
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(second.value(), first.value());
}

// The cache answers only for the package it was derived from.
TEST_F(ScreenStudioEvents, ReplacedPackageIsReadAfresh) {
    struct Case {
        const char* name;
        std::function<void()> change;
        std::size_t clicks;  // after the change
    };
    const fs::path metadata = packagePath() / "recording" / "metadata.json";
    const std::vector<Case> cases = {
        {"replaced at the same path", [&] { fs::remove_all(packagePath()); PackageBuilder::standard(packagePath()); }, 0},
        {"metadata rewritten", [&] { fs::remove(packagePath() / "recording" / "mouseclicks-0.json");
                                     writeFile(metadata, *model::readWholeFile(metadata) + " "); }, 0},
        {"metadata touched", [&] { fs::remove(packagePath() / "recording" / "mouseclicks-0.json");
                                   fs::last_write_time(metadata, fs::last_write_time(metadata) + std::chrono::seconds(1)); }, 0},
        {"unchanged", [] {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(packagePath());
        cutPackage();
        ASSERT_EQ(loadEvents(packagePath(), data())->clicks.size(), 1u);
        c.change();
        auto events = loadEvents(packagePath(), data());
        ASSERT_TRUE(events.ok()) << events.error().message;
        EXPECT_EQ(events->clicks.size(), c.clicks);
    }
}

TEST_F(ScreenStudioEvents, UndecodableCacheIsDerivedAgain) {
    cutPackage();
    const fs::path cache = cacheFolder(packagePath(), data());
    writeFile(cache / "events.json", R"({"pixelWidth": 1})");
    auto events = loadEvents(packagePath(), data());
    ASSERT_TRUE(events.ok());
    EXPECT_EQ(events->clicks.size(), 1u);
    EXPECT_TRUE(model::readSessionEvents(cache).ok());  // replaced with a good one
}

TEST_F(ScreenStudioEvents, UnwritableCacheIsIgnored) {
    cutPackage();
    const fs::path blocked = temp_.path() / "blocked";
    writeFile(blocked, "a file where the data folder should be");
    auto events = loadEvents(packagePath(), blocked);
    ASSERT_TRUE(events.ok()) << events.error().message;
    EXPECT_EQ(events->clicks.size(), 1u);
}

TEST_F(ScreenStudioEvents, EveryPathInTheEventsIsRelativeToThePackage) {
    PackageBuilder::standard(packagePath())
        .metadata(metadataWith(Json::array(
            {recorder("display", displaySession()), recorder("microphone", {{"outputFilename", "mic.m4a"}}),
             recorder("camera", {{"outputFilename", "cam.mp4"}, {"unixStartMs", kUnixStartMs + 40}})})))
        .media("mic.m4a", 9000)
        .media("cam.mp4", 9000);
    auto events = loadEvents(packagePath(), data());
    ASSERT_TRUE(events.ok());
    EXPECT_EQ(events->webcamFile, "recording/cam.mp4");
    EXPECT_NEAR(*events->webcamOffset, 0.04, 1e-12);
    EXPECT_EQ(events->extraAudioFiles, (std::vector<std::string>{"recording/mic.m4a"}));
    EXPECT_TRUE(fs::exists(packagePath() / *events->webcamFile));
}

}  // namespace
}  // namespace vorpix::import
