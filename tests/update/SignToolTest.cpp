#include <QProcess>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "update/Ed25519.h"
#include "update/Manifest.h"
#include "update/PackageInstaller.h"

namespace vorpix::update {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun runTool(const QStringList& args) {
    QProcess tool;
    tool.start(VORPIX_SIGN_TOOL, args);
    if (!tool.waitForFinished(10000)) return {};
    return {tool.exitCode(), tool.readAllStandardOutput(), tool.readAllStandardError()};
}

QString str(const fs::path& path) {
    return QString::fromStdString(path.native());
}

class SignToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        const ToolRun keygen = runTool({"keygen", str(key())});
        ASSERT_EQ(keygen.exitCode, 0) << keygen.err.toStdString();
        publicKey_ = keygen.out.trimmed();
        test::writeFile(root_ / "a.zip", test::makeZip({test::fileEntry("V/bin/vorpix", "a", 0755)}));
        test::writeFile(root_ / "b.zip", test::makeZip({test::fileEntry("V/bin/vorpix", "b", 0755)}));
    }
    fs::path key() const { return root_ / "release.pem"; }
    ToolRun sign(const char* package, const char* version, const char* platform, const char* url) {
        return runTool({"sign", "--key", str(key()), "--package", str(root_ / package), "--version", version,
                        "--platform", platform, "--url", url, "--manifest", str(root_ / "latest.json")});
    }
    Manifest manifest() const { return *decodeManifest(test::readFile(root_ / "latest.json")); }

    test::TempDir root_;
    QByteArray publicKey_;
};

TEST_F(SignToolTest, KeygenWritesAPrivateKeyAndPrintsItsPublicKey) {
    ASSERT_TRUE(decodeBase64Exact(publicKey_, kEd25519PublicKeyBytes).has_value());
    EXPECT_EQ(fs::status(key()).permissions(), fs::perms(0600));
    const ToolRun again = runTool({"public-key", str(key())});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.out.trimmed(), publicKey_);
    const ToolRun overwrite = runTool({"keygen", str(key())});
    EXPECT_EQ(overwrite.exitCode, 1);  // never replaces a key
    EXPECT_EQ(runTool({"public-key", str(key())}).out.trimmed(), publicKey_);
}

TEST_F(SignToolTest, SignWritesEntriesTheUpdaterAccepts) {
    ASSERT_EQ(sign("a.zip", "0.3.0", "linux-x86_64", "https://u.example/a.zip").exitCode, 0);
    ASSERT_EQ(sign("b.zip", "0.3.0", "linux-aarch64", "https://u.example/b.zip").exitCode, 0);
    Manifest m = manifest();
    EXPECT_EQ(m.version, "0.3.0");
    ASSERT_EQ(m.platforms.size(), 2u);  // same version: entries accumulate
    const Platform a = m.platforms.at("linux-x86_64");
    EXPECT_EQ(a.url, "https://u.example/a.zip");
    EXPECT_EQ(a.sha256, sha256Hex(root_ / "a.zip"));
    const QByteArray key = *decodeBase64Exact(publicKey_, kEd25519PublicKeyBytes);
    EXPECT_TRUE(verifyPackage(root_ / "a.zip", a.sha256, a.signature, key));
    EXPECT_FALSE(verifyPackage(root_ / "b.zip", a.sha256, a.signature, key));
    const Platform b = m.platforms.at("linux-aarch64");
    EXPECT_TRUE(verifyPackage(root_ / "b.zip", b.sha256, b.signature, key));

    const ToolRun verified =
        runTool({"verify", "--public-key", publicKey_, "--package", str(root_ / "a.zip"), "--platform",
                 "linux-x86_64", "--manifest", str(root_ / "latest.json")});
    EXPECT_EQ(verified.exitCode, 0) << verified.err.toStdString();
    const ToolRun mismatched =
        runTool({"verify", "--public-key", publicKey_, "--package", str(root_ / "b.zip"), "--platform",
                 "linux-x86_64", "--manifest", str(root_ / "latest.json")});
    EXPECT_EQ(mismatched.exitCode, 1);

    ASSERT_EQ(sign("b.zip", "0.4.0", "linux-x86_64", "https://u.example/b4.zip").exitCode, 0);
    m = manifest();
    EXPECT_EQ(m.version, "0.4.0");
    EXPECT_EQ(m.platforms.size(), 1u);  // a new version starts a new manifest
}

TEST_F(SignToolTest, CheckPackageUnpacksUnderTheUpdatersRules) {
    test::makeFakeApp(root_ / "build/Vorpix-0.3.0", "0.3.0", root_ / "started");
    test::writeFile(root_ / "good.zip", test::makeZip(test::entriesOf(root_ / "build")));
    auto withEscape = test::entriesOf(root_ / "build");
    withEscape.push_back(test::fileEntry("../escaped", "x"));
    test::writeFile(root_ / "escape.zip", test::makeZip(withEscape));

    const auto check = [&](const char* package, const char* version) {
        return runTool({"check-package", "--package", str(root_ / package), "--version", version});
    };
    const ToolRun good = check("good.zip", "0.3.0");
    EXPECT_EQ(good.exitCode, 0) << good.err.toStdString();
    EXPECT_FALSE(fs::exists(root_ / "started"));  // only --version was run
    const ToolRun older = check("good.zip", "0.4.0");
    EXPECT_EQ(older.exitCode, 1);
    EXPECT_TRUE(older.err.contains("not version 0.4.0")) << older.err.toStdString();
    const ToolRun escape = check("escape.zip", "0.3.0");
    EXPECT_EQ(escape.exitCode, 1);
    EXPECT_TRUE(escape.err.contains("leaves the package folder")) << escape.err.toStdString();
    EXPECT_EQ(check("a.zip", "0.3.0").exitCode, 1);  // no application folder
}

TEST_F(SignToolTest, RefusesBadInput) {
    EXPECT_EQ(sign("a.zip", "0.3.0", "linux-x86_64", "http://u.example/a.zip").exitCode, 1);  // not HTTPS
    EXPECT_EQ(sign("missing.zip", "0.3.0", "linux-x86_64", "https://u.example/a.zip").exitCode, 1);
    EXPECT_FALSE(fs::exists(root_ / "latest.json"));
    EXPECT_EQ(runTool({"sign", "--key", str(key())}).exitCode, 1);
    EXPECT_EQ(runTool({"sign", "--key"}).exitCode, 2);
    EXPECT_EQ(runTool({}).exitCode, 2);
    EXPECT_EQ(runTool({"frobnicate", "x"}).exitCode, 2);
    EXPECT_EQ(runTool({"public-key", str(root_ / "a.zip")}).exitCode, 1);
}

}  // namespace
}  // namespace vorpix::update
