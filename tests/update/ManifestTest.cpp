#include "update/Manifest.h"

#include <QSysInfo>

#include <gtest/gtest.h>

#include <sys/utsname.h>

#include "model/JsonCodes.h"
#include "update/BuildConfig.h"
#include "update/Endpoint.h"

namespace vorpix::update {
namespace {

constexpr const char* kFull = R"({
  "version": "1.4.0", "notes": "Faster export", "pub_date": "2025-03-01T10:00:00Z", "extra": [1],
  "platforms": {
    "linux-x86_64": {"url": "https://u.example/a.zip", "sha256": "AB12", "signature": "c2ln"},
    "linux-aarch64": {"url": "https://u.example/b.zip", "sha256": "cd34"}
  }
})";

TEST(ManifestDecode, ReadsEveryField) {
    const auto manifest = decodeManifest(kFull);
    ASSERT_TRUE(manifest.ok()) << manifest.error().message;
    EXPECT_EQ(manifest->version, "1.4.0");
    EXPECT_EQ(manifest->notes, "Faster export");
    EXPECT_EQ(manifest->pubDate, "2025-03-01T10:00:00Z");
    ASSERT_EQ(manifest->platforms.size(), 2u);
    EXPECT_EQ(manifest->platforms.at("linux-x86_64"), (Platform{"https://u.example/a.zip", "AB12", "c2ln"}));
    EXPECT_EQ(manifest->platforms.at("linux-aarch64"), (Platform{"https://u.example/b.zip", "cd34", ""}));
}

TEST(ManifestDecode, OptionalKeysMayBeAbsentOrNull) {
    const auto manifest = decodeManifest(R"({"version": "2", "notes": null, "platforms": {}})");
    ASSERT_TRUE(manifest.ok()) << manifest.error().message;
    EXPECT_EQ(manifest->version, "2");
    EXPECT_TRUE(manifest->notes.isEmpty());
    EXPECT_TRUE(manifest->platforms.empty());
}

struct BadManifest {
    const char* name;
    const char* json;
    int code;

    friend void PrintTo(const BadManifest& c, std::ostream* out) { *out << c.name; }
};

class ManifestDecodeFailure : public ::testing::TestWithParam<BadManifest> {};

TEST_P(ManifestDecodeFailure, IsRefusedWithAJsonError) {
    const auto manifest = decodeManifest(GetParam().json);
    ASSERT_FALSE(manifest.ok());
    EXPECT_EQ(manifest.error().domain, "json");
    EXPECT_EQ(manifest.error().code, GetParam().code);
    EXPECT_EQ(manifest.error().message.rfind("Invalid update manifest: ", 0), 0u) << manifest.error().message;
}

namespace jc = model::json_code;
INSTANTIATE_TEST_SUITE_P(
    Table, ManifestDecodeFailure,
    ::testing::Values(
        BadManifest{"empty", "", jc::kSyntax}, BadManifest{"truncated", R"({"version": "1")", jc::kSyntax},
        BadManifest{"html", "<html>Not Found</html>", jc::kSyntax},
        BadManifest{"array", R"([{"version": "1", "platforms": {}}])", jc::kWrongType},
        BadManifest{"noVersion", R"({"platforms": {}})", jc::kMissingKey},
        BadManifest{"numberVersion", R"({"version": 2, "platforms": {}})", jc::kWrongType},
        BadManifest{"noPlatforms", R"({"version": "2"})", jc::kMissingKey},
        BadManifest{"platformsArray", R"({"version": "2", "platforms": []})", jc::kWrongType},
        BadManifest{"notesNumber", R"({"version": "2", "notes": 1, "platforms": {}})", jc::kWrongType},
        BadManifest{"platformString", R"({"version": "2", "platforms": {"linux-x86_64": "u"}})",
                    jc::kWrongType},
        BadManifest{"noSha", R"({"version": "2", "platforms": {"k": {"url": "https://a/b"}}})",
                    jc::kMissingKey},
        BadManifest{"noUrl", R"({"version": "2", "platforms": {"k": {"sha256": "ab"}}})", jc::kMissingKey},
        BadManifest{"signatureNumber",
                    R"({"version": "2", "platforms": {"k": {"url": "u", "sha256": "ab", "signature": 5}}})",
                    jc::kWrongType}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(ManifestEncode, RoundTripsAndLeavesEmptyOptionalsOut) {
    Manifest manifest{"0.3.1", "", "", {{"linux-x86_64", {"https://u.example/c.zip", "ef", "sig"}}}};
    const QByteArray json = encodeManifest(manifest);
    EXPECT_FALSE(json.contains("notes"));
    EXPECT_FALSE(json.contains("pub_date"));
    const auto decoded = decodeManifest(json);
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(*decoded, manifest);

    manifest.notes = "n";
    manifest.pubDate = "today";
    manifest.platforms["linux-x86_64"].signature.clear();
    const QByteArray withNotes = encodeManifest(manifest);
    EXPECT_TRUE(withNotes.contains("\"pub_date\": \"today\""));
    EXPECT_FALSE(withNotes.contains("signature"));
    EXPECT_EQ(*decodeManifest(withNotes), manifest);
}

TEST(ChoosePlatform, PrefersOwnKeyThenFirstEntryThenNone) {
    Manifest manifest{"1", "", "", {{"linux-b", {"b", "2", ""}}, {"linux-a", {"a", "1", ""}}}};
    EXPECT_EQ(choosePlatform(manifest, "linux-b")->url, "b");
    EXPECT_EQ(choosePlatform(manifest, "linux-zzz")->url, "a");  // first in key order
    manifest.platforms.clear();
    EXPECT_FALSE(choosePlatform(manifest, "linux-b").has_value());
}

TEST(PlatformKey, IsLinuxPlusTheMachineArchitecture) {
    utsname name{};
    ASSERT_EQ(uname(&name), 0);
    EXPECT_EQ(platformKey(), QStringLiteral("linux-") + QString::fromLatin1(name.machine));
}

struct LocationCase {
    const char* url;
    bool httpsOnly;
    bool loopbackAllowed;

    friend void PrintTo(const LocationCase& c, std::ostream* out) { *out << '"' << c.url << '"'; }
};

class AllowedLocation : public ::testing::TestWithParam<LocationCase> {};

TEST_P(AllowedLocation, AcceptsHttpsAndLoopbackHttpOnlyWhenAllowed) {
    const QUrl url(GetParam().url, QUrl::StrictMode);
    EXPECT_EQ(isAllowedLocation(url, UrlPolicy::httpsOnly), GetParam().httpsOnly) << GetParam().url;
    EXPECT_EQ(isAllowedLocation(url, UrlPolicy::allowLoopbackHttp), GetParam().loopbackAllowed)
        << GetParam().url;
}

INSTANTIATE_TEST_SUITE_P(Table, AllowedLocation,
                         ::testing::Values(LocationCase{"https://updates.example/x.zip", true, true},
                                           LocationCase{"HTTPS://updates.example/x.zip", true, true},
                                           LocationCase{"http://updates.example/x.zip", false, false},
                                           LocationCase{"http://127.0.0.1:8080/x.zip", false, true},
                                           LocationCase{"http://127.8.9.1/x.zip", false, true},
                                           LocationCase{"http://[::1]:99/x.zip", false, true},
                                           LocationCase{"http://localhost/x.zip", false, true},
                                           LocationCase{"http://localhost.evil.example/x", false, false},
                                           LocationCase{"http://10.0.0.1/x.zip", false, false},
                                           LocationCase{"ftp://127.0.0.1/x.zip", false, false},
                                           LocationCase{"file:///tmp/x.zip", false, false},
                                           LocationCase{"https:///x.zip", false, false},
                                           LocationCase{"/relative/x.zip", false, false},
                                           LocationCase{"", false, false}));

TEST(Endpoint, ManifestPathIsAppendedToTheBase) {
    EXPECT_EQ(manifestUrl(QUrl("https://u.example")).toString(), "https://u.example/api/updates/latest.json");
    EXPECT_EQ(manifestUrl(QUrl("https://u.example/")).toString(),
              "https://u.example/api/updates/latest.json");
    EXPECT_EQ(manifestUrl(QUrl("https://u.example/vorpix/")).toString(),
              "https://u.example/vorpix/api/updates/latest.json");
    EXPECT_EQ(manifestUrl(QUrl("http://127.0.0.1:81")).toString(),
              "http://127.0.0.1:81/api/updates/latest.json");
}

TEST(Endpoint, SettingOverridesTheBuiltInBase) {
    EXPECT_EQ(endpointBaseUrl("").toString(), QString::fromUtf8(build::kUpdateUrl));
    EXPECT_EQ(endpointBaseUrl("   ").toString(), QString::fromUtf8(build::kUpdateUrl));
    EXPECT_EQ(endpointBaseUrl(" https://mirror.example/v ").toString(), "https://mirror.example/v");
    EXPECT_TRUE(isAllowedLocation(manifestUrl(endpointBaseUrl("")), UrlPolicy::httpsOnly));
}

}  // namespace
}  // namespace vorpix::update
