#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cerrno>
#include <fstream>
#include <limits>

#include "support/TempFolder.h"
#include "model/AtomicFile.h"
#include "model/Project.h"
#include "model/SessionEvents.h"

namespace vorpix::model {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
    auto text = readWholeFile(path);
    EXPECT_TRUE(text.ok()) << (text.ok() ? "" : text.error().message);
    return text.ok() ? *text : std::string();
}

int countTemporaries(const fs::path& folder) {
    int n = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().find(".part") != std::string::npos) ++n;
    }
    return n;
}

TEST(AtomicFile, ReadingAFifoFailsAtOnce) {
    testing::TempFolder dir;
    const fs::path fifo = dir.path() / "events.json";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto text = readWholeFile(fifo);  // would wait for a writer for ever if opened blocking
    ASSERT_FALSE(text.ok());
    EXPECT_EQ(text.error().code, EINVAL);
}

TEST(AtomicFile, WritesAndReplacesWholeFiles) {
    testing::TempFolder dir;
    const fs::path file = dir.path() / "doc.json";
    ASSERT_TRUE(writeFileAtomically(file, "first version, longer than the second").ok());
    ASSERT_TRUE(writeFileAtomically(file, "second").ok());
    EXPECT_EQ(slurp(file), "second");
    EXPECT_EQ(countTemporaries(dir.path()), 0);
}

TEST(AtomicFile, EmptyContentsMakeAnEmptyFile) {
    testing::TempFolder dir;
    const fs::path file = dir.path() / "empty";
    ASSERT_TRUE(writeFileAtomically(file, "").ok());
    EXPECT_EQ(slurp(file), "");
}

TEST(AtomicFile, MissingFolderIsAFileErrorWithErrno) {
    testing::TempFolder dir;
    auto result = writeFileAtomically(dir.path() / "no" / "such" / "doc.json", "x");
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().domain, "file");
    EXPECT_EQ(result.error().code, ENOENT);
    EXPECT_NE(result.error().message.find("doc.json"), std::string::npos);
}

TEST(AtomicFile, ReadingAFolderOrMissingFileFailsCleanly) {
    testing::TempFolder dir;
    auto folder = readWholeFile(dir.path());
    ASSERT_FALSE(folder.ok());
    EXPECT_EQ(folder.error().code, EISDIR);
    auto missing = readWholeFile(dir.path() / "nothing");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ENOENT);
}

// Simulates a disk that fills up in the middle of the write: the process may
// not grow any file past a few bytes, so write() fails with EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST(AtomicFile, AWriteThatRunsOutOfSpaceLeavesTheOldFileByteIdentical) {
    testing::TempFolder dir;
    Project original;
    original.trimStart = 1.5;
    ASSERT_TRUE(writeProject(dir.path(), original).ok());
    const std::string before = slurp(dir.path() / kProjectFileName);

    Project bigger;
    bigger.splits.assign(500, 1.0);
    Result<void> result;
    {
        FileSizeLimit limit(64);
        result = writeProject(dir.path(), bigger);
    }
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().domain, "file");
    EXPECT_EQ(result.error().code, EFBIG);
    EXPECT_EQ(slurp(dir.path() / kProjectFileName), before);
    EXPECT_EQ(countTemporaries(dir.path()), 0);
}

TEST(AtomicFile, AnUnencodableDocumentLeavesTheOldFileByteIdentical) {
    testing::TempFolder dir;
    SessionEvents ev;
    ev.pixelWidth = 10;
    ev.pixelHeight = 10;
    ev.duration = 2;
    ASSERT_TRUE(writeSessionEvents(dir.path(), ev).ok());
    const std::string before = slurp(dir.path() / kEventsFileName);

    ev.duration = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(writeSessionEvents(dir.path(), ev).ok());
    EXPECT_EQ(slurp(dir.path() / kEventsFileName), before);
}

TEST(AtomicFile, UndecodableProjectOpensAsANewDocument) {
    testing::TempFolder dir;
    std::ofstream(dir.path() / kProjectFileName) << R"({"style":{"background":"neon"}})";
    EXPECT_EQ(loadProjectOrDefault(dir.path()), Project{});
    EXPECT_EQ(loadProjectOrDefault(dir.path() / "missing"), Project{});
}

}  // namespace
}  // namespace vorpix::model
