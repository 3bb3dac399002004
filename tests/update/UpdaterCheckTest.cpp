#include "update/Updater.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "update/Ed25519.h"

namespace vorpix::update {
namespace {

namespace fs = std::filesystem;
using Response = test::LoopbackServer::Response;

constexpr const char* kManifestPath = "/api/updates/latest.json";

QByteArray manifestJson(const QString& version) {
    return encodeManifest(
        Manifest{version, "notes", "", {{"linux-test", {"https://u.example/p.zip", "00", ""}}}});
}

Response offer(const char* version) {
    return Response::answer(200, manifestJson(version));
}

class UpdaterCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::makeFakeApp(app(), "0.1.0", root_ / "started");
        fs::create_directories(root_ / "tmp");
    }
    fs::path app() const { return root_ / "Vorpix"; }

    UpdaterConfig config() const {
        UpdaterConfig c;
        c.baseUrl = server_.base();
        c.currentVersion = "0.1.0";
        c.appFolder = app();
        c.publicKey = QByteArray(kEd25519PublicKeyBytes, 'k');
        c.waitForPid = 1;
        c.tempDir = root_ / "tmp";
        c.platformKey = "linux-test";
        c.urlPolicy = UrlPolicy::allowLoopbackHttp;
        c.transferTimeoutMs = 5000;
        return c;
    }

    // Runs one check to its end and returns the statuses it went through.
    QStringList runCheck(Updater& updater, CheckMode mode) {
        QStringList statuses;
        int finished = 0;
        const auto a =
            QObject::connect(&updater, &Updater::statusChanged, [&] { statuses << updater.status(); });
        const auto b = QObject::connect(&updater, &Updater::checkFinished, [&] { ++finished; });
        updater.check(mode);
        EXPECT_TRUE(test::waitUntil([&] { return finished > 0; }));
        QObject::disconnect(a);
        QObject::disconnect(b);
        EXPECT_EQ(finished, 1);
        return statuses;
    }

    test::TempDir root_;
    test::LoopbackServer server_;
};

struct CheckCase {
    const char* name;
    Response response;
    CheckMode mode;
    const char* status;     // status after the check
    const char* available;  // version recorded as available, "" for none

    friend void PrintTo(const CheckCase& c, std::ostream* out) { *out << c.name; }
};

class UpdaterCheckOutcome : public UpdaterCheckTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(UpdaterCheckOutcome, SetsStatusAvailableAndSheet) {
    const CheckCase& c = GetParam();
    server_.route(kManifestPath, c.response);
    Updater updater(config());
    runCheck(updater, c.mode);
    EXPECT_EQ(updater.status(), QString::fromUtf8(c.status));
    EXPECT_EQ(updater.available() ? updater.available()->version : QString(), QString::fromUtf8(c.available));
    EXPECT_EQ(updater.showSheet(), *c.available != '\0');
    EXPECT_FALSE(updater.busy());
    // One request; Qt may retry once when the server hangs up.
    ASSERT_FALSE(server_.requests().isEmpty());
    EXPECT_EQ(server_.requests().count(kManifestPath), server_.requests().size());
}

const auto kInteractive = CheckMode::interactive;
const auto kQuiet = CheckMode::quiet;
constexpr const char* kLatest = "You are on the latest version (0.1.0).";
constexpr const char* kCannot = "Could not check for updates.";
constexpr const char* kReady = "Version 0.2.0 is ready.";
const QByteArray kBroken = "{\"version\": \"9\"";
using C = CheckCase;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, UpdaterCheckOutcome,
    ::testing::Values(
        C{"noContentInteractive", Response::answer(204), kInteractive, "You are on the latest version.", ""},
        C{"noContentQuiet", Response::answer(204), kQuiet, "", ""},
        C{"sameInteractive", offer("0.1.0"), kInteractive, kLatest, ""},
        C{"sameShorterInteractive", offer("0.1"), kInteractive, kLatest, ""},
        C{"olderInteractive", offer("0.0.9"), kInteractive, kLatest, ""},
        C{"sameQuiet", offer("0.1.0"), kQuiet, "", ""},
        C{"newerInteractive", offer("0.2.0"), kInteractive, kReady, "0.2.0"},
        C{"newerQuiet", offer("0.10"), kQuiet, "Version 0.10 is ready.", "0.10"},
        C{"brokenInteractive", Response::answer(200, kBroken), kInteractive, kCannot, ""},
        C{"brokenQuiet", Response::answer(200, kBroken), kQuiet, "", ""},
        C{"noPlatforms", Response::answer(200, "{\"version\": \"9\"}"), kInteractive, kCannot, ""},
        C{"notFoundPage", Response::answer(404, "<html>Not Found</html>"), kInteractive, kCannot, ""},
        // Any status other than 204 is decoded like a normal answer.
        C{"error500Manifest", Response::answer(500, manifestJson("0.2.0")), kInteractive, kReady, "0.2.0"},
        C{"hangUpInteractive", Response::hangingUp(), kInteractive, kCannot, ""},
        C{"hangUpQuiet", Response::hangingUp(), kQuiet, "", ""},
        C{"oversized", Response::answer(200, manifestJson("0.2.0") + QByteArray(kMaxManifestBytes, ' ')),
          kInteractive, kCannot, ""}),
    [](const auto& param) { return std::string(param.param.name); });
// clang-format on

TEST_F(UpdaterCheckTest, InteractiveCheckSaysCheckingFirst) {
    server_.route(kManifestPath, offer("0.2.0"));
    Updater updater(config());
    EXPECT_EQ(runCheck(updater, kInteractive), (QStringList{"Checking…", "Version 0.2.0 is ready."}));
    EXPECT_EQ(updater.available()->notes, "notes");
}

TEST_F(UpdaterCheckTest, QuietCheckClearsAnOldMessageAndOtherwiseStaysSilent) {
    server_.route(kManifestPath, offer("0.1.0"));
    Updater updater(config());
    runCheck(updater, kInteractive);
    ASSERT_EQ(updater.status(), "You are on the latest version (0.1.0).");
    EXPECT_EQ(runCheck(updater, kQuiet), QStringList{""});
}

TEST_F(UpdaterCheckTest, ServerDownCannotCheck) {
    UpdaterConfig c = config();
    c.baseUrl = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(test::closedPort()));
    Updater updater(c);
    runCheck(updater, kInteractive);
    EXPECT_EQ(updater.status(), "Could not check for updates.");
    runCheck(updater, kQuiet);
    EXPECT_EQ(updater.status(), "");
}

TEST_F(UpdaterCheckTest, FollowsRedirectsOnlyToAllowedLocations) {
    server_.route(kManifestPath, Response::redirect(server_.url("/v2/latest.json").toEncoded()));
    server_.route("/v2/latest.json", offer("0.2.0"));
    Updater updater(config());
    runCheck(updater, kInteractive);
    EXPECT_EQ(updater.status(), "Version 0.2.0 is ready.");

    // Plain HTTP away from loopback is refused before any connection is made.
    server_.route(kManifestPath, Response::redirect("http://192.0.2.1/latest.json"));
    Updater refusing(config());
    runCheck(refusing, kInteractive);
    EXPECT_EQ(refusing.status(), "Could not check for updates.");
}

TEST_F(UpdaterCheckTest, ProductionPolicyRefusesPlainHttpWithoutARequest) {
    server_.route(kManifestPath, offer("0.2.0"));
    UpdaterConfig c = config();
    c.urlPolicy = UrlPolicy::httpsOnly;
    Updater updater(c);
    runCheck(updater, kInteractive);
    EXPECT_EQ(updater.status(), "Could not check for updates.");
    EXPECT_TRUE(server_.requests().isEmpty());
}

TEST_F(UpdaterCheckTest, PackageManagerInstallsDoNotOfferUpdates) {
    fs::remove(app() / "share/vorpix/self-update");
    server_.route(kManifestPath, offer("0.2.0"));
    Updater updater(config());
    EXPECT_FALSE(updater.selfUpdatable());
    runCheck(updater, kInteractive);
    EXPECT_EQ(updater.status(), "Updates come from your package manager.");
    EXPECT_FALSE(updater.available().has_value());
    EXPECT_FALSE(updater.showSheet());
    runCheck(updater, kQuiet);
    EXPECT_EQ(updater.status(), "");
    updater.install();
    EXPECT_EQ(updater.status(), "Updates come from your package manager.");

    server_.route(kManifestPath,
                  offer("0.1.0"));  // not newer: the usual answer
    runCheck(updater, kInteractive);
    EXPECT_EQ(updater.status(), "You are on the latest version (0.1.0).");
}

TEST_F(UpdaterCheckTest, MissingCurrentVersionCountsAsZero) {
    UpdaterConfig c = config();
    c.currentVersion.clear();
    server_.route(kManifestPath, offer("0"));
    Updater updater(c);
    EXPECT_EQ(updater.currentVersion(), "0");
    runCheck(updater, kInteractive);
    EXPECT_EQ(updater.status(), "You are on the latest version (0).");
    server_.route(kManifestPath, offer("0.0.1"));
    runCheck(updater, kInteractive);
    EXPECT_EQ(updater.status(), "Version 0.0.1 is ready.");
}

TEST_F(UpdaterCheckTest, ANewCheckReplacesOneInFlight) {
    server_.route(kManifestPath, Response::holding());  // never answers
    Updater updater(config());
    int finished = 0;
    QObject::connect(&updater, &Updater::checkFinished, [&] { ++finished; });
    updater.check(kQuiet);
    ASSERT_TRUE(test::waitUntil([&] { return server_.requests().size() == 1; }));
    server_.route(kManifestPath, offer("0.2.0"));
    updater.check(kInteractive);
    ASSERT_TRUE(test::waitUntil([&] { return finished == 1; }));
    EXPECT_EQ(updater.status(), "Version 0.2.0 is ready.");
    test::waitUntil([] { return false; }, 100);
    EXPECT_EQ(finished, 1);  // the replaced check never reports
}

TEST_F(UpdaterCheckTest, SheetCanBeClosed) {
    server_.route(kManifestPath, offer("0.2.0"));
    Updater updater(config());
    runCheck(updater, kQuiet);
    ASSERT_TRUE(updater.showSheet());
    int changes = 0;
    QObject::connect(&updater, &Updater::showSheetChanged, [&] { ++changes; });
    updater.setShowSheet(false);
    updater.setShowSheet(false);
    EXPECT_FALSE(updater.showSheet());
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(updater.available().has_value());  // "Later" keeps the offer
}

TEST(ReleaseConfig, IsHttpsWithTheBuiltInKeyAndThisProgramsFolder) {
    test::TempDir dir;
    test::makeFakeApp(dir / "Vorpix", "0.1.0", dir / "started");
    const UpdaterConfig c = releaseConfig("", "0.1.0", dir / "Vorpix/bin/vorpix", 4242, dir.path());
    EXPECT_EQ(c.baseUrl, endpointBaseUrl(""));
    EXPECT_EQ(c.currentVersion, "0.1.0");
    EXPECT_EQ(c.appFolder, dir / "Vorpix");
    EXPECT_EQ(c.publicKey, releasePublicKey());
    EXPECT_EQ(c.waitForPid, 4242);
    EXPECT_EQ(c.tempDir, dir.path());
    EXPECT_EQ(c.platformKey, platformKey());
    EXPECT_EQ(c.urlPolicy, UrlPolicy::httpsOnly);
    EXPECT_TRUE(Updater(c).selfUpdatable());

    const UpdaterConfig mirror = releaseConfig("https://mirror.example", "0.1.0", "/usr/bin/vorpix", 1, "");
    EXPECT_EQ(mirror.baseUrl, QUrl("https://mirror.example"));
    EXPECT_FALSE(Updater(mirror).selfUpdatable());  // /usr belongs to the package manager
}

}  // namespace
}  // namespace vorpix::update
