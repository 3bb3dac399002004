#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "support/TempFolder.h"
#include "model/AtomicFile.h"
#include "model/OutputCheck.h"
#include "model/Project.h"
#include "model/SafeOutput.h"

namespace vorpix::model {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
    return readWholeFile(path).valueOr(std::string("<missing>"));
}

std::vector<std::string> hiddenFiles(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string()[0] == '.') names.push_back(entry.path().filename().string());
    }
    return names;
}

// A process id that no process has any more.
pid_t deadPid() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

TEST(SafeOutput, TheTargetChangesOnlyOnCommitAndNumberedNamesNeverReplace) {
    testing::TempFolder dir;
    const fs::path target = dir.path() / "Demo 2026-03-03 14.05.mp4";
    std::ofstream(target) << "old";
    {
        auto abandoned = SafeOutput::create(target);
        ASSERT_TRUE(abandoned);
        ASSERT_TRUE(abandoned->write("never seen"));
        EXPECT_EQ(slurp(target), "old");
        EXPECT_EQ(hiddenFiles(dir.path()).size(), 1u);
    }
    EXPECT_EQ(slurp(target), "old");
    EXPECT_TRUE(hiddenFiles(dir.path()).empty());

    // Two writers of one target at once: each its own temporary, last wins.
    auto first = SafeOutput::create(target);
    auto second = SafeOutput::create(target);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->temporary(), second->temporary());
    ASSERT_TRUE(first->write("first") && second->write("second"));
    EXPECT_EQ(*second->commit(), target);
    EXPECT_EQ(*first->commit(), target);
    EXPECT_EQ(slurp(target), "first");

    for (const char* expected : {"Demo 2026-03-03 14.05 2.mp4", "Demo 2026-03-03 14.05 3.mp4"}) {
        auto numbered = SafeOutput::create(target);
        ASSERT_TRUE(numbered && numbered->write(expected));
        EXPECT_EQ(*numbered->commit(OnExisting::number), dir.path() / expected);
        EXPECT_EQ(slurp(dir.path() / expected), expected);
    }
    EXPECT_EQ(slurp(target), "first");
    EXPECT_TRUE(hiddenFiles(dir.path()).empty());
}

TEST(SafeOutput, OnlyDeadProcessesTemporariesAreRemoved) {
    testing::TempFolder dir;
    const std::string dead = std::to_string(deadPid());
    const std::string alive = std::to_string(getpid());
    const struct {
        std::string name;
        bool removed;
    } cases[] = {
        {".a.mp4." + dead + "-0123abcd.part", true},
        {".events.json." + dead + "-ffffffff.part", true},
        {".a.mp4." + alive + "-0123abcd.part", false},   // a live writer's
        {".a.mp4." + dead + "-0123abcz.part", false},    // not ours: the random part is hex
        {".a.mp4." + dead + "-0123abc.part", false},     // nor shorter
        {".a.mp4.part", false},
        {"a.mp4." + dead + "-0123abcd.part", false},     // not hidden
        {"." + dead + "-0123abcd.part", false},          // no name
    };
    for (const auto& c : cases) std::ofstream(dir.path() / c.name) << "x";
    ASSERT_TRUE(writeProject(dir.path(), Project{}));  // any write cleans its folder
    for (const auto& c : cases) EXPECT_EQ(fs::exists(dir.path() / c.name), !c.removed) << c.name;
}

TEST(OutputCheck, RefusesFoldersMissingFoldersAndRecordingFiles) {
    testing::TempFolder dir;
    const fs::path recording = dir.path() / "rec";
    fs::create_directories(recording / "sub");
    std::ofstream(recording / "events.json") << "{}";
    fs::create_directories(dir.path() / "Talk.screenstudio" / "recording");
    fs::create_directories(dir.path() / "out");
    std::ofstream(dir.path() / "out" / "old.mp4") << "old";
    std::ofstream(dir.path() / "plain") << "x";
    fs::create_symlink(recording / "events.json", dir.path() / "out" / "link.mp4");
    const std::vector<fs::path> recordingFiles{recording / "events.json"};
    const fs::path d = dir.path();
    const struct {
        fs::path target;
        int code;  // 0: allowed
        std::string says;
    } cases[] = {
        {"", EINVAL, "No output file was given."},
        {d / "out", EISDIR, "it is a folder"},
        {d / "new" / "", EISDIR, "it is a folder"},
        {d / "none" / "x.mp4", ENOENT, "the folder " + (d / "none").string() + " does not exist"},
        {d / "plain" / "x.mp4", ENOTDIR, "is not a folder"},
        {d / "out" / "link.mp4", EPERM, "one of the recording's files"},
        {recording / "raw.mov", EPERM, "inside the recording folder " + recording.string()},
        {recording / "sub" / ".." / "sub" / "x.png", EPERM, "inside the recording folder"},
        {d / "Talk.screenstudio" / "recording" / "x.mp4", EPERM, "inside the Screen Studio package"},
        {d / "out" / "old.mp4", 0, ""},
        {d / "out" / "new.png", 0, ""},
    };
    for (const auto& c : cases) {
        const auto result = checkOutputOutsideRecordings(c.target, recordingFiles);
        ASSERT_EQ(result.ok(), c.code == 0) << c.target;
        if (c.code == 0) continue;
        EXPECT_EQ(result.error().code, c.code) << c.target;
        EXPECT_NE(result.error().message.find(c.says), std::string::npos) << result.error().message;
        EXPECT_EQ(result.error().message.find('\n'), std::string::npos);
    }
}

}  // namespace
}  // namespace vorpix::model
