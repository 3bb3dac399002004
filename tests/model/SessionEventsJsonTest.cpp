#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "model/JsonCodes.h"
#include "model/SessionEvents.h"

namespace vorpix::model {
namespace {

SessionEvents fullEvents() {
    SessionEvents ev;
    ev.pixelWidth = 2880;
    ev.pixelHeight = 1800;
    ev.scaleFactor = 2.0;
    ev.duration = 12.345678901234567;
    ev.samples = {{-0.5, 10.25, -3.0}, {0.0083333333333333332, 1e-300, 2879.999}, {1.0, -40.0, 5000.0}};
    ev.clicks = {{0.5, 100.0, 200.0, 0}, {0.75, 101.5, 202.0, 1}};
    ev.webcamOffset = 0.1234;
    ev.webcamFile = "webcam.mov";
    ev.extraAudioFiles = std::vector<std::string>{"a.m4a", "b with space.wav", "unicodé.mp3"};
    ev.slices = std::vector<TimelineSlice>{{0.0, 4.5, 1.0}, {6.0, 10.0, 2.0}};
    return ev;
}

const char* kMinimal =
    R"({"pixelWidth":1920,"pixelHeight":1080,"scaleFactor":1,"duration":3.5,"samples":[],"clicks":[]})";

TEST(SessionEventsJson, RoundTripKeepsEveryFieldExactly) {
    const SessionEvents original = fullEvents();
    auto text = encodeSessionEvents(original);
    ASSERT_TRUE(text.ok()) << text.error().message;
    auto decoded = decodeSessionEvents(*text);
    ASSERT_TRUE(decoded.ok()) << decoded.error().message;
    EXPECT_EQ(*decoded, original);  // doubles compare exactly: shortest round-trip form
}

TEST(SessionEventsJson, IsCompactOneLine) {
    auto text = encodeSessionEvents(fullEvents());
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(text->find('\n'), std::string::npos);
    EXPECT_EQ(text->find(": "), std::string::npos);
    EXPECT_EQ(text->find(", "), std::string::npos);
}

TEST(SessionEventsJson, AbsentOptionalsAreLeftOutNotNull) {
    auto decoded = decodeSessionEvents(kMinimal);
    ASSERT_TRUE(decoded.ok()) << decoded.error().message;
    EXPECT_FALSE(decoded->webcamOffset);
    EXPECT_FALSE(decoded->webcamFile);
    EXPECT_FALSE(decoded->extraAudioFiles);
    EXPECT_FALSE(decoded->slices);
    auto text = encodeSessionEvents(*decoded);
    ASSERT_TRUE(text.ok());
    for (const char* key : {"webcamOffset", "webcamFile", "extraAudioFiles", "slices", "null"}) {
        EXPECT_EQ(text->find(key), std::string::npos) << key;
    }
}

TEST(SessionEventsJson, NullOptionalsDecodeAsAbsent) {
    auto decoded = decodeSessionEvents(
        R"({"pixelWidth":2,"pixelHeight":2,"scaleFactor":1,"duration":1,"samples":[],"clicks":[],)"
        R"("webcamOffset":null,"webcamFile":null,"extraAudioFiles":null,"slices":null})");
    ASSERT_TRUE(decoded.ok()) << decoded.error().message;
    EXPECT_FALSE(decoded->webcamFile);
    EXPECT_FALSE(decoded->webcamOffset);
}

TEST(SessionEventsJson, KeysInAnyOrderAndUnknownKeysAreIgnored) {
    auto decoded = decodeSessionEvents(
        R"({"clicks":[{"button":1,"y":2,"x":1,"t":0.5,"pressure":9}],"samples":[],"future":{"a":[1,2]},)"
        R"("duration":2,"scaleFactor":2,"pixelHeight":10,"pixelWidth":20})");
    ASSERT_TRUE(decoded.ok()) << decoded.error().message;
    ASSERT_EQ(decoded->clicks.size(), 1u);
    EXPECT_EQ(decoded->clicks[0], (ClickEvent{0.5, 1, 2, 1}));
    EXPECT_EQ(decoded->pixelWidth, 20);
}

struct Broken {
    const char* name;
    std::string json;
    int code;
};

class SessionEventsRejects : public ::testing::TestWithParam<Broken> {};

TEST_P(SessionEventsRejects, WholeDocument) {
    auto decoded = decodeSessionEvents(GetParam().json);
    ASSERT_FALSE(decoded.ok());
    EXPECT_EQ(decoded.error().domain, "json");
    EXPECT_EQ(decoded.error().code, GetParam().code) << decoded.error().message;
    EXPECT_EQ(decoded.error().message.find('\n'), std::string::npos);
    EXPECT_EQ(decoded.error().message.rfind("events.json: ", 0), 0u) << decoded.error().message;
}

std::string without(const std::string& key) {
    std::string all = R"({"pixelWidth":1920,"pixelHeight":1080,"scaleFactor":1,"duration":3.5,"samples":[],"clicks":[]})";
    const auto at = all.find("\"" + key + "\"");
    auto end = all.find(',', at);
    if (end == std::string::npos) {  // last key: drop the comma before it
        return all.substr(0, at - 1) + "}";
    }
    return all.erase(at, end - at + 1);
}

std::string with(const std::string& replacement) {
    return R"({"pixelWidth":1920,"pixelHeight":1080,"scaleFactor":1,"duration":3.5,)" + replacement + "}";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionEventsRejects,
    ::testing::Values(
        Broken{"NoPixelWidth", without("pixelWidth"), json_code::kMissingKey},
        Broken{"NoPixelHeight", without("pixelHeight"), json_code::kMissingKey},
        Broken{"NoScaleFactor", without("scaleFactor"), json_code::kMissingKey},
        Broken{"NoDuration", without("duration"), json_code::kMissingKey},
        Broken{"NoSamples", without("samples"), json_code::kMissingKey},
        Broken{"NoClicks", without("clicks"), json_code::kMissingKey},
        Broken{"NullClicks", with(R"("samples":[],"clicks":null)"), json_code::kMissingKey},
        Broken{"FractionalWidth",
               R"({"pixelWidth":1920.5,"pixelHeight":1080,"scaleFactor":1,"duration":3.5,"samples":[],"clicks":[]})",
               json_code::kBadValue},
        Broken{"FractionalButton", with(R"("samples":[],"clicks":[{"t":0,"x":0,"y":0,"button":0.5}])"),
               json_code::kBadValue},
        Broken{"WidthAsString",
               R"({"pixelWidth":"1920","pixelHeight":1080,"scaleFactor":1,"duration":3.5,"samples":[],"clicks":[]})",
               json_code::kWrongType},
        Broken{"WidthZero", R"({"pixelWidth":0,"pixelHeight":1080,"scaleFactor":1,"duration":3.5,"samples":[],"clicks":[]})",
               json_code::kBadValue},
        Broken{"HeightPastTheLargestSide",
               R"({"pixelWidth":16,"pixelHeight":16385,"scaleFactor":1,"duration":3.5,"samples":[],"clicks":[]})",
               json_code::kBadValue},
        Broken{"WidthBeyondInt64",
               R"({"pixelWidth":9223372036854775808,"pixelHeight":1080,"scaleFactor":1,"duration":3.5,"samples":[],"clicks":[]})",
               json_code::kBadValue},
        Broken{"DurationOverflows",
               R"({"pixelWidth":1,"pixelHeight":1080,"scaleFactor":1,"duration":1e400,"samples":[],"clicks":[]})",
               json_code::kSyntax},  // the parser itself refuses numbers beyond double range
        Broken{"SampleWithoutY", with(R"("samples":[{"t":0,"x":1}],"clicks":[])"), json_code::kMissingKey},
        Broken{"SampleNotObject", with(R"("samples":[[0,1,2]],"clicks":[])"), json_code::kWrongType},
        Broken{"SamplesNotArray", with(R"("samples":{},"clicks":[])"), json_code::kWrongType},
        Broken{"SliceWithoutScale", with(R"("samples":[],"clicks":[],"slices":[{"sourceStart":0,"sourceEnd":1}])"),
               json_code::kMissingKey},
        Broken{"WebcamFileNumber", with(R"("samples":[],"clicks":[],"webcamFile":3)"), json_code::kWrongType},
        Broken{"ExtraAudioNotStrings", with(R"("samples":[],"clicks":[],"extraAudioFiles":[1])"),
               json_code::kWrongType},
        Broken{"TopLevelArray", "[]", json_code::kWrongType},
        Broken{"Empty", "", json_code::kSyntax},
        Broken{"TrailingGarbage", std::string(kMinimal) + "x", json_code::kSyntax}),
    [](const ::testing::TestParamInfo<Broken>& param) { return param.param.name; });

TEST(SessionEventsJson, WholeNumberWrittenWithFractionIsAnInteger) {
    auto decoded = decodeSessionEvents(
        R"({"pixelWidth":1920.0,"pixelHeight":1080,"scaleFactor":1,"duration":3.5,"samples":[],"clicks":[]})");
    ASSERT_TRUE(decoded.ok()) << decoded.error().message;
    EXPECT_EQ(decoded->pixelWidth, 1920);
}

TEST(SessionEventsJson, NonFiniteNumbersMakeTheWriteFail) {
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity()};
    for (double value : bad) {
        SessionEvents a = fullEvents();
        a.duration = value;
        SessionEvents b = fullEvents();
        b.samples.back().y = value;
        SessionEvents c = fullEvents();
        c.webcamOffset = value;
        SessionEvents d = fullEvents();
        (*d.slices)[1].timeScale = value;
        for (const SessionEvents& ev : {a, b, c, d}) {
            auto text = encodeSessionEvents(ev);
            ASSERT_FALSE(text.ok());
            EXPECT_EQ(text.error().code, json_code::kNotEncodable);
        }
    }
}

TEST(SessionEventsJson, InvalidUtf8FileNameFailsTheWriteInsteadOfThrowing) {
    SessionEvents ev = fullEvents();
    ev.webcamFile = std::string("cam\xff.mov");
    auto text = encodeSessionEvents(ev);
    ASSERT_FALSE(text.ok());
    EXPECT_EQ(text.error().code, json_code::kNotEncodable);
}

}  // namespace
}  // namespace vorpix::model
