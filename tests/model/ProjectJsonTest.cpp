#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "support/TempFolder.h"
#include "model/AtomicFile.h"
#include "model/JsonCodes.h"
#include "model/Project.h"

namespace vorpix::model {
namespace {

Project fullProject() {
    Project p;
    p.style.background = BackgroundPreset::sunset;
    p.style.padding = 0.1;
    p.style.cornerRadius = 0;
    p.style.showCursor = false;
    p.style.webcamCorner = WebcamCorner::topLeft;
    p.style.webcamCircular = true;
    p.style.outputAspect = OutputAspect::portrait;
    p.style.hideIdleCursor = true;
    p.manualZoom = std::vector<ZoomSegment>{
        {Uuid::random(), 1.0, 2.5, 0.25, 0.75, 2.2, false},
        {Uuid::random(), 3.0, 4.0, 0.0, 1.0, 1.5, true},
    };
    p.trimStart = 0.5;
    p.trimEnd = 9.75;
    p.micVolume = 0.3;
    p.musicVolume = 1.7;
    p.clips = {{Uuid::random(), "voiceover-1733430000.m4a", AudioClipKind::voiceOver, 2.0, 1.0},
               {Uuid::random(), "audio-1733430001-song.mp3", AudioClipKind::music, 0.0, 0.5}};
    p.removedRanges = {{Uuid::random(), 5.0, 4.0}};
    p.splits = {1.25, 3.5};
    return p;
}

Project decodeOk(const std::string& json) {
    auto decoded = decodeProject(json);
    EXPECT_TRUE(decoded.ok()) << (decoded.ok() ? "" : decoded.error().message);
    return decoded.ok() ? *decoded : Project{};
}

TEST(ProjectJson, EmptyObjectIsANewDocument) {
    EXPECT_EQ(decodeOk("{}"), Project{});
    const Project p = decodeOk("{}");
    EXPECT_FALSE(p.manualZoom);
    EXPECT_FALSE(p.trimEnd);
    EXPECT_EQ(p.style.background, BackgroundPreset::midnight);
    EXPECT_DOUBLE_EQ(p.style.zoomFactor, 1.9);
}

TEST(ProjectJson, PartialStyleKeepsItsKeyAndDefaultsTheRest) {
    const Project p = decodeOk(R"({"style":{"padding":0.2}})");
    StyleSettings expected;
    expected.padding = 0.2;
    EXPECT_EQ(p.style, expected);
}

TEST(ProjectJson, NullMeansDefault) {
    const Project p = decodeOk(R"({"manualZoom":null,"trimEnd":null,"style":null,"micVolume":null})");
    EXPECT_EQ(p, Project{});
}

TEST(ProjectJson, RoundTripKeepsEverything) {
    const Project original = fullProject();
    auto text = encodeProject(original);
    ASSERT_TRUE(text.ok()) << text.error().message;
    EXPECT_EQ(decodeOk(*text), original);
}

TEST(ProjectJson, TwoEncodingsAreByteIdentical) {
    const Project p = fullProject();
    auto a = encodeProject(p);
    auto b = encodeProject(decodeOk(*encodeProject(p)));
    ASSERT_TRUE(a.ok() && b.ok());
    EXPECT_EQ(*a, *b);
}

// Walks every object in the document and checks its keys come in ascending
// byte order as written in the text (not as a parser would reorder them).
void expectSortedKeys(const std::string& text) {
    int objects = 0;
    nlohmann::ordered_json doc = nlohmann::ordered_json::parse(text);
    std::vector<const nlohmann::ordered_json*> stack{&doc};
    while (!stack.empty()) {
        const auto* node = stack.back();
        stack.pop_back();
        if (node->is_object()) {
            ++objects;
            std::string previous;
            for (auto it = node->begin(); it != node->end(); ++it) {
                EXPECT_LT(previous, it.key()) << "keys out of order in " << node->dump();
                previous = it.key();
                stack.push_back(&it.value());
            }
        } else if (node->is_array()) {
            for (const auto& child : *node) stack.push_back(&child);
        }
    }
    EXPECT_GE(objects, 6);
}

TEST(ProjectJson, PrettyPrintedWithSortedKeysAtEveryLevel) {
    auto text = encodeProject(fullProject());
    ASSERT_TRUE(text.ok());
    expectSortedKeys(*text);
    EXPECT_NE(text->find("\n  \"clips\": ["), std::string::npos) << *text;
    EXPECT_EQ(text->back(), '\n');
}

TEST(ProjectJson, WritesEveryStyleKeyAndOmitsOnlyAbsentOptionals) {
    Project p;
    auto text = encodeProject(p);
    ASSERT_TRUE(text.ok());
    const auto doc = nlohmann::json::parse(*text);
    EXPECT_FALSE(doc.contains("manualZoom"));
    EXPECT_FALSE(doc.contains("trimEnd"));
    EXPECT_EQ(doc.at("style").size(), 19u);
    for (const char* key : {"style", "trimStart", "micVolume", "musicVolume", "clips", "removedRanges", "splits"}) {
        EXPECT_TRUE(doc.contains(key)) << key;
    }
    p.trimEnd = 3.0;
    p.manualZoom = std::vector<ZoomSegment>{};
    const auto withBoth = nlohmann::json::parse(*encodeProject(p));
    EXPECT_TRUE(withBoth.at("manualZoom").is_array());
    EXPECT_EQ(withBoth.at("trimEnd"), 3.0);
}

TEST(ProjectJson, UuidsAreWrittenUpperCaseAndReadInAnyCase) {
    const Project p = decodeOk(
        R"({"removedRanges":[{"id":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f","start":1,"end":2}]})");
    ASSERT_EQ(p.removedRanges.size(), 1u);
    auto text = encodeProject(p);
    ASSERT_TRUE(text.ok());
    EXPECT_NE(text->find("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"), std::string::npos);
}

TEST(ProjectJson, ZoomWithoutIdGetsAFreshIdEachReadAndFollowsTheCursor) {
    const std::string json = R"({"manualZoom":[{"start":1,"end":2,"centerX":0.5,"centerY":0.5,"factor":2}]})";
    const Project a = decodeOk(json);
    const Project b = decodeOk(json);
    ASSERT_TRUE(a.manualZoom && b.manualZoom);
    ASSERT_EQ(a.manualZoom->size(), 1u);
    EXPECT_NE(a.manualZoom->front().id, b.manualZoom->front().id);
    EXPECT_NE(a.manualZoom->front().id, Uuid{});
    EXPECT_TRUE(a.manualZoom->front().followCursor);
}

TEST(ProjectJson, EmptyManualZoomStaysAnEmptyList) {
    const Project p = decodeOk(R"({"manualZoom":[]})");
    ASSERT_TRUE(p.manualZoom);
    EXPECT_TRUE(p.manualZoom->empty());
}

// One field that cannot be decoded takes its default; the rest of the edit
// (here micVolume 0.25 and one good clip) is kept, and the field is named.
TEST(ProjectJson, BadFieldsTakeTheirDefaultsAndTheRestIsKept) {
    const std::string clip = R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","fileName":"a","kind":"music","start":0,"volume":1})";
    const std::string zoom = R"({"start":1,"end":2,"centerX":0.5,"centerY":0.5,"factor":2})";
    struct Case {
        std::string field;  // JSON members added to the good ones
        std::string defaulted;
    };
    const std::vector<Case> cases = {
        {R"("manualZoom":[{"start":1,"end":2,"centerX":0.5,"centerY":0.5},)" + zoom + "]", "manualZoom[0]"},
        {R"("manualZoom":[{"id":"nope","start":1,"end":2,"centerX":0,"centerY":0,"factor":2},)" + zoom + "]",
         "manualZoom[0]"},
        {R"("style":{"background":"neon"})", "style.background"},
        {R"("style":{"background":"Midnight"})", "style.background"},
        {R"("style":{"webcamCorner":"middle"})", "style.webcamCorner"},
        {R"("style":{"outputAspect":"wide"})", "style.outputAspect"},
        {R"("style":{"padding":"0.1"})", "style.padding"},
        {R"("style":{"showCursor":1})", "style.showCursor"},
        {R"("style":[])", "style"},
        {R"("trimStart":true)", "trimStart"},
        {R"("trimEnd":"end")", "trimEnd"},
        {R"("splits":[1,"2"])", "splits[1]"},
        {R"("splits":{})", "splits"},
        {R"("removedRanges":[{"start":1,"end":2}])", "removedRanges[0]"},
        {R"("clips":[{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","fileName":"b","kind":"podcast","start":0,"volume":1},)" +
             clip + "]",
         "clips[0]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        const std::string json = R"({"micVolume":0.25,)" + c.field +
                                 (c.field.starts_with(R"("clips")") ? "" : R"(,"clips":[)" + clip + "]") + "}";
        auto decoded = decodeProjectFields(json);
        ASSERT_TRUE(decoded.ok()) << decoded.error().message;
        EXPECT_EQ(decoded->defaulted, std::vector<std::string>{c.defaulted});
        const Project& p = decoded->project;
        EXPECT_EQ(p.micVolume, 0.25);
        ASSERT_EQ(p.clips.size(), 1u);
        EXPECT_EQ(p.clips[0].fileName, "a");
        EXPECT_EQ(p.style, StyleSettings{});
        EXPECT_EQ(p.trimStart, 0.0);
        EXPECT_FALSE(p.trimEnd);
        if (p.manualZoom) {
            EXPECT_EQ(p.manualZoom->size(), 1u);
        }
    }
    for (const char* text : {R"("project")", R"({"style":{"padding":0.1})"}) EXPECT_FALSE(decodeProject(text).ok());
}

TEST(ProjectJson, ValuesAreHeldToTheirRanges) {
    const Project p = decodeOk(
        R"({"style":{"padding":-1,"cornerRadius":1e300,"shadowRadius":1e9,"cursorScale":1e6,"zoomFactor":0,)"
        R"("shadowOpacity":7,"cursorSmoothing":-2,"webcamSize":40,"zoomHold":1e9,"zoomLead":-1},)"
        R"("manualZoom":[{"start":1,"end":2,"centerX":-3,"centerY":1e300,"factor":1e12}]})");
    const StyleSettings& s = p.style;
    EXPECT_EQ(std::vector<double>({s.padding, s.cornerRadius, s.shadowRadius, s.cursorScale, s.zoomFactor,
                                   s.shadowOpacity, s.cursorSmoothing, s.webcamSize, s.zoomHold, s.zoomLead}),
              std::vector<double>({0.0, 48.0, 80.0, 3.0, 1.2, 1.0, 0.0, 0.3, 4.0, 0.1}));
    const ZoomSegment& z = p.manualZoom->front();
    EXPECT_EQ(std::vector<double>({z.centerX, z.centerY, z.factor}), std::vector<double>({0.0, 1.0, 6.0}));
}

TEST(ProjectJson, UnparsableDocumentIsKeptAsideOnceBeforeAnythingWritesANewOne) {
    testing::TempFolder temp;
    const std::filesystem::path& dir = temp.path();
    const std::string broken = "{\"style\": {\"padding\": 0.1";
    { std::ofstream(dir / kProjectFileName) << broken; }
    const OpenedProject first = openProject(dir);
    const OpenedProject second = openProject(dir);
    EXPECT_EQ(first.project, Project{});
    ASSERT_TRUE(first.unreadable && first.keptAside);
    EXPECT_EQ(second.keptAside, first.keptAside);  // not copied again
    EXPECT_TRUE(first.keptAside->filename().string().starts_with("project.json.unreadable-20"));
    EXPECT_EQ(*readWholeFile(*first.keptAside), broken);
    EXPECT_NE(first.warning().find(first.keptAside->filename().string()), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);
}

TEST(ProjectJson, NonFiniteNumbersMakeTheWriteFail) {
    Project a;
    a.style.padding = std::numeric_limits<double>::quiet_NaN();
    Project b;
    b.splits = {1.0, std::numeric_limits<double>::infinity()};
    Project c;
    c.trimEnd = -std::numeric_limits<double>::infinity();
    for (const Project& p : {a, b, c}) {
        auto text = encodeProject(p);
        ASSERT_FALSE(text.ok());
        EXPECT_EQ(text.error().code, json_code::kNotEncodable);
    }
}

}  // namespace
}  // namespace vorpix::model
