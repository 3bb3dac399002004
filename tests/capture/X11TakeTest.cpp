// Whole takes on a private Xvfb: a window that moves and changes colour
// while XTest moves the pointer and clicks at known places and times; a
// `vorpix record` killed with SIGKILL; a take that hits a file-size limit;
// and a machine without an X display.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>
#include <thread>

#include "XvfbSession.h"
#include "capture/HostClock.h"
#include "capture/RecorderModel.h"
#include "capture/TakeJournal.h"
#include "capture/TakeRecovery.h"
#include "capture/ToneAudioSource.h"
#include "capture/X11Screen.h"
#include "import/Library.h"
#include "media/FFmpeg.h"
#include "media/MediaProbe.h"
#include "media/VideoReader.h"
#include "model/SessionEvents.h"

namespace vorpix::capture {
namespace {

namespace fs = std::filesystem;
constexpr double kFrame = 1.0 / 60;

void pumpUntil(const std::function<bool()>& done, double seconds) {
    const double end = hostSeconds() + seconds;
    while (!done() && hostSeconds() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
}
void pumpFor(double seconds) {
    pumpUntil([] { return false; }, seconds);
}

// The colour under a pixel of a decoded 4:2:0 frame: 'r', 'b' or 'k' (black).
char colourAt(const media::VideoFrame& frame, int x, int y) {
    const AVFrame& f = frame.av();
    const int u = f.data[1][(y / 2) * f.linesize[1] + x / 2];
    const int v = f.data[2][(y / 2) * f.linesize[2] + x / 2];
    return v > 190 ? 'r' : u > 190 ? 'b' : (std::abs(u - 128) < 8 && std::abs(v - 128) < 8) ? 'k' : '?';
}

struct Child {
    pid_t pid = -1;
    fs::path out, err;
    std::string text(const fs::path& p) const {
        std::ifstream in(p);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    int wait() const {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

// `vorpix <args>` with its own home (so its library is ours), a display or
// none, and optionally a file-size limit in bytes.
Child runVorpix(const std::vector<std::string>& args, const fs::path& home, const std::string& display,
                rlim_t fileLimit = RLIM_INFINITY) {
    Child c{-1, home / "stdout", home / "stderr"};
    c.pid = ::fork();
    if (c.pid == 0) {
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (display.empty()) {
            ::unsetenv("DISPLAY");
        } else {
            ::setenv("DISPLAY", display.c_str(), 1);
        }
        ::dup2(::open(c.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        ::dup2(::open(c.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        rlimit limit{fileLimit, fileLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::vector<char*> argv{const_cast<char*>(VORPIX_EXECUTABLE)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(VORPIX_EXECUTABLE, argv.data());
        ::_exit(127);
    }
    return c;
}

fs::path onlyTake(const fs::path& home) {
    fs::path found;
    for (const auto& e : fs::directory_iterator(home / "Videos" / "Vorpix")) found = e.path();
    return found;
}

class X11Take : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "capture_take_tests";
        static char* argv[] = {name, nullptr};
        if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
        media::setFFmpegLogLevel(media::FFmpegLogLevel::quiet);
    }
    QTemporaryDir home_;
    fs::path home() const { return home_.path().toStdString(); }
};

TEST_F(X11Take, RecordsTheWindowWhereItWasAndTheInjectedClicks) {
    test::XvfbSession x(640, 480);
    ASSERT_TRUE(x.ok()) << "Xvfb did not start";
    x.showWindow(100, 100, 120, 80, 0xff0000);
    x.movePointer(50, 60);

    QSettings settings(QString::fromStdString((home() / "recorder.ini").string()), QSettings::IniFormat);
    RecorderBackends backends;
    backends.screen = std::make_shared<X11Screen>(x.display());
    backends.systemAudio = [] { return std::make_unique<ToneAudioSource>(ToneSettings{}); };
    RecorderModel model(backends, settings, home() / "Vorpix");
    model.refreshDisplays();
    ASSERT_EQ(model.displays().size(), 1u);
    EXPECT_EQ(model.displays()[0].display.bounds, (PixelRect{0, 0, 640, 480}));
    model.setRecordSystemAudio(true);
    std::optional<model::RecordingItem> saved;
    model.onRecordingSaved = [&](const model::RecordingItem& item) { saved = item; };

    model.startRecording(RecorderModel::Countdown::off);
    pumpUntil([&] { return !model.isStarting(); }, 2);
    ASSERT_EQ(model.state(), RecorderModel::State::recording) << model.errorMessage().value_or("");
    pumpFor(0.5);
    x.movePointer(200, 150);
    const double click1 = hostSeconds();
    x.button(1, true);  // a click far shorter than one poll
    x.button(1, false);
    pumpFor(0.5);
    const double moved = hostSeconds();
    x.moveWindow(400, 250, 0x0000ff);
    pumpFor(0.5);
    x.movePointer(460, 300);
    const double click2 = hostSeconds();
    x.button(3, true);
    pumpFor(0.05);
    x.button(3, false);
    pumpFor(0.7);
    model.stopRecording();
    pumpUntil([&] { return model.state() == RecorderModel::State::idle; }, 20);
    ASSERT_TRUE(saved.has_value()) << model.errorMessage().value_or("");

    const double first = *model.lastTake().firstPTS;
    auto events = model::readSessionEvents(saved->folder);
    ASSERT_TRUE(events.ok());
    EXPECT_EQ(events->pixelWidth, 640);
    EXPECT_NEAR(events->duration, hostSeconds() - first, 1.0);
    ASSERT_EQ(events->clicks.size(), 2u);
    EXPECT_EQ(events->clicks[0], (model::ClickEvent{events->clicks[0].t, 200, 150, 0}));
    EXPECT_EQ(events->clicks[1], (model::ClickEvent{events->clicks[1].t, 460, 300, 1}));
    EXPECT_NEAR(events->clicks[0].t, click1 - first, kFrame);
    EXPECT_NEAR(events->clicks[1].t, click2 - first, kFrame);
    EXPECT_GT(events->samples.size(), 120u);  // 120 Hz over about two seconds

    auto reader = media::VideoReader::open(saved->folder / "raw.mov");
    ASSERT_TRUE(reader.ok());
    for (const auto& [t, inOld, inNew] : {std::tuple{moved - first - 0.2, 'r', 'k'}, {moved - first + 0.2, 'k', 'b'}}) {
        auto frame = (*reader)->frameAt(media::MediaTime::fromSeconds(t));
        ASSERT_TRUE(frame.ok());
        EXPECT_EQ(colourAt(**frame, 160, 140), inOld) << "at " << t;
        EXPECT_EQ(colourAt(**frame, 460, 290), inNew) << "at " << t;
    }
    auto info = media::probeMedia(saved->folder / "raw.mov");
    ASSERT_TRUE(info.ok());
    ASSERT_EQ(info->audio.size(), 1u);
    EXPECT_NEAR(info->audio[0].range.duration.seconds(), info->video[0].range.duration.seconds(), 0.1);

    const auto exported = home() / "take.mp4";
    Child e = runVorpix({"export", saved->folder.string(), "--output", exported.string()}, home(), "");
    EXPECT_EQ(e.wait(), 0) << e.text(e.err);
    EXPECT_GT(fs::file_size(exported), 10'000u);
}

// Five seconds rather than ten: the loss is bounded by one 0.5 s fragment
// whatever the length, and the journal times it exactly.
TEST_F(X11Take, AKilledTakeKeepsAllButItsLastFragmentAndIsRecovered) {
    test::XvfbSession x(640, 480);
    ASSERT_TRUE(x.ok());
    x.showWindow(100, 100, 120, 80, 0xff0000);
    Child c = runVorpix({"record", "--no-countdown"}, home(), x.display());
    const double start = hostSeconds();
    for (int i = 0; hostSeconds() - start < 5; ++i) {
        x.movePointer(100 + i % 200, 200);
        if (i == 100) {
            x.movePointer(300, 200);
            x.button(1, true);
            x.button(1, false);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(c.pid, SIGKILL);
    const double killed = hostSeconds();
    c.wait();

    const fs::path folder = onlyTake(home());
    auto journal = readJournal(folder);
    ASSERT_TRUE(journal.ok() && journal->firstPTS) << c.text(c.err);
    auto extent = measureMovie(folder / "raw.mov");
    ASSERT_TRUE(extent.ok()) << extent.error().message;
    // Lost: at most the open fragment (0.5 s) and the writer's queue (8 frames).
    EXPECT_GT(extent->last - extent->first, killed - *journal->firstPTS - 0.65);

    const import::FolderRepair repair = [](const fs::path& f) { return recoverTake(f).ok(); };
    const auto items = import::recordings(home() / "Videos" / "Vorpix", repair);
    ASSERT_EQ(items.size(), 1u);
    auto events = model::readSessionEvents(folder);
    ASSERT_TRUE(events.ok());
    EXPECT_NEAR(events->duration, extent->last - extent->first, 1e-6);
    EXPECT_GT(events->samples.size(), 300u);
    ASSERT_EQ(events->clicks.size(), 1u);
    EXPECT_EQ(events->clicks[0].x, 300);
    EXPECT_FALSE(fs::exists(folder / kJournalFileName));
    auto reader = media::VideoReader::open(folder / "raw.mov");
    ASSERT_TRUE(reader.ok());
    EXPECT_TRUE((*reader)->frameAt(media::MediaTime::fromSeconds(events->duration)).ok());
}

TEST_F(X11Take, AFullDiskStopsTheTakeWithOneLineAndKeepsWhatWasWritten) {
    test::XvfbSession x(640, 480);
    ASSERT_TRUE(x.ok());
    x.showWindow(100, 100, 120, 80, 0xff0000);
    Child c = runVorpix({"record", "--no-countdown", "--duration", "30"}, home(), x.display(), 200'000);
    int status = -1;
    for (int i = 0; i < 3000 && status < 0; ++i) {  // keep the picture changing so the movie grows
        x.moveWindow(100 + i % 300, 100, i % 2 != 0 ? 0xff0000 : 0x0000ff);
        if (::waitpid(c.pid, &status, WNOHANG) == 0) status = -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string err = c.text(c.err);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("vorpix record: Recording stopped: "), std::string::npos) << err;
    const fs::path folder = onlyTake(home());
    EXPECT_TRUE(measureMovie(folder / "raw.mov").ok());
    EXPECT_TRUE(model::readSessionEvents(folder).ok());
}

TEST_F(X11Take, WithoutAnXDisplayOneLine) {
    for (const auto& args : {std::vector<std::string>{"record", "--duration", "1"}, {"devices"}}) {
        Child c = runVorpix(args, home(), "");
        EXPECT_EQ(c.wait(), 1);
        const std::string line =
            "vorpix " + args[0] + ": No X display to record: DISPLAY is not set (recording needs an X11 session).\n";
        // `devices` goes on to list the microphones, or says in a line of its own why it cannot.
        EXPECT_EQ(c.text(c.err).substr(0, args[0] == "record" ? std::string::npos : line.size()), line);
    }
}

}  // namespace
}  // namespace vorpix::capture
