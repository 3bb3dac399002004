#include <gtest/gtest.h>

#include <fstream>
#include <unordered_set>

#include "support/TempFolder.h"
#include "model/RecordingItem.h"
#include "model/SessionEvents.h"

namespace vorpix::model {
namespace {

namespace fs = std::filesystem;

fs::path makeRecording(const fs::path& parent, const std::string& name) {
    const fs::path folder = parent / name;
    fs::create_directories(folder);
    SessionEvents ev;
    ev.pixelWidth = 1440;
    ev.pixelHeight = 900;
    ev.scaleFactor = 2;
    ev.duration = 42.5;
    EXPECT_TRUE(writeSessionEvents(folder, ev).ok());
    return folder;
}

TEST(RecordingItem, NativeFolderBecomesAnItem) {
    testing::TempFolder dir;
    const fs::path folder = makeRecording(dir.path(), "2025-03-07 14.05.09");
    const auto before = std::chrono::system_clock::now() - std::chrono::seconds(5);

    auto item = itemFor(folder);
    ASSERT_TRUE(item.ok()) << item.error().message;
    EXPECT_EQ(item->id, "2025-03-07 14.05.09");
    EXPECT_EQ(item->folder, folder);
    EXPECT_EQ(item->duration, 42.5);
    EXPECT_EQ(item->pixelSize, (Size{1440, 900}));
    EXPECT_EQ(item->source, RecordingSource::native);
    EXPECT_EQ(item->videoRelativePath, "raw.mov");
    EXPECT_EQ(item->videoPath(), folder / "raw.mov");
    EXPECT_FALSE(item->displayName);
    // Just made, so whichever of birth or modification time the file system
    // reports, it is recent.
    EXPECT_GT(item->createdAt, before);
}

TEST(RecordingItem, TrailingSlashStillNamesTheFolder) {
    testing::TempFolder dir;
    const fs::path folder = makeRecording(dir.path(), "take");
    auto item = itemFor(fs::path(folder.string() + "/"));
    ASSERT_TRUE(item.ok());
    EXPECT_EQ(item->id, "take");
}

TEST(RecordingItem, FolderWithoutDecodableEventsIsNotARecording) {
    testing::TempFolder dir;
    fs::create_directories(dir.path() / "empty");
    auto missing = itemFor(dir.path() / "empty");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().domain, "file");

    fs::create_directories(dir.path() / "noclicks");
    std::ofstream(dir.path() / "noclicks" / kEventsFileName)
        << R"({"pixelWidth":1,"pixelHeight":1,"scaleFactor":1,"duration":1,"samples":[]})";
    auto undecodable = itemFor(dir.path() / "noclicks");
    ASSERT_FALSE(undecodable.ok());
    EXPECT_EQ(undecodable.error().domain, "json");
}

TEST(RecordingItem, ScreenStudioPackagesGoToTheImporterInAnyLetterCase) {
    testing::TempFolder dir;
    int calls = 0;
    const PackagePeek peek = [&calls](const fs::path& package) -> Result<RecordingItem> {
        ++calls;
        RecordingItem item;
        item.id = package.filename().string();
        item.source = RecordingSource::screenStudio;
        return item;
    };
    for (const char* name : {"Demo.screenstudio", "Demo.ScreenStudio", "DEMO.SCREENSTUDIO", "x.sCrEeNsTuDiO"}) {
        // A valid events.json inside must not make it a native recording.
        const fs::path package = makeRecording(dir.path(), name);
        auto item = itemFor(package, peek);
        ASSERT_TRUE(item.ok()) << name;
        EXPECT_EQ(item->source, RecordingSource::screenStudio) << name;

        auto unsupported = itemFor(package);
        ASSERT_FALSE(unsupported.ok()) << name;
        EXPECT_NE(unsupported.error().message.find("Screen Studio"), std::string::npos);
    }
    EXPECT_EQ(calls, 4);
    EXPECT_FALSE(isScreenStudioPackage("folder.screenstudio.bak"));
    EXPECT_FALSE(isScreenStudioPackage("screenstudio"));
    EXPECT_TRUE(isScreenStudioPackage("/a/b/c.screenstudio/"));
}

TEST(RecordingItem, EqualityAndHashUseTheIdAlone) {
    RecordingItem a;
    a.id = "2025-03-07 14.05.09";
    a.duration = 1;
    a.createdAt = std::chrono::system_clock::time_point{};
    RecordingItem b = a;
    b.duration = 99;
    b.createdAt = std::chrono::system_clock::now();
    b.folder = "/elsewhere";
    RecordingItem c = a;
    c.id = "other";
    EXPECT_EQ(a, b);
    EXPECT_FALSE(a == c);
    std::unordered_set<RecordingItem> set{a, b, c};
    EXPECT_EQ(set.size(), 2u);
}

TEST(RecordingItem, CreationDateOfAMissingPathIsNone) {
    EXPECT_FALSE(creationDate("/nonexistent/vorpix/path"));
}

}  // namespace
}  // namespace vorpix::model
