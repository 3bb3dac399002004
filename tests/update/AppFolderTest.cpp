#include "update/AppFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include "TestSupport.h"

namespace vorpix::update {
namespace {

namespace fs = std::filesystem;

void makeProgram(const fs::path& app) {
    test::writeFile(app / "bin/vorpix", "#!/bin/sh\n", fs::perms(0755));
}

TEST(FindApp, FindsTheFolderHoldingBinVorpix) {
    test::TempDir dir;
    EXPECT_FALSE(findApp(dir.path()).has_value());  // empty

    makeProgram(dir / "top");
    EXPECT_EQ(findApp(dir / "top"), dir / "top");  // the folder itself

    makeProgram(dir / "one/Vorpix-0.2.0");  // one folder deep, as CPack packs it
    EXPECT_EQ(findApp(dir / "one"), dir / "one/Vorpix-0.2.0");

    makeProgram(dir / "two/x/Vorpix");
    EXPECT_EQ(findApp(dir / "two"), dir / "two/x/Vorpix");

    makeProgram(dir / "order/b");
    makeProgram(dir / "order/a");
    fs::create_directories(dir / "order/0-empty");
    EXPECT_EQ(findApp(dir / "order"), dir / "order/a");  // name order, empty folders skipped
}

TEST(FindApp, IgnoresLookAlikes) {
    test::TempDir dir;
    fs::create_directories(dir / "asDir/bin/vorpix");  // a folder, not a program
    EXPECT_FALSE(findApp(dir / "asDir").has_value());

    makeProgram(dir / "real");
    fs::create_directories(dir / "linked/bin");
    fs::create_symlink(dir / "real/bin/vorpix", dir / "linked/bin/vorpix");  // link to a program
    EXPECT_FALSE(findApp(dir / "linked").has_value());

    fs::create_directories(dir / "viaLink");
    fs::create_directory_symlink(dir / "real", dir / "viaLink/app");  // linked folder not followed
    EXPECT_FALSE(findApp(dir / "viaLink").has_value());

    fs::path deep = dir / "deep";
    for (int i = 0; i < 9; ++i) deep /= "d";
    makeProgram(deep);
    EXPECT_FALSE(findApp(dir / "deep").has_value());  // deeper than any package nests it

    EXPECT_FALSE(findApp(dir / "missing").has_value());
}

TEST(AppFolderOf, IsTheParentOfBinResolvingLinks) {
    test::TempDir dir;
    makeProgram(dir / "Vorpix");
    EXPECT_EQ(appFolderOf(dir / "Vorpix/bin/vorpix"), dir / "Vorpix");
    fs::create_directories(dir / "home/bin");
    fs::create_symlink(dir / "Vorpix/bin/vorpix", dir / "home/bin/vorpix-link");
    EXPECT_EQ(appFolderOf(dir / "home/bin/vorpix-link"), dir / "Vorpix");
    test::writeFile(dir / "loose/vorpix", "x");
    EXPECT_FALSE(appFolderOf(dir / "loose/vorpix").has_value());
    EXPECT_FALSE(appFolderOf(dir / "missing/bin/vorpix").has_value());
}

TEST(SelfUpdatable, NeedsTheMarkerAndAFolderOfItsOwn) {
    test::TempDir dir;
    makeProgram(dir / "Vorpix");
    EXPECT_FALSE(isSelfUpdatable(dir / "Vorpix"));  // no marker: a distribution's layout
    test::writeFile(dir / "Vorpix/share/vorpix/self-update", "");
    EXPECT_TRUE(isSelfUpdatable(dir / "Vorpix"));
    EXPECT_TRUE(isSelfUpdatable(dir / "Vorpix/"));
    EXPECT_FALSE(isSelfUpdatable(dir / "missing"));
    EXPECT_FALSE(isSelfUpdatable(""));
    for (const char* system : {"/", "/usr", "/usr/local", "/opt", "/usr/../usr"}) {
        EXPECT_FALSE(isSelfUpdatable(system)) << system;
    }
}

TEST(SelfUpdatable, ReadOnlyFoldersAreLeftToThePackageManager) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write anywhere; permission bits cannot be tested";
    test::TempDir dir;
    makeProgram(dir / "sys/Vorpix");
    test::writeFile(dir / "sys/Vorpix/share/vorpix/self-update", "");
    ASSERT_TRUE(isSelfUpdatable(dir / "sys/Vorpix"));
    fs::permissions(dir / "sys", fs::perms(0555));
    EXPECT_FALSE(isSelfUpdatable(dir / "sys/Vorpix"));  // cannot move it aside
    fs::permissions(dir / "sys", fs::perms(0755));
    fs::permissions(dir / "sys/Vorpix", fs::perms(0555));
    EXPECT_FALSE(isSelfUpdatable(dir / "sys/Vorpix"));
    fs::permissions(dir / "sys/Vorpix", fs::perms(0755));
}

}  // namespace
}  // namespace vorpix::update
