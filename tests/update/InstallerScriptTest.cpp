#include "update/InstallerScript.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"
#include "update/Errors.h"

namespace vorpix::update {
namespace {

namespace fs = std::filesystem;

// A folder name that breaks any script that pastes paths into its text.
constexpr const char* kNastyName = "it's a $(touch PWNED) `touch PWNED2` dir";

class InstallerScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent_ = root_ / kNastyName;
        target_ = parent_ / "Vorpix";
        stage_ = parent_ / ".Vorpix.update-test";
        work_ = root_ / "work dir";
        test::makeFakeApp(target_, "0.1.0", marker());
        test::makeFakeApp(stage_ / "new", "0.2.0", marker());
        fs::create_directories(work_);
        args_ = InstallerArguments{0, stage_ / "new", target_, stage_ / "old", stage_, work_};
    }
    fs::path marker() const { return root_ / "started"; }
    std::string startedLine() const { return test::readFile(marker()).toStdString(); }

    test::TempDir root_;
    fs::path parent_, target_, stage_, work_;
    InstallerArguments args_;
};

TEST_F(InstallerScriptTest, WaitsForTheProcessThenSwapsAndStartsTheNewVersion) {
    QProcess running;  // stands in for the program being replaced
    running.start("sleep", {"30"});
    ASSERT_TRUE(running.waitForStarted());
    args_.waitForPid = running.processId();
    const auto oldApp = test::snapshot(target_);
    const auto newApp = test::snapshot(stage_ / "new");

    ASSERT_TRUE(launchInstaller(work_ / "vorpix-install.sh", args_).ok());
    test::waitUntil([] { return false; }, 400);  // two polling rounds: nothing may move while it runs
    EXPECT_EQ(test::snapshot(target_), oldApp);
    EXPECT_FALSE(fs::exists(marker()));

    running.kill();
    running.waitForFinished();
    ASSERT_TRUE(test::waitUntil([&] {
        const std::string line = startedLine();
        return std::count(line.begin(), line.end(), '\n') == 2;
    }));
    EXPECT_EQ(startedLine(), "0.2.0\n" + (target_ / "bin/vorpix").native() + "\n");
    EXPECT_EQ(test::snapshot(target_), newApp);
    EXPECT_FALSE(fs::exists(stage_));
    EXPECT_FALSE(fs::exists(work_));
    EXPECT_TRUE(test::findNamed(root_.path(), "PWNED").empty());
}

TEST_F(InstallerScriptTest, PutsTheOldFolderBackWhenTheNewOneCannotMoveIn) {
    const auto oldApp = test::snapshot(target_);
    fs::remove_all(stage_ / "new");
    QProcess script;
    script.setWorkingDirectory(QString::fromStdString(parent_.native()));
    fs::create_directories(work_);
    test::writeFile(work_ / "vorpix-install.sh", installerScript(), fs::perms(0755));
    args_.waitForPid = 999999999;  // above any pid_max: nothing to wait for
    script.start("/bin/sh", installerArgv(work_ / "vorpix-install.sh", args_));
    ASSERT_TRUE(script.waitForFinished(10000));
    EXPECT_EQ(script.exitCode(), 0);  // the old program was started again
    EXPECT_EQ(startedLine(), "0.1.0\n" + (target_ / "bin/vorpix").native() + "\n");
    EXPECT_EQ(test::snapshot(target_), oldApp);
    EXPECT_FALSE(fs::exists(stage_));
    EXPECT_TRUE(test::findNamed(root_.path(), "PWNED").empty());
}

TEST_F(InstallerScriptTest, RefusesToStartWithoutAProcessToWaitFor) {
    args_.waitForPid = 0;
    const auto result = launchInstaller(work_ / "vorpix-install.sh", args_);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().code, errc::kInstaller);
    EXPECT_FALSE(fs::exists(work_ / "vorpix-install.sh"));
}

}  // namespace
}  // namespace vorpix::update
