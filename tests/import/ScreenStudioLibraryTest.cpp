// How packages reach the library: local availability, lightweight items,
// search folders, the remembered-folders setting, the cache folder, and the
// promise that nothing the importer does writes into a package.

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

#include "PackageBuilder.h"
#include "import/ScreenStudioImport.h"

namespace vorpix::import {
namespace {

using namespace fixtures;

class ScreenStudioListing : public ::testing::Test {
protected:
    TempFolder temp_;
};

// ---- Cache folder ----------------------------------------------------------------

TEST(ScreenStudioCache, PathHashIs64BitDjb2) {
    EXPECT_EQ(pathHash(""), 5381u);
    EXPECT_EQ(pathHash("a"), 177670u);
    // Long enough to wrap around many times; bytes above 0x7f count unsigned.
    EXPECT_EQ(pathHash("/Users/me/Screen Studio Projects/Demo.screenstudio"), 9179823672275558450u);
    EXPECT_EQ(pathHash("/home/ana/Vidéos/Démo.screenstudio"), 9322067725855407389u);
}

TEST_F(ScreenStudioListing, CacheFolderUnderTheDataFolderNamedByTheHash) {
    const fs::path package = temp_.path() / "Demo.screenstudio";
    const fs::path data = temp_.path() / "share";
    const fs::path folder = cacheFolder(package, data);
    EXPECT_EQ(folder, data / "Tavorin" / "screenstudio-cache" / std::to_string(pathHash(package.string())));
    EXPECT_TRUE(fs::is_directory(folder));  // created with its parents
    EXPECT_FALSE(fs::exists(package));      // the package itself is not needed

    // The same package by another spelling of its path: the same folder.
    EXPECT_EQ(cacheFolder(temp_.path() / "x" / ".." / "Demo.screenstudio/", data), folder);
    // Another package: another folder.
    EXPECT_NE(cacheFolder(temp_.path() / "Demo2.screenstudio", data), folder);
    // A relative path hashes as its absolute path.
    const fs::path relative = "some/Demo.screenstudio";
    EXPECT_EQ(cacheFolder(relative, data).filename().string(),
              std::to_string(pathHash((fs::current_path() / relative).string())));
}

TEST_F(ScreenStudioListing, CacheFolderWithoutDataFolderUsesTheTemporaryFolder) {
    // Point the temporary folder into this test's own folder.
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous != nullptr ? previous : "";
    ::setenv("TMPDIR", temp_.path().c_str(), 1);
    const fs::path folder = cacheFolder(temp_.path() / "Demo.screenstudio", {});
    if (previous != nullptr)
        ::setenv("TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");

    EXPECT_EQ(folder.parent_path(), temp_.path() / "Tavorin" / "screenstudio-cache");
    EXPECT_TRUE(fs::is_directory(folder));
}

TEST_F(ScreenStudioListing, CacheFolderThatCannotBeCreatedIsStillNamed) {
    writeFile(temp_.path() / "file", "x");
    const fs::path folder = cacheFolder(temp_.path() / "Demo.screenstudio", temp_.path() / "file");
    EXPECT_EQ(folder.parent_path(), temp_.path() / "file" / "Tavorin" / "screenstudio-cache");
    EXPECT_FALSE(fs::exists(folder));
}

// ---- Local availability and lightweight items -----------------------------------

TEST_F(ScreenStudioListing, LocallyAvailableMeansARegularNonEmptyMetadataFile) {
    struct Case {
        const char* name;
        void (*prepare)(const fs::path&);
        bool available;
    };
    const Case cases[] = {
        {"Full.screenstudio", [](const fs::path& p) { PackageBuilder::standard(p); }, true},
        {"NoMetadata.screenstudio", [](const fs::path& p) { fs::create_directories(p / "recording"); },
         false},
        {"EmptyMetadata.screenstudio", [](const fs::path& p) { PackageBuilder(p).metadataText(""); }, false},
        {"FolderMetadata.screenstudio",
         [](const fs::path& p) { fs::create_directories(p / "recording" / "metadata.json"); }, false},
        {"NoRecording.screenstudio", [](const fs::path& p) { fs::create_directories(p); }, false},
        // Available says nothing about whether the JSON is good.
        {"GarbageMetadata.screenstudio", [](const fs::path& p) { PackageBuilder(p).metadataText("garbage"); },
         true},
    };
    for (const auto& c : cases) {
        const fs::path package = temp_.path() / c.name;
        c.prepare(package);
        EXPECT_EQ(isLocallyAvailable(package), c.available) << c.name;
        EXPECT_EQ(lightweightItem(package).has_value(), c.available) << c.name;
    }
    EXPECT_FALSE(isLocallyAvailable(temp_.path() / "Missing.screenstudio"));
}

TEST_F(ScreenStudioListing, LightweightItemOpensNoJson) {
    // Garbage metadata: the lightweight item does not care, the peek does.
    const fs::path package = temp_.path() / "Launch Video.ScreenStudio";
    PackageBuilder(package).metadataText("garbage").project({{"name", "Ignored"}});

    const auto item = lightweightItem(package);
    ASSERT_TRUE(item.has_value());
    EXPECT_EQ(item->id, "ss:" + package.string());
    EXPECT_EQ(item->folder, package);
    EXPECT_EQ(item->source, model::RecordingSource::screenStudio);
    EXPECT_DOUBLE_EQ(item->duration, 0.0);
    EXPECT_EQ(item->pixelSize, (Size{0, 0}));
    EXPECT_EQ(item->videoRelativePath, "recording");
    EXPECT_EQ(item->displayName, "Launch Video");
    EXPECT_EQ(item->createdAt, model::creationDate(package).value());
    EXPECT_FALSE(peek(package).ok());

    PackageBuilder::standard(temp_.path() / "Demo.screenstudio.bak");  // needs the extension
    EXPECT_FALSE(lightweightItem(temp_.path() / "Demo.screenstudio.bak").has_value());
}

TEST_F(ScreenStudioListing, LightweightAndPeekedItemsShareTheirId) {
    const fs::path package = temp_.path() / "Demo.screenstudio";
    PackageBuilder::standard(package);
    const auto light = lightweightItem(package / "");
    auto full = peek(package);
    ASSERT_TRUE(light.has_value());
    ASSERT_TRUE(full.ok());
    EXPECT_EQ(light->id, full->id);
    EXPECT_EQ(*light, *full);  // equality is by id
    EXPECT_EQ(packageId(package), "ss:" + package.string());
}

// ---- Search folders, packages, remembered folders ----------------------------------

TEST_F(ScreenStudioListing, SearchFoldersInOrderWithoutDuplicatesOrMissingFolders) {
    const fs::path home = temp_.path() / "home";
    const fs::path stored1 = temp_.path() / "stored1";
    const fs::path stored2 = temp_.path() / "stored2";
    fs::create_directories(stored1);
    fs::create_directories(stored2);
    fs::create_directories(home / "Screen Studio Projects");
    fs::create_directories(home / "Library/CloudStorage/GoogleDrive-b@x.se/Min enhet/Video");
    fs::create_directories(home / "Library/CloudStorage/GoogleDrive-a@x.com/My Drive/Video");
    fs::create_directories(home / "Library/CloudStorage/GoogleDrive-a@x.com/Min enhet");  // no Video inside
    fs::create_directories(home / "Library/CloudStorage/Dropbox");

    const std::vector<std::string> stored{stored2.string(),
                                          "",
                                          (temp_.path() / "gone").string(),
                                          stored1.string() + "/",
                                          stored2.string(),
                                          (home / "Screen Studio Projects").string()};
    const auto folders = screenStudioSearchFolders(stored, home);
    const std::vector<fs::path> expected{
        stored2,
        stored1.string() + "/",
        home / "Screen Studio Projects",  // stored by the user first; listed once
        home / "Library/CloudStorage/GoogleDrive-a@x.com/My Drive/Video",
        home / "Library/CloudStorage/GoogleDrive-b@x.se/Min enhet/Video",
    };
    EXPECT_EQ(folders, expected);
    EXPECT_TRUE(screenStudioSearchFolders({}, temp_.path() / "nobody").empty());
    EXPECT_TRUE(screenStudioSearchFolders({}, {}).empty());
}

TEST_F(ScreenStudioListing, PackagesAreTheEntriesWithTheExtension) {
    const fs::path folder = temp_.path() / "projects";
    fs::create_directories(folder / "A.screenstudio");
    fs::create_directories(folder / "B.SCREENSTUDIO");
    fs::create_directories(folder / "C.screenstudio.zip");
    fs::create_directories(folder / "screenstudio");
    fs::create_directories(folder / "Notes");
    writeFile(folder / "D.screenstudio", "a plain file with the extension");

    const auto packages = screenStudioPackages(folder);
    std::set<std::string> names;
    for (const auto& p : packages) names.insert(p.filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"A.screenstudio", "B.SCREENSTUDIO", "D.screenstudio"}));
    EXPECT_TRUE(screenStudioPackages(temp_.path() / "missing").empty());
}

TEST(ScreenStudioRemember, AddLibraryFolderAppendsTheContainingFolderOnce) {
    const std::vector<std::string> start{"/videos/a"};
    auto once = addLibraryFolder(start, "/videos/b/Talk.screenstudio");
    EXPECT_EQ(once, (std::vector<std::string>{"/videos/a", "/videos/b"}));
    EXPECT_EQ(addLibraryFolder(once, "/videos/b/Other.screenstudio/"), once);
    EXPECT_EQ(addLibraryFolder(once, "/videos/a/./x/../Talk.screenstudio"), once);
    EXPECT_EQ(addLibraryFolder({}, "/Talk.screenstudio"), (std::vector<std::string>{"/"}));
}

// ---- The package is never written ------------------------------------------------------

TEST_F(ScreenStudioListing, NothingTheImporterDoesWritesIntoThePackage) {
    const fs::path package = temp_.path() / "ReadOnly.screenstudio";
    PackageBuilder::standard(package)
        .metadata(metadataWith(Json::array({recorder("display", displaySession()),
                                            recorder("microphone", {{"outputFilename", "mic.m4a"}}),
                                            recorder("camera", {{"outputFilename", "cam.mp4"}})})))
        .media("mic.m4a", 9000)
        .media("cam.mp4", 9000)
        .project({{"json",
                   {{"name", "RO"},
                    {"config", {{"cursorSize", 2}}},
                    {"scenes",
                     Json::array({{{"slices", Json::parse(R"([{"sourceStartMs":0,"sourceEndMs":9000}])")},
                                   {"zoomRanges", Json::parse(R"([{"startTime":0,"endTime":900}])")}}})}}}})
        .meta({{"createdAt", "2024-01-01T00:00:00Z"}})
        .mouseMoves(Json::parse(R"([{"x":1,"y":2,"t":0.5}])"))
        .mouseClicks(Json::parse(R"([{"type":"mousedown","x":1,"y":2,"t":0.5}])"));
    // Read-only as a user would have it (root ignores the bits, hence the snapshot).
    for (const auto& entry : fs::recursive_directory_iterator(package)) {
        if (entry.is_regular_file())
            fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::group_read);
    }
    const auto before = snapshot(package);
    const fs::path data = temp_.path() / "data";

    EXPECT_TRUE(isLocallyAvailable(package));
    EXPECT_TRUE(lightweightItem(package).has_value());
    EXPECT_TRUE(peek(package).ok());
    auto events = loadEvents(package, data);
    ASSERT_TRUE(events.ok()) << events.error().message;
    EXPECT_TRUE(loadEvents(package, data).ok());  // from the cache
    EXPECT_TRUE(loadProject(package, data).manualZoom.has_value());
    EXPECT_TRUE(model::writeProject(cacheFolder(package, data), model::Project{}).ok());
    EXPECT_EQ(loadProject(package, data), model::Project{});
    EXPECT_FALSE(screenStudioPackages(temp_.path()).empty());

    EXPECT_EQ(snapshot(package), before);
    // Everything derived went to the cache folder.
    EXPECT_TRUE(fs::exists(cacheFolder(package, data) / "events.json"));
}

}  // namespace
}  // namespace vorpix::import
