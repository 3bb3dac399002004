// The streaming "events.json" reader against the tree-based reference: on
// valid documents, on every kind of damage the strict rules refuse, and on
// thousands of random mutations, both must accept the same documents with
// the same values and refuse the rest with the same code and message.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "ReferenceEventsDecoder.h"
#include "model/SessionEvents.h"

namespace vorpix::model {
namespace {

void expectSame(const std::string& text) {
    const auto streamed = decodeSessionEvents(text);
    const auto tree = reference::decodeEventsTree(text);
    ASSERT_EQ(streamed.ok(), tree.ok())
        << text << "\nstreamed: " << (streamed ? "ok" : streamed.error().message)
        << "\ntree: " << (tree ? "ok" : tree.error().message);
    if (streamed.ok()) {
        EXPECT_EQ(*streamed, *tree) << text;
    } else {
        EXPECT_EQ(streamed.error(), tree.error()) << text;
    }
}

const char* kFull =
    R"({"pixelWidth":1920,"pixelHeight":1080,"scaleFactor":2,"duration":3.5,)"
    R"("samples":[{"t":0,"x":1.5,"y":2},{"t":0.0083,"x":-4,"y":1e3,"extra":{"a":[1,{"b":2}]}}],)"
    R"("clicks":[{"t":0.5,"x":1,"y":2,"button":1}],"webcamOffset":0.25,"webcamFile":"webcam.mov",)"
    R"("extraAudioFiles":["a.wav","b.m4a"],"slices":[{"sourceStart":0,"sourceEnd":1,"timeScale":2}],)"
    R"("future":[[[{"x":null}]]]})";

TEST(EventsReader, AgreesWithTheTreeDecoderOnHandPickedDocuments) {
    const std::string base = R"("pixelWidth":1,"pixelHeight":2,"scaleFactor":1,"duration":1,)";
    for (
        const std::string& text : std::vector<std::string>{
            kFull,
            "{" + base + R"("samples":[],"clicks":[]})",
            "{" + base +
                R"("samples":[],"clicks":[],"samples":[{"t":1,"x":2,"y":3}]})",  // a key twice: last wins
            "{" + base + R"("samples":[{"t":"0","x":1,"y":2}],"clicks":[]})",
            "{" + base + R"("samples":[{"t":0,"x":1}],"clicks":[{"t":0}]})",
            "{" + base + R"("samples":[{"t":0,"x":1,"y":2},5,{"t":0}],"clicks":[]})",
            "{" + base + R"("samples":[{"t":0,"x":[1],"y":2}],"clicks":[]})",
            "{" + base + R"("samples":[{"t":0,"x":1,"y":2,"y":null}],"clicks":[]})",
            "{" + base + R"("samples":[{"t":0,"x":1,"y":null,"y":3}],"clicks":[]})",
            "{" + base + R"("samples":[],"clicks":[{"t":0,"x":1,"y":2,"button":1.5}]})",
            "{" + base + R"("samples":[],"clicks":[{"t":0,"x":1,"y":2,"button":{}}]})",
            "{" + base + R"("samples":[],"clicks":[],"extraAudioFiles":["a",3]})",
            "{" + base + R"("samples":[],"clicks":[],"extraAudioFiles":["a",[]]})",
            "{" + base + R"("samples":[],"clicks":[],"extraAudioFiles":{}})",
            "{" + base + R"("samples":[],"clicks":[],"slices":null,"webcamFile":null,"webcamOffset":null})",
            "{" + base + R"("samples":[],"clicks":[],"slices":[{"sourceStart":0}]})",
            "{" + base + R"("samples":[],"clicks":[],"webcamFile":7})",
            "{" + base + R"("samples":{},"clicks":[]})",
            "{" + base + R"("samples":3,"clicks":[]})",
            "{" + base + R"("samples":[],"clicks":null})",
            R"({"pixelWidth":{},"pixelHeight":2,"scaleFactor":1,"duration":1,"samples":[],"clicks":[]})",
            R"({"pixelWidth":1,"pixelHeight":[],"scaleFactor":1,"duration":"1","samples":[],"clicks":[]})",
            R"({"pixelWidth":1.0,"pixelHeight":18446744073709551615,"scaleFactor":1,"duration":1,"samples":[],"clicks":[]})",
            R"({"scaleFactor":true,"samples":[{"t":0}]})",
            R"({"clicks":[]})",
            "[]",
            "3",
            "\"events\"",
            "null",
            "{}",
            "",
            "{",
            R"({"a":1}x)",
        }) {
        SCOPED_TRACE(text);
        expectSame(text);
    }
}

TEST(EventsReader, AgreesWithTheTreeDecoderOnRandomMutations) {
    std::mt19937 random(20261205);
    const std::string tokens[] = {"null",       "true",        "1.5", "-2", "1e999", "\"s\"", "[",
                                  "]",          "{",           "}",   ",",  ":",     "\"t\"", "\"x\"",
                                  "\"button\"", "\"samples\"", "[]",  "{}", "0.5",   "7"};
    const std::string original = kFull;
    for (int round = 0; round < 4000; ++round) {
        std::string text = original;
        const int edits = 1 + static_cast<int>(random() % 3);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = random() % (text.size() + 1);
            switch (random() % 3) {
                case 0:
                    text.insert(at, tokens[random() % std::size(tokens)]);
                    break;
                case 1:
                    text.erase(at, 1 + random() % 6);
                    break;
                default:
                    text.replace(at, std::min<std::size_t>(3, text.size() - std::min(at, text.size())),
                                 tokens[random() % std::size(tokens)]);
            }
        }
        SCOPED_TRACE(text);
        expectSame(text);
        if (::testing::Test::HasFailure()) break;
    }
}

}  // namespace
}  // namespace vorpix::model
