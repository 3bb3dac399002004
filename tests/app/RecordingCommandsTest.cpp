// The command-line modes end to end on a small recording that the test
// makes with make-sample: real H.264 and AAC files, real exports.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "app/CommandLine.h"
#include "app/SampleRecording.h"
#include "editor/RecordingSession.h"
#include "media/FFmpeg.h"
#include "media/FrameSource.h"
#include "media/MediaProbe.h"
#include "model/AtomicFile.h"
#include "model/Project.h"
#include "model/SessionEvents.h"
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

// The longest time between key frames in a file's video (its end included).
double longestKeyFrameGap(const fs::path& file) {
    auto input = media::openInput(file.string());
    media::PacketPtr packet = media::makePacket();
    if (!input || !packet) return -1;
    const int video = av_find_best_stream(input->get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0) return -1;
    const double unit = av_q2d((*input)->streams[video]->time_base);
    double lastKey = 0, latest = 0, longest = 0;
    while (av_read_frame(input->get(), packet.get()) >= 0) {
        if (packet->stream_index == video) {
            const double t = static_cast<double>(packet->pts) * unit;
            latest = std::max(latest, t);
            if (packet->flags & AV_PKT_FLAG_KEY) {
                longest = std::max(longest, t - lastKey);
                lastKey = t;
            }
        }
        av_packet_unref(packet.get());
    }
    return std::max(longest, latest - lastKey);
}

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

    // The built executable in a child process, as a user runs it: its own
    // signal handling, HOME under the test's folder, output in files.
    pid_t spawn(const std::vector<std::string>& args, const std::string& name, rlim_t fileSizeLimit = RLIM_INFINITY) {
        std::vector<std::string> texts{VORPIX_BINARY};
        texts.insert(texts.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& t : texts) argv.push_back(t.data());
        argv.push_back(nullptr);
        std::vector<std::string> vars{"HOME=" + env_.homeFolder.string(), "QT_QPA_PLATFORM=offscreen",
                                      "XDG_CONFIG_HOME=" + (env_.homeFolder / ".config").string(),
                                      "XDG_DATA_HOME=" + (env_.homeFolder / "data").string(), "PATH=/usr/bin:/bin"};
        std::vector<char*> envp;
        for (auto& v : vars) envp.push_back(v.data());
        envp.push_back(nullptr);
        const std::string out = (root_ / (name + ".out")).string();
        const std::string err = (root_ / (name + ".err")).string();
        const pid_t pid = fork();
        if (pid == 0) {  // only async-signal-safe calls until exec
            for (const int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, SIG_DFL);
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            if (fileSizeLimit != RLIM_INFINITY) setrlimit(RLIMIT_FSIZE, &limit);
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
            dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        return pid;
    }
    std::string text(const fs::path& file) { return model::readWholeFile(file).valueOr(std::string("<missing>")); }
    int temporaries(const fs::path& folder) {
        int n = 0;
        for (const auto& e : fs::directory_iterator(folder)) n += e.path().filename().string().ends_with(".part");
        return n;
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
    model::ZoomSegment zoom;  // into the cut: kept up to it
    zoom.start = 0.8;
    zoom.end = 1.2;
    project.manualZoom = std::vector{zoom};
    model::AudioClip clip;  // starts in the cut: plays from its end
    clip.fileName = "audio-1-music.wav";
    clip.start = 1.2;
    project.clips = {clip};
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
    EXPECT_EQ(info["exportSizes"]["socialPortrait"], (nlohmann::json{{"width", 1080}, {"height", 1920}}));
    EXPECT_EQ(info["zoomSegments"][0]["output"], (nlohmann::json{{"start", 0.8}, {"end", 1.0}}));
    EXPECT_EQ(info["audioClips"][0]["outputStart"], 1.0);
    EXPECT_NEAR(info["audioClips"][0]["fileOffset"].get<double>(), 0.3, 1e-9);
    EXPECT_EQ(info["project"]["trimEnd"], 3.0) << "the document as it would be saved";
    EXPECT_TRUE(info["usesManualZoom"].get<bool>());

    const Outcome text = run({"info", folder.string()});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("2 kept slices"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("0.80-1.20 s at (0.500, 0.500)"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("-> output 0.80-1.00\n"), std::string::npos) << text.out;
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
    EXPECT_EQ(probed->video[0].width, 1080) << "the preset's own size, whatever the capture's";
    EXPECT_EQ(probed->video[0].height, 1920);
    EXPECT_EQ(probed->audio.size(), 1u);

    const fs::path png = root_ / "frame.png";
    const Outcome f = run(
        {"render-frame", folder.string(), "--time", "1.5", "--preset", "square", "--output", png.string()});
    ASSERT_EQ(f.status, 0) << f.err;
    auto image = render::readPng(png);
    ASSERT_TRUE(image.ok());
    EXPECT_EQ(image->width(), 1080);
    EXPECT_EQ(image->height(), 1080);

    EXPECT_EQ(run({"export", folder.string(), "--preset", "wide"}).status, 2);
    for (const char* time : {"-1", "soon", "nan"}) {
        const Outcome bad = run({"render-frame", folder.string(), "--time", time, "--output", png.string()});
        EXPECT_EQ(bad.status, 2);
        EXPECT_NE(bad.err.find("--time needs a number of seconds, 0 or more, not \"" + std::string(time) + "\""),
                  std::string::npos)
            << bad.err;
    }
}

TEST_F(RecordingCommands, RenderFrameDrawsTheFramePathsPicture) {
    // Trimmed and cut, so output time and file time differ; a time between
    // frames and one past the end.
    const fs::path folder = makeRecording("frame", true);
    model::Project project;
    project.trimStart = 0.4;
    project.removedRanges = {{model::Uuid::random(), 1.0, 1.5}};
    ASSERT_TRUE(model::writeProject(folder, project).ok());
    auto recording = editor::loadRecording(folder, env_.applicationSupport);
    ASSERT_TRUE(recording.ok());
    auto composition = editor::buildComposition(*recording, model::ExportPreset::source);
    ASSERT_TRUE(composition.ok());
    media::FrameSource source(std::move(*composition));
    for (const double t : {1.31, 9.0}) {
        const fs::path png = root_ / "frame.png";
        const Outcome r = run({"render-frame", folder.string(), "--time", std::to_string(t), "--preset", "source",
                               "--output", png.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        auto image = render::readPng(png);
        ASSERT_TRUE(image.ok());
        auto frame = source.frameAt(media::MediaTime::fromSeconds(t));
        ASSERT_TRUE(frame.ok());
        ASSERT_EQ(image->width(), (*frame)->width);
        ASSERT_EQ(image->height(), (*frame)->height);
        int differing = 0;
        for (int y = 0; y < image->height(); ++y)
            differing += std::memcmp(image->row(y), (*frame)->data[0] + y * (*frame)->linesize[0],
                                     static_cast<std::size_t>(image->strideBytes())) != 0;
        EXPECT_EQ(differing, 0) << "rows differ at " << t << " s";
    }
}

TEST_F(RecordingCommands, MakeSampleWithoutAFolderAddsARecordingToTheLibrary) {
    const Outcome r = run({"make-sample", "--duration", "2", "--no-speech", "--webcam"});
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path folder = r.out.substr(0, r.out.size() - 1);
    EXPECT_EQ(folder.parent_path(), env_.moviesFolder / "Vorpix");
    // A key frame at least every half second, as a capture writes them: the
    // editor's seeks stay short.
    for (const char* movie : {"raw.mov", "webcam.mov"}) {
        const double gap = longestKeyFrameGap(folder / movie);
        EXPECT_TRUE(gap > 0 && gap <= 0.5 + 1e-6) << movie << ": " << gap;
    }
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

TEST_F(RecordingCommands, OutputsThatWouldReplaceARecordingOrAFolderAreRefusedInOneLine) {
    const fs::path folder = makeRecording("keep", true);
    fs::create_directories(root_ / "empty");
    fs::create_directories(root_ / "Talk.screenstudio");
    ASSERT_TRUE(model::writeProject(folder, model::Project{}));
    std::map<fs::path, std::string> before;
    for (const auto& e : fs::directory_iterator(folder)) before[e.path()] = text(e.path());
    ASSERT_EQ(before.size(), 4u);  // raw.mov, webcam.mov, events.json, project.json
    std::vector<std::pair<std::string, std::string>> cases{
        {folder.string(), "it is a folder"},
        {folder.string() + "/", "it is a folder"},
        {(root_ / "empty").string(), "it is a folder"},
        {(root_ / "new" / "").string(), "it is a folder"},
        {"", "No output file was given."},
        {(root_ / "none" / "x.mp4").string(), "the folder " + (root_ / "none").string() + " does not exist"},
        {(folder / "new.mp4").string(), "inside the recording folder"},
        {(root_ / "Talk.screenstudio" / "x.mp4").string(), "inside the Screen Studio package"}};
    for (const auto& [file, bytes] : before) cases.emplace_back(file.string(), "Will not write " + file.string());
    for (const auto& [output, says] : cases) {
        for (const Outcome& r : {run({"export", folder.string(), "--output", output}),
                                 run({"render-frame", folder.string(), "--time", "1", "--output", output}),
                                 run({"--selftest", folder.string(), output})}) {
            EXPECT_EQ(r.status, 1) << output;
            EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
    for (const auto& [file, bytes] : before) EXPECT_EQ(text(file), bytes) << file;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), std::ssize(before));
    EXPECT_TRUE(fs::is_directory(root_ / "empty"));
}

TEST_F(RecordingCommands, AnInterruptedOrFailedExportKeepsTheOldFileAndLeavesNoTemporary) {
    const fs::path folder = makeRecording("long", false);
    const fs::path target = root_ / "out" / "movie.mp4";
    fs::create_directories(target.parent_path());
    struct Case {
        int signal;             // sent once the export has begun; 0: none
        rlim_t fileSizeLimit;   // RLIM_INFINITY: none
    };
    for (const Case c : {Case{SIGTERM, RLIM_INFINITY}, Case{SIGINT, RLIM_INFINITY}, Case{SIGHUP, RLIM_INFINITY},
                         Case{SIGKILL, RLIM_INFINITY}, Case{0, 8 * 1024}}) {
        std::ofstream(target) << "the user's old movie";
        const pid_t child =
            spawn({"export", folder.string(), "--preset", "source", "--output", target.string()}, "child", c.fileSizeLimit);
        if (c.signal != 0) {
            for (int i = 0; i < 4000 && temporaries(target.parent_path()) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ASSERT_EQ(temporaries(target.parent_path()), 1) << "the export never began";
            kill(child, c.signal);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (c.signal != 0) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << c.signal << " " << status;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
            EXPECT_EQ(text(root_ / "child.err").rfind("Export failed: ", 0), 0u) << text(root_ / "child.err");
            EXPECT_NE(text(root_ / "child.err").find("File too large\n"), std::string::npos);
        }
        EXPECT_EQ(text(target), "the user's old movie") << c.signal;
        // Only SIGKILL leaves its temporary; the next write into the folder removes it.
        EXPECT_EQ(temporaries(target.parent_path()), c.signal == SIGKILL ? 1 : 0) << c.signal;
        if (c.signal == SIGKILL) {
            ASSERT_EQ(run({"render-frame", folder.string(), "--time", "0", "--output", (root_ / "out" / "f.png").string()})
                          .status,
                      0);
            EXPECT_EQ(temporaries(target.parent_path()), 0);
        }
    }
}

TEST_F(RecordingCommands, ConcurrentExportsEachFinishAndDefaultNamesNeverCollide) {
    const fs::path folder = makeRecording("Demo", false);
    const fs::path target = root_ / "same.mp4";
    std::ofstream(target) << "old";
    const std::vector<std::string> source{"export", folder.string(), "--preset", "source"};
    auto to = [&source](const fs::path& output) {
        auto args = source;
        args.insert(args.end(), {"--output", output.string()});
        return args;
    };
    const std::vector<pid_t> children{spawn(to(target), "a"), spawn(to(target), "b"), spawn(source, "c"),
                                      spawn(source, "d")};
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(text(root_ / "a.out"), target.string() + "\n");
    EXPECT_EQ(text(root_ / "b.out"), target.string() + "\n");
    const fs::path c = text(root_ / "c.out").substr(0, text(root_ / "c.out").size() - 1);
    const fs::path d = text(root_ / "d.out").substr(0, text(root_ / "d.out").size() - 1);
    EXPECT_NE(c, d);
    // In the same minute the second is "Demo <date> <time> 2.mp4".
    if (c.stem().string().size() != d.stem().string().size()) {
        const auto& [first, second] = c.stem().string().size() < d.stem().string().size() ? std::pair(c, d) : std::pair(d, c);
        EXPECT_EQ(second.stem(), first.stem().string() + " 2");
    }
    for (const fs::path& movie : {target, c, d}) {
        auto probed = media::probeMedia(movie);
        ASSERT_TRUE(probed.ok()) << movie;
        EXPECT_EQ(probed->video.size(), 1u) << movie;
    }
    EXPECT_EQ(temporaries(root_), 0);
    EXPECT_EQ(temporaries(c.parent_path()), 0);
}

// What opening a recording had to work around is said on stderr in one line
// each, and the command still does its work (the export ends with the movie).
TEST_F(RecordingCommands, InfoAndExportSayWhatTheRecordingGotWrong) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> spoil;
        const char* line;  // expected in stderr
    };
    const auto events = [](const fs::path& f, const std::function<void(model::SessionEvents&)>& edit) {
        auto e = model::readSessionEvents(f);
        ASSERT_TRUE(e.ok());
        edit(*e);
        ASSERT_TRUE(model::writeSessionEvents(f, *e).ok());
    };
    const auto write = [](const fs::path& file, const std::string& text) { std::ofstream(file) << text; };
    const std::vector<Case> cases = {
        {"field", [&](const fs::path& f) { write(f / "project.json", R"({"style":{"padding":"x"},"micVolume":0.5})"); },
         "project.json: could not read style.padding; used the defaults for it"},
        {"unparsable", [&](const fs::path& f) { write(f / "project.json", "{\"style\":"); },
         "(the old one is kept as \"project.json.unreadable-20"},
        {"outside", [&](const fs::path& f) { events(f, [](auto& e) { e.webcamFile = "../../secret.mov"; }); },
         "events.json: webcam movie \"../../secret.mov\" lies outside"},
        {"longer", [&](const fs::path& f) { events(f, [](auto& e) { e.duration = 1000; }); },
         "events.json says 1000.000 s but raw.mov holds 3.000 s; the edit ends with the movie"},
        {"still", [&](const fs::path& f) { ASSERT_TRUE(render::writePng(f / "raw.mov", render::Image(32, 18).view())); },
         "raw.mov is a still image, not a movie"},
        {"missing", [](const fs::path& f) { fs::remove(f / "raw.mov"); }, "raw.mov is missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path folder = makeRecording(c.name, false);
        c.spoil(folder);
        const Outcome info = run({"info", folder.string()});
        EXPECT_EQ(info.status, 0);
        EXPECT_NE(info.err.find(c.line), std::string::npos) << info.err;
        EXPECT_EQ(std::count(info.err.begin(), info.err.end(), '\n'), 1) << info.err;
        const fs::path output = root_ / (std::string(c.name) + ".mp4");
        const Outcome exported = run({"export", folder.string(), "--output", output.string()});
        const bool movie = c.name != std::string("still") && c.name != std::string("missing");
        EXPECT_EQ(exported.status, movie ? 0 : 1) << exported.err;
        if (movie) {
            EXPECT_NEAR(media::probeMedia(output)->duration.seconds(), 3.0, 0.2);
        }
    }
}

}  // namespace
}  // namespace vorpix::app
