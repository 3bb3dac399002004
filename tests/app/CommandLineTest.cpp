#include <gtest/gtest.h>

#include <sstream>

#include "app/CommandLine.h"
#include "app/Version.h"

namespace vorpix::app {
namespace {

struct Outcome {
    std::optional<int> status;
    std::string out;
    std::string err;
};

Outcome run(std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    Outcome r;
    Environment env;
    env.moviesFolder = "/nonexistent/movies";
    r.status = runCommandLine(args, env, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

TEST(CommandLine, NoArgumentsStartsTheApplication) {
    const Outcome r = run({});
    EXPECT_FALSE(r.status);
    EXPECT_TRUE(r.out.empty());
}

TEST(CommandLine, VersionPrintsTheBuildVersion) {
    const Outcome r = run({"--version"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("vorpix ") + kVersion + "\n");
    EXPECT_TRUE(r.err.empty());
}

TEST(CommandLine, HelpGoesToStandardOutput) {
    const Outcome r = run({"--help"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: vorpix", 0), 0u);
}

TEST(CommandLine, MakeSampleRefusesBadArgumentsBeforeWritingAnything) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"make-sample", "/nonexistent/a", "--duration"},
             {"make-sample", "/nonexistent/a", "--duration", "ten"},
             {"make-sample", "/nonexistent/a", "--duration", "-3"},
             {"make-sample", "/nonexistent/a", "--frames", "3"},
             {"make-sample", "/nonexistent/a", "/nonexistent/b"},
         }) {
        const Outcome r = run(args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    }
}

TEST(CommandLine, OnlyPaintingModesNeedAGuiApplication) {
    EXPECT_EQ(qtNeedFor({"make-sample", "x"}), QtNeed::gui);
    EXPECT_EQ(qtNeedFor({"--version"}), QtNeed::core);
    EXPECT_EQ(qtNeedFor({}), QtNeed::core);
}

TEST(CommandLine, TestEditRunsEveryModuleCheckInOrder) {
    const Outcome r = run({"--open-latest", "--test-edit"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "waveform OK\nplayback OK\nedit-timeline OK\nzoom-segments OK\nzoom-overlay OK\n"
              "camera-timeline OK\ncomposition OK\nmic-capture OK\n");
    EXPECT_EQ(r.err, "");
}

TEST(CommandLine, UnknownArgumentIsAUsageError) {
    const Outcome r = run({"--frobnicate"});
    ASSERT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(r.err.rfind("vorpix: unknown argument \"--frobnicate\"\n", 0), 0u) << r.err;
}

}  // namespace
}  // namespace vorpix::app
