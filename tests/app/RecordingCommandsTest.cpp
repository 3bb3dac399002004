// The command-line modes end to end on a small recording that the test
// makes with make-sample: real H.264 and AAC files, real exports.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

#include "app/CommandLine.h"
#include "app/SampleRecording.h"
#include "media/MediaProbe.h"
#include "model/Project.h"
#include "model/Uuid.h"
#include "render/Png.h"

namespace vorpix::app {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    std::optional<int> status;
    std::string out;
    std::string err;
};

class RecordingCommands : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "app_tests";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static QGuiApplication application(argc, argv);
    }

    void SetUp() override {
        root_ = fs::temp_directory_path() / ("vorpix-cli-" + model::Uuid::random().toString());
        env_.moviesFolder = root_ / "Movies";
        env_.applicationSupport = root_ / "data";
        env_.homeFolder = root_ / "home";
        env_.temporaryFolder = root_ / "tmp";
        fs::create_directories(env_.temporaryFolder);
        fs::create_directories(env_.homeFolder);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    fs::path makeRecording(const std::string& name, bool webcam) {
        SampleOptions o;
        o.folder = env_.moviesFolder / "Vorpix" / name;
        o.duration = 3;
        o.width = 320;
        o.height = 180;
        o.fps = 30;
        o.webcam = webcam;
        o.speech = false;
        auto made = makeSampleRecording(o);
        EXPECT_TRUE(made.ok()) << (made.ok() ? "" : made.error().message);
        return o.folder;
    }

    Outcome run(const std::vector<std::string>& args) {
        std::ostringstream out;
        std::ostringstream err;
        Outcome r;
        r.status = runCommandLine(args, env_, out, err);
        r.out = out.str();
        r.err = err.str();
        return r;
    }

    fs::path root_;
    Environment env_;
};

TEST_F(RecordingCommands, SelfTestExportsARealMovieAndSaysSo) {
    const fs::path folder = makeRecording("2026-12-05 10.00.00", true);
    const fs::path output = root_ / "self.mp4";
    const Outcome r = run({"--selftest", folder.string(), output.string()});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    std::istringstream lines(r.out);
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line)) all.push_back(line);
    ASSERT_EQ(all.size(), 6u) << r.out;
    EXPECT_EQ(all[0], "SELFTEST: session 2026-12-05 10.00.00");
    EXPECT_EQ(all[1].rfind("SELFTEST: 361 mus-samples, ", 0), 0u) << all[1];
    EXPECT_NE(all[1].find(" zoomsegment, 3.0 s"), std::string::npos) << all[1];
    EXPECT_EQ(all[2], "SELFTEST: webbkamera webcam.mov, offset 0.250 s");
    EXPECT_EQ(all[3], "SELFTEST: komposition klar, renderSize 320\u00D7180");
    EXPECT_EQ(all[4].rfind("SELFTEST: export OK \u2192 " + output.string() + " (", 0), 0u) << all[4];
    EXPECT_NE(all[4].find(" kB, 3.0 s)"), std::string::npos) << all[4];
    EXPECT_EQ(all[5], "SELFTEST: PASS");
    EXPECT_GT(fs::file_size(output), 10000u);
}

TEST_F(RecordingCommands, SelfTestTakesTheNewestRecordingAndFailsOnAnEmptyLibrary) {
    const Outcome empty = run({"--selftest"});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.err,
              "SELFTEST: ingen inspelning hittades i " + (env_.moviesFolder / "Vorpix").string() + "\n");

    makeRecording("newest", false);
    const Outcome r = run({"--import-ss", "--selftest"});  // the self-test wins
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("SELFTEST: session newest\n", 0), 0u) << r.out;
    EXPECT_TRUE(fs::exists(env_.temporaryFolder / "tavorin-selftest.mp4"));
}

TEST_F(RecordingCommands, SelfTestReportsABrokenRecordingInOneLine) {
    const fs::path folder = makeRecording("broken", false);
    std::ofstream(folder / "raw.mov", std::ios::trunc) << "not a movie";
    const Outcome r = run({"--selftest", folder.string(), (root_ / "x.mp4").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("SELFTEST: FEL \u2014 ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    EXPECT_NE(r.out.find("SELFTEST: FAIL\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(root_ / "x.mp4"));
}

TEST_F(RecordingCommands, ImportCheckNeedsAPackage) {
    const Outcome r = run({"--import-ss"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "anv\u00E4ndning: Tavorin --import-ss <fil.screenstudio>\n");
    const Outcome missing = run({"--import-ss", (root_ / "none.screenstudio").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "IMPORT-SS: FEL \u2014 The Screen Studio project was not found.\n");
}

TEST_F(RecordingCommands, LibraryBenchOnAnEmptyLibrary) {
    const Outcome r = run({"--bench-library"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("library-bench items=0 seconds=", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nOK\n"), std::string::npos) << r.out;
}

TEST_F(RecordingCommands, InfoDescribesTheEditAsJson) {
    const fs::path folder = makeRecording("info", false);
    model::Project project;
    project.removedRanges = {{model::Uuid::random(), 1.0, 1.5}};
    project.style.outputAspect = model::OutputAspect::square;
    ASSERT_TRUE(model::writeProject(folder, project).ok());

    const Outcome r = run({"info", "--json", folder.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto info = nlohmann::json::parse(r.out);
    for (const char* key : {"item", "capture", "project", "keep", "filmClips", "zoomSegments",
                            "usesManualZoom", "editDuration", "canvasSize"}) {
        EXPECT_TRUE(info.contains(key)) << key;
    }
    EXPECT_EQ(info["keep"].size(), 2u);
    EXPECT_NEAR(info["editDuration"].get<double>(), 2.5, 1e-9);
    EXPECT_EQ(info["canvasSize"]["width"], 320.0);
    EXPECT_EQ(info["canvasSize"]["height"], 320.0);
    EXPECT_EQ(info["project"]["trimEnd"], 3.0) << "the document as it would be saved";
    EXPECT_FALSE(info["usesManualZoom"].get<bool>());

    const Outcome text = run({"info", folder.string()});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("2 kept slices"), std::string::npos) << text.out;
    EXPECT_EQ(run({"info"}).status, 2);
    EXPECT_EQ(run({"info", (root_ / "nothing").string()}).status, 1);
}

TEST_F(RecordingCommands, ExportAndRenderFrameHonourThePreset) {
    const fs::path folder = makeRecording("export", true);
    const fs::path movie = root_ / "out" / "portrait.mp4";
    fs::create_directories(movie.parent_path());
    const Outcome r =
        run({"export", folder.string(), "--preset", "socialPortrait", "--output", movie.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, movie.string() + "\n");
    auto probed = media::probeMedia(movie);
    ASSERT_TRUE(probed.ok());
    ASSERT_EQ(probed->video.size(), 1u);
    EXPECT_EQ(probed->video[0].width, 320);
    EXPECT_EQ(probed->video[0].height, 568) << "9:16 of a 320-wide capture, rounded down to even";
    EXPECT_EQ(probed->audio.size(), 1u);

    const fs::path png = root_ / "frame.png";
    const Outcome f = run(
        {"render-frame", folder.string(), "--time", "1.5", "--preset", "square", "--output", png.string()});
    ASSERT_EQ(f.status, 0) << f.err;
    auto image = render::readPng(png);
    ASSERT_TRUE(image.ok());
    EXPECT_EQ(image->width(), 320);
    EXPECT_EQ(image->height(), 320);

    EXPECT_EQ(run({"export", folder.string(), "--preset", "wide"}).status, 2);
    EXPECT_EQ(run({"render-frame", folder.string(), "--time", "-1", "--output", png.string()}).status, 2);
}

TEST_F(RecordingCommands, MakeSampleWithoutAFolderAddsARecordingToTheLibrary) {
    const Outcome r = run({"make-sample", "--duration", "2", "--no-speech"});
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path folder = r.out.substr(0, r.out.size() - 1);
    EXPECT_EQ(folder.parent_path(), env_.moviesFolder / "Vorpix");
    EXPECT_TRUE(fs::exists(folder / "raw.mov"));
    const Outcome listed = run({"--bench-library"});
    EXPECT_EQ(listed.out.rfind("library-bench items=1 ", 0), 0u) << listed.out;
    // A second sample in the same folder is refused, and the first is kept.
    const Outcome again = run({"make-sample", folder.string(), "--duration", "2"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("already holds a recording"), std::string::npos) << again.err;
    EXPECT_TRUE(fs::exists(folder / "events.json"));
}

TEST_F(RecordingCommands, ExportToTheMoviesFolderByDefault) {
    const fs::path folder = makeRecording("Demo", false);
    const Outcome r = run({"export", folder.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path written = r.out.substr(0, r.out.size() - 1);
    EXPECT_EQ(written.parent_path(), env_.moviesFolder / "Vorpix Exports");
    EXPECT_EQ(written.filename().string().rfind("Demo ", 0), 0u);
    EXPECT_EQ(written.extension(), ".mp4");
    EXPECT_TRUE(fs::exists(written));
}

}  // namespace
}  // namespace vorpix::app
