// The recording library over folders built by the tests: which entries are
// recordings, duplicates between the library and the older library folder,
// Screen Studio packages, order, deletion and the listing benchmark's report.

#include "import/Library.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <sstream>
#include <string>

#include "PackageBuilder.h"
#include "import/ScreenStudioImport.h"
#include "model/SessionEvents.h"

namespace vorpix::import {
namespace {

using namespace fixtures;
using model::RecordingItem;
using model::RecordingSource;
using ::testing::ElementsAre;
using ::testing::MatchesRegex;
using ::testing::UnorderedElementsAre;

// A native recording folder with a decodable "events.json" of `duration` s.
void makeRecording(const fs::path& folder, double duration = 3.0) {
    fs::create_directories(folder);
    model::SessionEvents events;
    events.pixelWidth = 1280;
    events.pixelHeight = 720;
    events.duration = duration;
    ASSERT_TRUE(model::writeSessionEvents(folder, events).ok());
}

std::vector<std::string> idsOf(const std::vector<RecordingItem>& items) {
    std::vector<std::string> ids;
    for (const auto& item : items) ids.push_back(item.id);
    return ids;
}

class LibraryTest : public ::testing::Test {
protected:
    fs::path movies() const { return temp_.path() / "Videos"; }
    fs::path base() const { return baseFolder(movies()); }
    fs::path legacy() const { return legacyFolder(movies()); }
    TempFolder temp_;
};

TEST_F(LibraryTest, FoldersInsideTheMoviesFolder) {
    EXPECT_EQ(baseFolder("/home/u/Videos"), fs::path("/home/u/Videos/Vorpix"));
    EXPECT_EQ(legacyFolder("/home/u/Videos"), fs::path("/home/u/Videos/Tavorin"));
}

TEST_F(LibraryTest, SessionFolderIsNamedAfterTheLocalStartTime) {
    std::tm local{};
    local.tm_year = 2025 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 7;
    local.tm_hour = 14;
    local.tm_min = 5;
    local.tm_sec = 9;
    local.tm_isdst = -1;
    const auto start =
        std::chrono::system_clock::from_time_t(std::mktime(&local)) + std::chrono::milliseconds(999);
    EXPECT_EQ(sessionFolderName(start), "2025-03-07 14.05.09");

    const fs::path folder = newSessionFolder(base(), start);
    EXPECT_EQ(folder, base() / "2025-03-07 14.05.09");
    EXPECT_TRUE(fs::is_directory(folder));  // parents created too
    // Asking again for the same second is harmless.
    EXPECT_EQ(newSessionFolder(base(), start), folder);
}

TEST_F(LibraryTest, SessionFolderThatCannotBeCreatedIsStillReturned) {
    writeFile(temp_.path() / "blocker", "x");
    const auto now = std::chrono::system_clock::now();
    const fs::path folder = newSessionFolder(temp_.path() / "blocker" / "Vorpix", now);
    EXPECT_EQ(folder.parent_path(), temp_.path() / "blocker" / "Vorpix");
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(LibraryTest, OnlyVisibleFoldersWithDecodableEventsAreRecordings) {
    makeRecording(base() / "2025-01-01 10.00.00", 4.5);
    makeRecording(base() / ".2025-01-01 11.00.00");             // hidden
    fs::create_directories(base() / "2025-01-01 12.00.00");     // no events.json
    writeFile(base() / "2025-01-01 13.00.00", "a plain file");  // not a folder
    fs::create_directories(base() / "2025-01-01 14.00.00");
    writeFile(base() / "2025-01-01 14.00.00" / "events.json", R"({"pixelWidth": 1})");  // undecodable
    PackageBuilder::standard(base() / "Imported.screenstudio");  // peeked through the model
    PackageBuilder(base() / "Broken.screenstudio");              // no metadata: left out

    const auto items = recordings(base());
    std::vector<std::string> ids = idsOf(items);
    std::sort(ids.begin(), ids.end());
    EXPECT_THAT(ids, ElementsAre("2025-01-01 10.00.00", packageId(base() / "Imported.screenstudio")));
    for (const auto& item : items) {
        if (item.source == RecordingSource::native) {
            EXPECT_DOUBLE_EQ(item.duration, 4.5);
            EXPECT_EQ(item.folder, base() / "2025-01-01 10.00.00");
        } else {
            EXPECT_EQ(item.videoRelativePath, "recording/screen.mp4");
        }
    }
}

TEST_F(LibraryTest, CopyInBothFoldersIsListedOnceFromTheLibraryFolder) {
    makeRecording(base() / "2025-02-02 09.00.00", 1.0);
    makeRecording(legacy() / "2025-02-02 09.00.00", 2.0);
    makeRecording(legacy() / "2024-12-24 18.00.00", 3.0);

    const auto items = nativeRecordings(movies());
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].id, "2025-02-02 09.00.00");
    EXPECT_EQ(items[0].folder, base() / "2025-02-02 09.00.00");
    EXPECT_DOUBLE_EQ(items[0].duration, 1.0);
    EXPECT_EQ(items[1].folder, legacy() / "2024-12-24 18.00.00");
}

TEST_F(LibraryTest, AllRecordingsAddsAvailablePackagesOnceAndSortsNewestFirst) {
    makeRecording(base() / "a");
    makeRecording(legacy() / "b");
    const fs::path projects = temp_.path() / "Screen Studio Projects";
    PackageBuilder::standard(projects / "One.screenstudio");
    PackageBuilder(projects / "Cloud.screenstudio");  // online-only: no metadata
    // Garbage metadata still lists: the lightweight item opens no JSON.
    PackageBuilder(projects / "Two.screenstudio").metadataText("{");
    // Also reachable from the library folder itself (peeked there first).
    PackageBuilder::standard(base() / "Three.screenstudio");
    const fs::path other = temp_.path() / "Other";
    fs::create_directories(other);
    fs::create_directory_symlink(base() / "Three.screenstudio", other / "Three.screenstudio");

    const auto items = allRecordings(movies(), {projects, projects, base(), other});
    std::vector<std::string> ids = idsOf(items);
    std::vector<std::string> sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted,
              (std::vector<std::string>{
                  "a", "b", packageId(other / "Three.screenstudio"), packageId(projects / "One.screenstudio"),
                  packageId(projects / "Two.screenstudio"), packageId(base() / "Three.screenstudio")}));
    for (std::size_t i = 1; i < items.size(); ++i) {
        EXPECT_GE(items[i - 1].createdAt, items[i].createdAt) << i;
    }
    // The copy found in the library folder was peeked: it keeps its real size.
    for (const auto& item : items) {
        if (item.id == packageId(base() / "Three.screenstudio")) {
            EXPECT_EQ(item.pixelSize, (Size{1440, 900}));
        }
    }
}

TEST_F(LibraryTest, MissingOrUnlistableFoldersAreEmpty) {
    EXPECT_TRUE(allRecordings(movies(), {}).empty());
    EXPECT_TRUE(allRecordings(movies(), {temp_.path() / "missing"}).empty());
    writeFile(temp_.path() / "file", "x");
    EXPECT_TRUE(recordings(temp_.path() / "file").empty());
}

TEST(LibrarySort, EqualDatesKeepTheirGatheringOrder) {
    using std::chrono::seconds;
    const auto t = std::chrono::system_clock::time_point{} + seconds(1'700'000'000);
    const auto item = [](std::string id, std::chrono::system_clock::time_point at, RecordingSource source) {
        RecordingItem r;
        r.id = std::move(id);
        r.createdAt = at;
        r.source = source;
        return r;
    };
    std::vector<RecordingItem> items{
        item("old", t - seconds(60), RecordingSource::native),
        item("native-base", t, RecordingSource::native),
        item("native-legacy", t, RecordingSource::native),
        item("new", t + seconds(1), RecordingSource::native),
        item("ss-1", t, RecordingSource::screenStudio),
        item("ss-2", t, RecordingSource::screenStudio),
        item("older", t - seconds(120), RecordingSource::screenStudio),
    };
    sortNewestFirst(items);
    EXPECT_EQ(idsOf(items), (std::vector<std::string>{"new", "native-base", "native-legacy", "ss-1", "ss-2",
                                                      "old", "older"}));
}

TEST_F(LibraryTest, DeleteRemovesNativeFoldersOnly) {
    makeRecording(base() / "gone");
    makeRecording(base() / "kept");
    writeFile(base() / "gone" / "raw.mov", std::string(100, 'v'));
    const fs::path projects = temp_.path() / "projects";
    PackageBuilder::standard(projects / "Talk.screenstudio");
    const auto before = snapshot(projects / "Talk.screenstudio");

    for (const auto& item : allRecordings(movies(), {projects})) {
        if (item.id != "kept") deleteRecording(item);
    }
    EXPECT_FALSE(fs::exists(base() / "gone"));
    EXPECT_TRUE(fs::exists(base() / "kept" / "events.json"));
    EXPECT_EQ(snapshot(projects / "Talk.screenstudio"), before);
    // The next refresh lists the package again.
    EXPECT_THAT(idsOf(allRecordings(movies(), {projects})),
                UnorderedElementsAre("kept", packageId(projects / "Talk.screenstudio")));
}

TEST_F(LibraryTest, DeleteOfWhatIsAlreadyGoneOrUnnamedDoesNothing) {
    RecordingItem gone;
    gone.id = "gone";
    gone.folder = base() / "gone";
    deleteRecording(gone);
    deleteRecording(gone);

    makeRecording(base() / "x");
    RecordingItem unnamed;  // no folder: never a removal of the working directory
    deleteRecording(unnamed);
    RecordingItem root;
    root.folder = "/";
    deleteRecording(root);
    EXPECT_TRUE(fs::exists(base() / "x" / "events.json"));
}

// ---- The listing benchmark's report --------------------------------------------------

TEST_F(LibraryTest, BenchCountsEveryItem) {
    for (int i = 0; i < 5; ++i) makeRecording(base() / ("r" + std::to_string(i)));
    std::ostringstream out, err;
    EXPECT_EQ(runListingBench(out, err, movies(), {}), 0);
    EXPECT_THAT(out.str(), MatchesRegex("library-bench items=5 seconds=[0-9]+\\.[0-9][0-9][0-9]\nOK\n"));
    EXPECT_EQ(err.str(), "");
}

struct ReportCase {
    double seconds;
    const char* out;
    const char* err;
    int status;
};

class LibraryBenchReport : public ::testing::TestWithParam<ReportCase> {};

TEST_P(LibraryBenchReport, OkUpToTwoSecondsElseFail) {
    std::ostringstream out, err;
    EXPECT_EQ(reportListingBench(out, err, 42, GetParam().seconds), GetParam().status);
    EXPECT_EQ(out.str(), GetParam().out);
    EXPECT_EQ(err.str(), GetParam().err);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, LibraryBenchReport,
    ::testing::Values(ReportCase{0.0, "library-bench items=42 seconds=0.000\nOK\n", "", 0},
                      ReportCase{0.1234, "library-bench items=42 seconds=0.123\nOK\n", "", 0},
                      ReportCase{2.0, "library-bench items=42 seconds=2.000\nOK\n", "", 0},
                      ReportCase{2.5, "library-bench items=42 seconds=2.500\n",
                                 "FAIL: library listing took 2.500s (limit 2s)\n", 1},
                      // Just past the limit: fails although it prints as 2.000.
                      ReportCase{2.0001, "library-bench items=42 seconds=2.000\n",
                                 "FAIL: library listing took 2.000s (limit 2s)\n", 1}));

}  // namespace
}  // namespace vorpix::import
