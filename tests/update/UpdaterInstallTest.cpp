#include "update/Updater.h"

#include <QCryptographicHash>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "TestSupport.h"
#include "update/Ed25519.h"
#include "update/PackageInstaller.h"

namespace vorpix::update {
namespace {

namespace fs = std::filesystem;
using Response = test::LoopbackServer::Response;

constexpr const char* kManifestPath = "/api/updates/latest.json";
constexpr const char* kPackagePath = "/files/Vorpix-0.2.0-linux-test.zip";
// The install folder's parent: a space, a single quote, a command substitution
// and backticks, to catch any script that pastes paths into shell code.
constexpr const char* kNastyName = "Apps it's $(touch PWNED) `touch PWNED2`";

struct KeyPair {
    QByteArray pem;
    QByteArray publicKey;
};

KeyPair makeKeyPair() {
    const QByteArray pem = *generatePrivateKeyPem();
    return {pem, *publicKeyOf(pem)};
}

QString signatureOf(const KeyPair& key, const QByteArray& bytes) {
    return QString::fromLatin1(signEd25519(key.pem, bytes)->toBase64());
}

QString sha256Of(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

class UpdaterInstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        releaseKey_ = new KeyPair(makeKeyPair());
        otherKey_ = new KeyPair(makeKeyPair());
    }
    static void TearDownTestSuite() {
        delete releaseKey_;
        delete otherKey_;
    }

    void SetUp() override {
        parent_ = root_ / kNastyName;
        test::makeFakeApp(app(), "0.1.0", marker());
        fs::create_directories(root_ / "tmp");
        running_.start("sleep", {"30"});  // stands in for the running program
        ASSERT_TRUE(running_.waitForStarted());
    }
    void TearDown() override {
        running_.kill();
        running_.waitForFinished();
        // A handed-over install finishes in the background; let it end before
        // the test folder is removed under it.
        if (quitRequests_ > 0) waitForRestart();
    }

    // Waits until the installer has started the installed program.
    bool waitForRestart() {
        return test::waitUntil([&] {
            const std::string line = startedLine();
            return std::count(line.begin(), line.end(), '\n') == 2;
        });
    }

    fs::path app() const { return parent_ / "Vorpix"; }
    fs::path marker() const { return root_ / "started"; }

    UpdaterConfig config() const {
        UpdaterConfig c;
        c.baseUrl = server_.base();
        c.currentVersion = "0.1.0";
        c.appFolder = app();
        c.publicKey = releaseKey_->publicKey;
        c.waitForPid = running_.processId();
        c.tempDir = root_ / "tmp";
        c.platformKey = "linux-test";
        c.urlPolicy = UrlPolicy::allowLoopbackHttp;
        c.transferTimeoutMs = 5000;
        return c;
    }

    // A zip holding a fake application folder one level deep, as CPack packs it.
    QByteArray packageOf(const std::string& version, std::vector<test::ZipEntry> extra = {}) {
        const fs::path build = root_ / ("build-" + std::to_string(++builds_));
        test::makeFakeApp(build / ("Vorpix-" + version + "-linux-test"), version, marker());
        auto entries = test::entriesOf(build);
        entries.insert(entries.end(), extra.begin(), extra.end());
        return test::makeZip(entries);
    }

    // Serves `served` as the package and a manifest offering 0.2.0 with the
    // given checksum and signature.
    void publish(const QByteArray& served, const QString& sha256, const QString& signature) {
        server_.route(kPackagePath, Response::answer(200, served));
        const Manifest manifest{"0.2.0",
                                "Better zoom",
                                "",
                                {{"linux-test", {server_.url(kPackagePath).toString(), sha256, signature}}}};
        server_.route(kManifestPath, Response::answer(200, encodeManifest(manifest)));
    }

    void publishSigned(const QByteArray& package) {
        publish(package, sha256Of(package), signatureOf(*releaseKey_, package));
    }

    // Checks, installs and waits until the install failed or handed over.
    void checkAndInstall(Updater& updater) {
        QObject::connect(&updater, &Updater::quitRequested, [this] { ++quitRequests_; });
        QObject::connect(&updater, &Updater::statusChanged,
                         [this, &updater] { statuses_ << updater.status(); });
        bool checked = false;
        QObject::connect(&updater, &Updater::checkFinished, [&checked] { checked = true; });
        updater.check(CheckMode::interactive);
        ASSERT_TRUE(test::waitUntil([&] { return checked; }));
        ASSERT_EQ(updater.status(), "Version 0.2.0 is ready.");
        updater.install();
        ASSERT_TRUE(test::waitUntil([&] { return !updater.busy() || quitRequests_ > 0; }));
    }

    // The refused install left everything as it was.
    void expectNothingChanged(const Updater& updater, const std::map<std::string, std::string>& before) {
        EXPECT_FALSE(updater.busy());
        EXPECT_EQ(quitRequests_, 0);
        EXPECT_EQ(test::snapshot(parent_), before);  // app untouched, no staging folder left
        EXPECT_TRUE(fs::is_empty(root_ / "tmp"));    // download and unpack folders removed
        EXPECT_TRUE(test::findNamed(root_.path(), "escaped").empty());
        EXPECT_TRUE(test::findNamed(root_.path(), "PWNED").empty());
        EXPECT_FALSE(fs::exists(marker()));
    }

    std::string startedLine() const { return test::readFile(marker()).toStdString(); }

    static KeyPair* releaseKey_;
    static KeyPair* otherKey_;
    test::TempDir root_;
    fs::path parent_;
    test::LoopbackServer server_;
    QProcess running_;
    int builds_ = 0;
    int quitRequests_ = 0;
    QStringList statuses_;
};

KeyPair* UpdaterInstallTest::releaseKey_ = nullptr;
KeyPair* UpdaterInstallTest::otherKey_ = nullptr;

// Signs and publishes with the release tool, as a release manager would, then
// runs the whole update: check, download, verify, unpack, hand over, restart.
// The manifest only has another platform's entry, which is then taken.
TEST_F(UpdaterInstallTest, EndToEndReplacesTheAppAndStartsTheNewVersion) {
    const fs::path key = root_ / "release.pem";
    QProcess tool;
    tool.start(VORPIX_SIGN_TOOL, {"keygen", QString::fromStdString(key.native())});
    ASSERT_TRUE(tool.waitForFinished(10000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    const auto publicKey = decodeBase64Exact(tool.readAllStandardOutput(), kEd25519PublicKeyBytes);
    ASSERT_TRUE(publicKey.has_value());

    const QByteArray package = packageOf("0.2.0");
    test::writeFile(root_ / "Vorpix-0.2.0-linux-test.zip", package);
    tool.start(VORPIX_SIGN_TOOL, {"sign", "--key", QString::fromStdString(key.native()), "--package",
                                  QString::fromStdString((root_ / "Vorpix-0.2.0-linux-test.zip").native()),
                                  "--version", "0.2.0", "--url", server_.url(kPackagePath).toString(),
                                  "--platform", "linux-other", "--notes", "Better zoom", "--manifest",
                                  QString::fromStdString((root_ / "latest.json").native())});
    ASSERT_TRUE(tool.waitForFinished(10000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    server_.route(kManifestPath, Response::answer(200, test::readFile(root_ / "latest.json")));
    server_.route(kPackagePath, Response::answer(200, package));

    UpdaterConfig c = config();
    c.publicKey = *publicKey;
    Updater updater(c);
    QObject::connect(&updater, &Updater::quitRequested, [this] {
        running_.kill();  // the application quits; the installer may proceed
        running_.waitForFinished();
    });
    checkAndInstall(updater);
    ASSERT_EQ(quitRequests_, 1) << updater.status().toStdString();
    EXPECT_EQ(statuses_,
              (QStringList{"Checking…", "Version 0.2.0 is ready.", "Downloading…", "Installing…"}));
    EXPECT_EQ(updater.available()->notes, "Better zoom");

    ASSERT_TRUE(waitForRestart());
    EXPECT_EQ(startedLine(), "0.2.0\n" + (app() / "bin/vorpix").native() + "\n");
    EXPECT_TRUE(test::readFile(app() / "bin/vorpix").contains("vorpix 0.2.0"));
    EXPECT_EQ(fs::read_symlink(app() / "lib/libvorpix-extra.so.1"), "libvorpix-extra.so.1.0");
    EXPECT_EQ(fs::status(app() / "bin/vorpix").permissions(), fs::perms(0755));
    std::vector<fs::path> left;
    for (const auto& item : fs::directory_iterator(parent_)) left.push_back(item.path().filename());
    EXPECT_EQ(left, std::vector<fs::path>{"Vorpix"});  // old folder and staging folder gone
    EXPECT_TRUE(test::waitUntil([&] { return fs::is_empty(root_ / "tmp"); }));
    EXPECT_TRUE(test::findNamed(root_.path(), "PWNED").empty());
    EXPECT_TRUE(test::findNamed(fs::current_path(), "PWNED").empty());
}

// What is served instead of a good, signed package.
enum class Serve { signedPackage, flippedByte, otherKey, notFound, cutOff };

struct Tampering {
    const char* name;
    Serve serve;
    std::vector<test::ZipEntry> entries;  // added to a package of `version`, or the whole package
    bool entriesOnly;
    const char* version;
    const char* status;  // the install's last status, or its beginning when it ends in "…"

    friend void PrintTo(const Tampering& t, std::ostream* out) { *out << t.name; }
};

class UpdaterRefuses : public UpdaterInstallTest, public ::testing::WithParamInterface<Tampering> {};

TEST_P(UpdaterRefuses, AndLeavesTheInstallUntouched) {
    const Tampering& t = GetParam();
    const auto before = test::snapshot(parent_);
    const QByteArray good = t.entriesOnly ? test::makeZip(t.entries) : packageOf(t.version, t.entries);
    QByteArray served = good;
    if (t.serve == Serve::flippedByte)
        served[served.size() / 2] = static_cast<char>(served[served.size() / 2] ^ 1);
    publish(served, sha256Of(good),
            signatureOf(t.serve == Serve::otherKey ? *otherKey_ : *releaseKey_, good));
    if (t.serve == Serve::notFound) server_.route(kPackagePath, Response::answer(404, "gone"));
    if (t.serve == Serve::cutOff) server_.route(kPackagePath, Response::hangingUp());

    Updater updater(config());
    checkAndInstall(updater);
    std::string expected = t.status;
    if (expected.ends_with("…")) {
        expected.resize(expected.size() - std::string("…").size());
        EXPECT_EQ(updater.status().toStdString().substr(0, expected.size()), expected)
            << updater.status().toStdString();
    } else {
        EXPECT_EQ(updater.status().toStdString(), expected);
    }
    expectNothingChanged(updater, before);
}

constexpr const char* kMismatch = "The download did not match its checksum.";

// The package checks themselves have tables of their own (SafeUnzip, VerifyPackage);
// these show that each kind of refusal stops the install.
INSTANTIATE_TEST_SUITE_P(
    Table, UpdaterRefuses,
    ::testing::Values(Tampering{"flippedByte", Serve::flippedByte, {}, false, "0.2.0", kMismatch},
                      Tampering{"signedWithAnotherKey", Serve::otherKey, {}, false, "0.2.0", kMismatch},
                      Tampering{
                          "dotDotEntry",
                          Serve::signedPackage,
                          {test::fileEntry("../../escaped", "x")},
                          false,
                          "0.2.0",
                          "Update failed: The package entry \"../../escaped\" leaves the package folder."},
                      Tampering{"noApp",
                                Serve::signedPackage,
                                {test::fileEntry("README", "hello")},
                                true,
                                "",
                                "Update failed: No app in the package."},
                      Tampering{"olderReleaseUnderNewerLabel",
                                Serve::signedPackage,
                                {},
                                false,
                                "0.1.5",
                                "Update failed: The package holds \"vorpix 0.1.5\", not version 0.2.0."},
                      Tampering{"programThatDoesNotRun",
                                Serve::signedPackage,
                                {test::fileEntry("V/bin/vorpix", "#!/bin/sh\nexit 3\n", 0755)},
                                true,
                                "",
                                "Update failed: The new version does not start on this computer."},
                      Tampering{"downloadNotFound", Serve::notFound, {}, false, "0.2.0", "Update failed: …"},
                      Tampering{"downloadCutOff", Serve::cutOff, {}, false, "0.2.0", "Update failed: …"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(UpdaterInstallTest, OversizedDownloadIsAbandoned) {
    publishSigned(packageOf("0.2.0"));
    const auto before = test::snapshot(parent_);
    UpdaterConfig c = config();
    c.maxPackageBytes = 100;
    Updater updater(c);
    checkAndInstall(updater);
    EXPECT_EQ(updater.status(), "Update failed: The download is larger than any Vorpix package.");
    expectNothingChanged(updater, before);
}

TEST_F(UpdaterInstallTest, UnusablePackageEntriesAreMissingPackages) {
    Updater idle(config());
    idle.install();
    EXPECT_EQ(idle.status(), "Update package is missing.");  // nothing available yet

    for (const QString& url : {QString("http://192.0.2.1/p.zip"), QString("ftp://127.0.0.1/p.zip"),
                               QString("p.zip"), QString("")}) {
        server_.route(kManifestPath,
                      Response::answer(200, encodeManifest(Manifest{
                                                "0.2.0", "", "", {{"linux-test", {url, "00", "AA=="}}}})));
        Updater updater(config());
        checkAndInstall(updater);
        EXPECT_EQ(updater.status(), "Update package is missing.") << url.toStdString();
        EXPECT_FALSE(updater.busy());
    }
    server_.route(kManifestPath, Response::answer(200, encodeManifest(Manifest{"0.2.0", "", "", {}})));
    Updater empty(config());
    checkAndInstall(empty);
    EXPECT_EQ(empty.status(), "Update package is missing.");
    EXPECT_FALSE(server_.requests().contains(kPackagePath));
    EXPECT_TRUE(fs::is_empty(root_ / "tmp"));
}

TEST_F(UpdaterInstallTest, BusyInstallIgnoresChecksAndInstallsAndCleansUpOnDestruction) {
    publishSigned(packageOf("0.2.0"));
    server_.route(kPackagePath, Response::holding());  // the download never completes
    {
        Updater updater(config());
        bool checked = false;
        QObject::connect(&updater, &Updater::checkFinished, [&] { checked = true; });
        updater.check(CheckMode::quiet);
        ASSERT_TRUE(test::waitUntil([&] { return checked; }));
        updater.install();
        EXPECT_TRUE(updater.busy());
        EXPECT_EQ(updater.status(), "Downloading…");
        ASSERT_TRUE(test::waitUntil([&] { return server_.requests().contains(kPackagePath); }));
        const auto requests = server_.requests().size();
        updater.check(CheckMode::interactive);
        updater.install();
        test::waitUntil([] { return false; }, 100);
        EXPECT_EQ(updater.status(), "Downloading…");
        EXPECT_EQ(server_.requests().size(), requests);
        EXPECT_FALSE(fs::is_empty(root_ / "tmp"));
    }
    EXPECT_TRUE(fs::is_empty(root_ / "tmp"));
}

}  // namespace
}  // namespace vorpix::update
