// Hostile and damaged documents: every reader must end in a clean failure
// (or, for a prefix that is itself a complete document, the same result),
// never a crash, a hang or an exception.

#include <gtest/gtest.h>

#include <string>

#include "model/JsonCodes.h"
#include "model/Project.h"
#include "model/SessionEvents.h"

namespace vorpix::model {
namespace {

std::string sampleEventsText() {
    SessionEvents ev;
    ev.pixelWidth = 1920;
    ev.pixelHeight = 1080;
    ev.scaleFactor = 1;
    ev.duration = 3.25;
    ev.samples = {{0, 1.5, 2.5}, {0.0083, 3, 4}};
    ev.clicks = {{0.5, 10, 20, 1}};
    ev.webcamOffset = 0.05;
    ev.webcamFile = "webcam.mov";
    ev.extraAudioFiles = std::vector<std::string>{"x.wav"};
    ev.slices = std::vector<TimelineSlice>{{0, 1, 1}};
    return *encodeSessionEvents(ev);
}

std::string sampleProjectText() {
    Project p;
    p.manualZoom = std::vector<ZoomSegment>{{Uuid::random(), 1, 2, 0.5, 0.5, 2, true}};
    p.trimEnd = 3;
    p.clips = {{Uuid::random(), "a.m4a", AudioClipKind::music, 0, 1}};
    p.removedRanges = {{Uuid::random(), 1, 2}};
    p.splits = {0.5};
    return *encodeProject(p);
}

TEST(ReaderRobustness, EventsTruncatedAtEveryByteFailCleanly) {
    const std::string text = sampleEventsText();
    for (std::size_t n = 0; n < text.size(); ++n) {
        auto decoded = decodeSessionEvents(std::string_view(text).substr(0, n));
        ASSERT_FALSE(decoded.ok()) << "prefix of " << n << " bytes decoded";
        ASSERT_EQ(decoded.error().domain, "json");
    }
    EXPECT_TRUE(decodeSessionEvents(text).ok());
}

TEST(ReaderRobustness, ProjectTruncatedAtEveryByteFailsCleanlyOrIsComplete) {
    const std::string text = sampleProjectText();
    const Project whole = *decodeProject(text);
    for (std::size_t n = 0; n < text.size(); ++n) {
        auto decoded = decodeProject(std::string_view(text).substr(0, n));
        // Only dropping the final line break leaves a complete document.
        if (decoded.ok()) {
            ASSERT_GE(n, text.size() - 1) << "prefix of " << n << " bytes decoded";
            ASSERT_EQ(*decoded, whole);
        }
    }
}

TEST(ReaderRobustness, NulBytesAndBinaryNoise) {
    const std::string nuls(4096, '\0');
    EXPECT_EQ(decodeSessionEvents(nuls).error().code, json_code::kSyntax);
    EXPECT_EQ(decodeProject(nuls).error().code, json_code::kSyntax);

    std::string noise;
    unsigned state = 12345;
    for (int i = 0; i < 8192; ++i) {
        state = state * 1103515245u + 12345u;
        noise.push_back(static_cast<char>(state >> 16));
    }
    EXPECT_FALSE(decodeSessionEvents(noise).ok());
    EXPECT_FALSE(decodeProject(noise).ok());
    // A NUL inside an otherwise valid document.
    std::string embedded = sampleEventsText();
    embedded.insert(embedded.size() / 2, 1, '\0');
    EXPECT_FALSE(decodeSessionEvents(embedded).ok());
}

TEST(ReaderRobustness, DeepNestingIsRefusedWithoutRecursing) {
    const std::string deepArray = std::string(200000, '[') + std::string(200000, ']');
    EXPECT_EQ(decodeSessionEvents(deepArray).error().code, json_code::kSyntax);
    EXPECT_EQ(decodeProject(deepArray).error().code, json_code::kSyntax);

    std::string deepInKey = R"({"style":)";
    for (int i = 0; i < 100000; ++i) deepInKey += R"({"a":)";
    EXPECT_FALSE(decodeProject(deepInKey).ok());

    // Brackets inside strings are not nesting.
    const std::string bracketsInString = R"({"clips":[],"unknown":")" + std::string(500, '[') + R"("})";
    EXPECT_TRUE(decodeProject(bracketsInString).ok());
}

TEST(ReaderRobustness, HugeNumbersAreRefusedOrKeptExactly) {
    const std::string huge(5000, '9');
    EXPECT_FALSE(decodeSessionEvents(R"({"pixelWidth":)" + huge +
                                     R"(,"pixelHeight":1,"scaleFactor":1,"duration":1,"samples":[],"clicks":[]})")
                     .ok());
    EXPECT_FALSE(decodeProject(R"({"trimStart":)" + huge + "}").ok());
    EXPECT_FALSE(decodeProject(R"({"trimStart":-1e99999})").ok());
    auto tiny = decodeProject(R"({"trimStart":1e-400})");
    ASSERT_TRUE(tiny.ok());
    EXPECT_EQ(tiny->trimStart, 0.0);
    auto big = decodeProject(R"({"trimStart":1.7976931348623157e308})");
    ASSERT_TRUE(big.ok());
    EXPECT_EQ(big->trimStart, 1.7976931348623157e308);
}

TEST(ReaderRobustness, InvalidUtf8InStringsIsRefused) {
    EXPECT_FALSE(decodeProject("{\"clips\":[],\"x\":\"\xff\xfe\"}").ok());
}

}  // namespace
}  // namespace vorpix::model
