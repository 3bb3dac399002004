#include "update/SafeUnzip.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "update/Errors.h"

namespace vorpix::update {
namespace {

namespace fs = std::filesystem;
using test::dirEntry;
using test::fileEntry;
using test::linkEntry;
using test::ZipEntry;

class SafeUnzipTest : public ::testing::Test {
protected:
    Result<void> unzip(const std::vector<ZipEntry>& entries, const UnzipLimits& limits = {}) {
        test::writeFile(root_ / "p.zip", test::makeZip(entries));
        fs::create_directories(out());
        return safeUnzip(root_ / "p.zip", out(), limits);
    }
    fs::path out() const { return root_ / "nest/out"; }

    test::TempDir root_;
};

TEST_F(SafeUnzipTest, UnpacksFilesFoldersAndInnerLinks) {
    const auto result = unzip(
        {dirEntry("Vorpix/"), dirEntry("Vorpix/bin/"), fileEntry("Vorpix/bin/vorpix", "#!/bin/sh\n", 0755),
         linkEntry("Vorpix/lib/libx.so.1", "libx.so.1.0"),  // before its target
         fileEntry("Vorpix/lib/libx.so.1.0",
                   "lib"),  // parent folder made on the way linkEntry("Vorpix/current", "lib/."),
         fileEntry("Vorpix/share/suid", "s", 06777), fileEntry("Vorpix/share/private", "p", 0600)});
    ASSERT_TRUE(result.ok()) << result.error().message;
    EXPECT_EQ(test::readFile(out() / "Vorpix/bin/vorpix"), "#!/bin/sh\n");
    EXPECT_EQ(fs::status(out() / "Vorpix/bin/vorpix").permissions(), fs::perms(0755));
    EXPECT_EQ(fs::read_symlink(out() / "Vorpix/lib/libx.so.1"), "libx.so.1.0");
    EXPECT_EQ(test::readFile(out() / "Vorpix/lib/libx.so.1"), "lib");
    EXPECT_EQ(fs::status(out() / "Vorpix/share/suid").permissions(),
              fs::perms(0755));  // no set-id, no group write
    EXPECT_EQ(fs::status(out() / "Vorpix/share/private").permissions(), fs::perms(0644));
}

struct HostileCase {
    const char* name;
    std::vector<ZipEntry> entries;
    const char* message;  // expected message; "@ROOT@" stands for the test folder
    int code = errc::kUnsafeArchive;
    UnzipLimits limits = {};

    friend void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }
};

class SafeUnzipRefuses : public ::testing::TestWithParam<HostileCase> {};

TEST_P(SafeUnzipRefuses, EntryAndLeavesNothingOutside) {
    test::TempDir root;
    const fs::path out = root / "nest/out";
    fs::create_directories(out);
    test::writeFile(root / "victim", "original");
    std::vector<ZipEntry> entries = GetParam().entries;
    for (ZipEntry& e : entries) {
        // Placeholders for paths that depend on this test's folder.
        if (e.name.rfind("@ROOT@", 0) == 0) e.name = root.path().native() + e.name.substr(6);
        if (e.data.startsWith("@ROOT@"))
            e.data = QByteArray::fromStdString(root.path().native()) + e.data.mid(6);
    }
    test::writeFile(root / "p.zip", test::makeZip(entries));
    const auto before = test::snapshot(root.path());

    const auto result = safeUnzip(root / "p.zip", out, GetParam().limits);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().domain, "update");
    EXPECT_EQ(result.error().code, GetParam().code);
    std::string message = GetParam().message;
    if (const auto at = message.find("@ROOT@"); at != std::string::npos)
        message.replace(at, 6, root.path().native());
    EXPECT_EQ(result.error().message.substr(0, message.size()), message);

    // Whatever was unpacked stayed inside `out`; everything else is as before.
    auto after = test::snapshot(root.path());
    std::erase_if(after, [](const auto& item) { return item.first.rfind("nest/out/", 0) == 0; });
    EXPECT_EQ(after, before);
}

constexpr auto kUnpack = errc::kUnpack;
constexpr auto kUnsafe = errc::kUnsafeArchive;
constexpr UnzipLimits kTwoEntries{.maxEntries = 2};
constexpr UnzipLimits kTenBytes{.maxTotalBytes = 10};
constexpr UnzipLimits kFiveByteFiles{.maxEntryBytes = 5};

INSTANTIATE_TEST_SUITE_P(
    Table, SafeUnzipRefuses,
    ::testing::Values(
        HostileCase{"dotDot",
                    {fileEntry("Vorpix/ok", "1"), fileEntry("../escaped", "x")},
                    "The package entry \"../escaped\" leaves the package folder."},
        HostileCase{"deepDotDot",
                    {fileEntry("Vorpix/../../../victim", "x")},
                    "The package entry \"Vorpix/../../../victim\" leaves the package folder."},
        HostileCase{"dotDotFolder",
                    {dirEntry("a/../../b/")},
                    "The package entry \"a/../../b/\" leaves the package folder."},
        HostileCase{"absolute",
                    {fileEntry("@ROOT@/victim", "x")},
                    "The package entry \"@ROOT@/victim\" has an absolute path."},
        HostileCase{"linkToPasswd",
                    {linkEntry("Vorpix/passwd", "/etc/passwd"), fileEntry("Vorpix/passwd", "pwned")},
                    "The package entry \"Vorpix/passwd\" links outside the package folder."},
        HostileCase{"linkThenWriteThrough",
                    {linkEntry("Vorpix/v", "@ROOT@/victim"), fileEntry("Vorpix/v", "pwned")},
                    "The package entry \"Vorpix/v\" links outside the package folder."},
        HostileCase{"relativeLinkOut",
                    {linkEntry("Vorpix/up", "../../.."), fileEntry("Vorpix/up/victim", "x")},
                    "The package entry \"Vorpix/up\" links outside the package folder."},
        HostileCase{"linkInsideThenUp",
                    {linkEntry("Vorpix/a", "lib/../.."), fileEntry("Vorpix/a/x", "x")},
                    "The package entry \"Vorpix/a\" links outside the package folder."},
        HostileCase{"writeThroughInnerLink",
                    {dirEntry("Vorpix/lib/"), linkEntry("Vorpix/l", "lib"), fileEntry("Vorpix/l/x", "x")},
                    "The package could not be unpacked: ",
                    kUnpack},
        HostileCase{"charDevice",
                    {ZipEntry{"Vorpix/null", 020666, {}, std::nullopt}},
                    "The package entry \"Vorpix/null\" is a device or special file."},
        HostileCase{"blockDevice",
                    {ZipEntry{"Vorpix/sda", 060660, {}, std::nullopt}},
                    "The package entry \"Vorpix/sda\" is a device or special file."},
        HostileCase{"absurdSize",
                    {ZipEntry{"Vorpix/huge", 0100644, "small", 0xFFFFFFF0u}},
                    "The package entry \"Vorpix/huge\" declares an absurd size."},
        HostileCase{"tooManyEntries",
                    {fileEntry("a", "1"), fileEntry("b", "2"), fileEntry("c", "3")},
                    "The package entry \"c\" exceeds the number of files a package may hold.",
                    kUnsafe,
                    kTwoEntries},
        HostileCase{"totalTooLarge",
                    {fileEntry("a", "123456"), fileEntry("b", "123456")},
                    "The package entry \"b\" declares an absurd size.",
                    kUnsafe,
                    kTenBytes},
        HostileCase{"fileTooLarge",
                    {fileEntry("a", "123456")},
                    "The package entry \"a\" declares an absurd size.",
                    kUnsafe,
                    kFiveByteFiles},
        // Declared small, unpacks larger: the bytes written are counted too.
        HostileCase{"writtenTooLarge",
                    {ZipEntry{"a", 0100644, "123456", 1u}},
                    "The package entry \"a\" unpacks to an absurd size.",
                    kUnsafe,
                    kFiveByteFiles}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(SafeUnzipTest, LimitsAreInclusive) {
    EXPECT_TRUE(unzip({fileEntry("a", "12345"), fileEntry("b", "12345")},
                      {.maxEntryBytes = 5, .maxTotalBytes = 10, .maxEntries = 2})
                    .ok());
}

TEST_F(SafeUnzipTest, UnreadablePackagesFailWithAMessage) {
    fs::create_directories(out());
    for (const QByteArray& bytes :
         {QByteArray(), QByteArray("PK\x03\x04 truncated"), QByteArray("just text, not a zip"),
          test::makeZip({fileEntry("a", "12345")}).left(32)}) {
        test::writeFile(root_ / "bad.zip", bytes);
        const auto result = safeUnzip(root_ / "bad.zip", out());
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().code, errc::kUnpack);
        EXPECT_EQ(result.error().message.rfind("The package could not be unpacked: ", 0), 0u)
            << result.error().message;
    }
    EXPECT_FALSE(safeUnzip(root_ / "missing.zip", out()).ok());
    EXPECT_EQ(safeUnzip(root_ / "bad.zip", root_ / "no-such-folder").error().code, errc::kFiles);
}

TEST_F(SafeUnzipTest, LaterEntriesNeitherOverwriteNorWriteThroughEarlierOnes) {
    test::writeFile(root_ / "victim", "original");
    const auto result =
        unzip({fileEntry("Vorpix/a", "first"), fileEntry("Vorpix/a", "second"),
               linkEntry("Vorpix/inner", "a"), fileEntry("Vorpix/inner", "through the link")});
    ASSERT_TRUE(result.ok()) << result.error().message;
    EXPECT_EQ(test::readFile(out() / "Vorpix/a"), "first");
    EXPECT_FALSE(fs::is_symlink(out() / "Vorpix/inner"));  // the link is replaced, never followed
    EXPECT_EQ(test::readFile(root_ / "victim"), "original");
}

TEST_F(SafeUnzipTest, FifoModesArePlainFiles) {
    // libarchive reads zip modes other than file, folder, link and device as plain files.
    const auto result = unzip({ZipEntry{"Vorpix/fifo", 010644, "data", std::nullopt}});
    ASSERT_TRUE(result.ok()) << result.error().message;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out() / "Vorpix/fifo")));
}

}  // namespace
}  // namespace vorpix::update
