// The edit document made from a package's own settings (zoom ranges, style,
// volume) and the cache's precedence once the user has edited.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "PackageBuilder.h"
#include "import/ScreenStudioImport.h"

namespace vorpix::import {
namespace {

using namespace fixtures;
using model::Project;
using model::StyleSettings;
using model::WebcamCorner;

Json withZoomRanges(Json ranges) {
    return Json{{"scenes", Json::array({Json{{"zoomRanges", std::move(ranges)}}})}};
}
Json withConfig(Json config) {
    return Json{{"config", std::move(config)}};
}

Project projectOf(const Json& root) {
    return projectFromPackage(root.dump());
}

TEST(ScreenStudioProjectZoom, RangesBecomeManualZoomSegments) {
    const Project project = projectOf(withZoomRanges(Json::parse(R"([
        {"startTime": 5000, "endTime": 7000, "zoom": 2.5, "type": "Follow-Cursor",
         "manualTargetPoint": {"x": 0.25, "y": "0.75"}},
        {"startTime": 1000, "endTime": 3000, "zoom": 1.0, "type": "click"},
        {"startTime": 8000, "endTime": 9000, "zoom": 3, "type": "manual", "isDisabled": true},
        {"startTime": 9000, "endTime": 9000},
        {"startTime": 12000, "endTime": 11000},
        {"startTime": "10000", "endTime": "11000", "type": "manual",
         "manualTargetPoint": {"x": -0.5, "y": 1.5}},
        "junk",
        {"endTime": 500, "isDisabled": false}
    ])")));
    ASSERT_TRUE(project.manualZoom.has_value());
    const auto& z = *project.manualZoom;
    // Sorted by start; package times used as they stand. Absent zoom: 1.9; 1.0 is raised to the least
    // magnification, 1.05; absent target: the middle, others clamped; "follow" (any case) and "click"
    // follow the cursor, absent and other types do not.
    std::vector<std::tuple<double, double, double, double, double, bool>> got;
    for (const auto& s : z) got.emplace_back(s.start, s.end, s.factor, s.centerX, s.centerY, s.followCursor);
    EXPECT_EQ(got, (decltype(got){{0, 0.5, 1.9, 0.5, 0.5, false},
                                  {1, 3, 1.05, 0.5, 0.5, true},
                                  {5, 7, 2.5, 0.25, 0.75, true},
                                  {10, 11, 1.9, 0, 1, false}}));
    EXPECT_NE(z[0].id, z[1].id);  // fresh, distinct ids
    EXPECT_NE(z[1].id, z[2].id);
}

TEST(ScreenStudioProjectZoom, FreshIdsEachRead) {
    const Json root = withZoomRanges(Json::parse(R"([{"startTime": 0, "endTime": 1000}])"));
    EXPECT_NE(projectOf(root).manualZoom->at(0).id, projectOf(root).manualZoom->at(0).id);
}

TEST(ScreenStudioProjectZoom, NoUsableRangesLeaveManualZoomAbsent) {
    for (const Json& root :
         {Json::object(), withZoomRanges(Json::array()),
          withZoomRanges(Json::parse(R"([{"startTime": 1, "endTime": 1}])")),
          withZoomRanges(Json::parse(R"([{"startTime": 0, "endTime": 9, "isDisabled": true}])")),
          Json{{"scenes", "nope"}}}) {
        EXPECT_FALSE(projectOf(root).manualZoom.has_value()) << root.dump();
    }
}

struct StyleCase {
    const char* what;
    Json config;
    void (*change)(StyleSettings&);  // from the default style to the expected one
};

class ScreenStudioStyle : public ::testing::TestWithParam<StyleCase> {};

TEST_P(ScreenStudioStyle, ConfigMapsOntoTheStyle) {
    StyleSettings expected;
    GetParam().change(expected);
    EXPECT_EQ(projectOf(withConfig(GetParam().config)).style, expected) << GetParam().what;
}

using S = StyleSettings;
using C = WebcamCorner;
INSTANTIATE_TEST_SUITE_P(
    Keys, ScreenStudioStyle,
    ::testing::Values(
        StyleCase{"nothing", Json::object(), [](S&) {}},
        StyleCase{"hide cursor", {{"hideCursor", true}}, [](S& s) { s.showCursor = false; }},
        StyleCase{"show cursor", {{"hideCursor", false}}, [](S&) {}},
        StyleCase{"hide cursor not a bool", {{"hideCursor", "yes"}}, [](S&) {}},
        StyleCase{"cursor size", {{"cursorSize", "2.5"}}, [](S& s) { s.cursorScale = 2.5; }},
        StyleCase{"corner radius", {{"windowBorderRadius", 12}}, [](S& s) { s.cornerRadius = 12; }},
        StyleCase{"shadow", {{"shadowIntensity", 0.3}}, [](S& s) { s.shadowOpacity = 0.3; }},
        StyleCase{"padding percent", {{"backgroundPaddingRatio", 12}}, [](S& s) { s.padding = 0.12; }},
        StyleCase{"padding capped", {{"backgroundPaddingRatio", 0.5}}, [](S& s) { s.padding = 0.25; }},
        StyleCase{"padding negative", {{"backgroundPaddingRatio", -1}}, [](S& s) { s.padding = 0; }},
        StyleCase{"padding one is a ratio", {{"backgroundPaddingRatio", 1}}, [](S& s) { s.padding = 0.25; }},
        StyleCase{"padding fraction", {{"backgroundPaddingRatio", 0.1}}, [](S& s) { s.padding = 0.1; }},
        StyleCase{"padding huge percent", {{"backgroundPaddingRatio", 80}}, [](S& s) { s.padding = 0.25; }},
        StyleCase{"hide camera", {{"hideCamera", true}}, [](S& s) { s.webcamEnabled = false; }},
        StyleCase{"camera size capped", {{"cameraSize", 0.5}}, [](S& s) { s.webcamSize = 0.3; }},
        StyleCase{"camera size floored", {{"cameraSize", 0.05}}, [](S& s) { s.webcamSize = 0.1; }},
        StyleCase{"camera size kept", {{"cameraSize", 0.2}}, [](S& s) { s.webcamSize = 0.2; }},
        StyleCase{"round camera", {{"cameraRoundness", 0.5}}, [](S& s) { s.webcamCircular = true; }},
        StyleCase{"round camera edge", {{"cameraRoundness", 0.49}}, [](S& s) { s.webcamCircular = true; }},
        StyleCase{"square camera", {{"cameraRoundness", 0.4}}, [](S&) {}},
        StyleCase{"top left", {{"cameraPosition", "top-left"}}, [](S& s) { s.webcamCorner = C::topLeft; }},
        StyleCase{"top right", {{"cameraPosition", "top-right"}}, [](S& s) { s.webcamCorner = C::topRight; }},
        StyleCase{
            "bottom left", {{"cameraPosition", "bottom-left"}}, [](S& s) { s.webcamCorner = C::bottomLeft; }},
        StyleCase{"anything else", {{"cameraPosition", "Top-Left"}}, [](S&) {}},
        StyleCase{"unreadable values ignored",
                  {{"cursorSize", "big"}, {"cameraSize", nullptr}, {"windowBorderRadius", Json::array()}},
                  [](S&) {}},
        StyleCase{"config that is not an object", "dark", [](S&) {}}));

TEST(ScreenStudioProjectVolume, LouderOfTheFirstSlicesTwoVolumes) {
    const auto volumeOf = [](const char* slices) {
        return projectOf(Json{{"scenes", Json::array({Json{{"slices", Json::parse(slices)}}})}}).micVolume;
    };
    EXPECT_DOUBLE_EQ(volumeOf(R"([{"volume": 0.5, "systemAudioVolume": 0.8}, {"volume": 2}])"), 0.8);
    EXPECT_DOUBLE_EQ(volumeOf(R"([{"volume": "1.5"}])"), 1.5);
    EXPECT_DOUBLE_EQ(volumeOf(R"([{"volume": 0.2}])"), 1.0);  // absent systemAudioVolume counts as 1
    EXPECT_DOUBLE_EQ(volumeOf(R"([{"volume": 0.2, "systemAudioVolume": 0.3}])"), 0.3);
    EXPECT_DOUBLE_EQ(volumeOf(R"([])"), 1.0);
}

TEST(ScreenStudioProjectDefaults, NoOrBrokenProjectGivesANewDocument) {
    for (const auto& text : {std::optional<std::string>{}, std::optional<std::string>{"{oops"},
                             std::optional<std::string>{"[]"}, std::optional<std::string>{""}}) {
        Project project = projectFromPackage(text);
        EXPECT_EQ(project, Project{});
    }
}

TEST(ScreenStudioProjectDefaults, EverythingElseStaysAtItsDefault) {
    Json root = withZoomRanges(Json::parse(R"([{"startTime": 0, "endTime": 1000}])"));
    root["config"] = {{"cursorSize", 2}};
    const Project project = projectOf(Json{{"json", root}});  // wrapped root
    EXPECT_DOUBLE_EQ(project.style.cursorScale, 2.0);
    ASSERT_TRUE(project.manualZoom.has_value());
    EXPECT_DOUBLE_EQ(project.trimStart, 0.0);
    EXPECT_FALSE(project.trimEnd.has_value());
    EXPECT_DOUBLE_EQ(project.musicVolume, 1.0);
    EXPECT_TRUE(project.clips.empty());
    EXPECT_TRUE(project.removedRanges.empty());
    EXPECT_TRUE(project.splits.empty());
}

// ---- On disk, with the cache ----------------------------------------------------------

class ScreenStudioProject : public ::testing::Test {
protected:
    fs::path data() const { return temp_.path() / "data"; }
    fs::path packagePath() const { return temp_.path() / "Talk.screenstudio"; }
    TempFolder temp_;
};

TEST_F(ScreenStudioProject, PackageSettingsUntilTheUserEdits) {
    Json root = withZoomRanges(Json::parse(R"([{"startTime": 1000, "endTime": 2000, "zoom": 2}])"));
    root["config"] = {{"cameraPosition", "top-left"}};
    PackageBuilder::standard(packagePath()).project(root);

    Project fromPackage = loadProject(packagePath(), data());
    ASSERT_TRUE(fromPackage.manualZoom.has_value());
    EXPECT_EQ(fromPackage.style.webcamCorner, WebcamCorner::topLeft);

    // The editor saves an edit into the cache folder.
    Project edited = fromPackage;
    edited.trimStart = 3.5;
    edited.trimEnd = 20.0;
    edited.manualZoom.reset();
    edited.style.webcamCorner = WebcamCorner::bottomLeft;
    ASSERT_TRUE(model::writeProject(cacheFolder(packagePath(), data()), edited).ok());

    const Project reopened = loadProject(packagePath(), data());
    EXPECT_EQ(reopened, edited);
    EXPECT_FALSE(reopened.manualZoom.has_value());

    // Another data folder has no edit: the package's settings again.
    const Project elsewhere = loadProject(packagePath(), temp_.path() / "other-data");
    EXPECT_EQ(elsewhere.style.webcamCorner, WebcamCorner::topLeft);
}

TEST_F(ScreenStudioProject, UnparsableCachedProjectIsIgnored) {
    PackageBuilder::standard(packagePath()).project(withConfig({{"cursorSize", 3}}));
    writeFile(cacheFolder(packagePath(), data()) / "project.json", R"({"style": {"background": )");
    EXPECT_DOUBLE_EQ(loadProject(packagePath(), data()).style.cursorScale, 3.0);
    // One bad field costs only that field of the user's edit.
    writeFile(cacheFolder(packagePath(), data()) / "project.json", R"({"style": {"background": "neon"}, "micVolume": 0.5})");
    EXPECT_DOUBLE_EQ(loadProject(packagePath(), data()).micVolume, 0.5);
}

TEST_F(ScreenStudioProject, MissingOrUnreadablePackageGivesANewDocument) {
    EXPECT_EQ(loadProject(temp_.path() / "Gone.screenstudio", data()), Project{});

    // A project.json that links out of the package is not read.
    PackageBuilder::standard(packagePath());
    writeFile(temp_.path() / "outside.json", withConfig({{"cursorSize", 4}}).dump());
    fs::create_symlink(temp_.path() / "outside.json", packagePath() / "project.json");
    EXPECT_EQ(loadProject(packagePath(), data()), Project{});
}

TEST_F(ScreenStudioProject, NeedsNoMetadata) {
    // Zooms and style come from project.json alone; the header's failure is ignored.
    PackageBuilder(packagePath()).project(withConfig({{"hideCamera", true}}));
    EXPECT_FALSE(loadProject(packagePath(), data()).style.webcamEnabled);
}

}  // namespace
}  // namespace vorpix::import
