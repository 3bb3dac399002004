#include "app/RecordCommands.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSettings>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <ostream>
#include <sstream>

#include "capture/AudioDevices.h"
#include "capture/RecorderModel.h"
#include "capture/TakeRecovery.h"
#include "capture/V4l2Camera.h"
#include "capture/X11Screen.h"
#include "import/Library.h"
#include "media/FFmpeg.h"

namespace vorpix::app {

namespace fs = std::filesystem;
using capture::RecorderModel;

namespace {

// SIGINT and SIGTERM end a take like the Stop button: the handler only
// writes to a pipe that the event loop watches.
int stopPipe[2] = {-1, -1};

void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(stopPipe[1], &byte, 1);
}

std::optional<double> number(const std::string& text) {
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<capture::PointRect> region(const std::string& text) {
    std::vector<double> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ',')) {
        auto v = number(part);
        if (!v) return std::nullopt;
        parts.push_back(*v);
    }
    if (parts.size() != 4) return std::nullopt;
    return capture::PointRect{parts[0], parts[1], parts[2], parts[3]};
}

struct RecordOptions {
    std::optional<double> duration;
    std::optional<std::uint32_t> display;
    std::optional<capture::PointRect> region;
    bool systemAudio = false;
    bool mic = false;
    std::optional<std::string> micId;
    bool webcam = false;
    std::optional<std::string> webcamId;
    bool countdown = true;
    bool stats = false;
};

std::optional<RecordOptions> parse(const std::vector<std::string>& args, std::ostream& err) {
    RecordOptions o;
    auto value = [&](std::size_t& i) -> std::optional<std::string> {
        if (i + 1 < args.size() && !args[i + 1].starts_with("--")) return args[++i];
        return std::nullopt;
    };
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--duration" || a == "--display" || a == "--region") {
            auto v = value(i);
            if (!v) {
                err << "vorpix record: " << a << " needs a value\n";
                return std::nullopt;
            }
            if (a == "--region") {
                o.region = region(*v);
                if (!o.region) {
                    err << "vorpix record: --region needs X,Y,W,H, not \"" << *v << "\"\n";
                    return std::nullopt;
                }
                continue;
            }
            auto n = number(*v);
            if (!n || *n <= 0 || (a == "--display" && (*n != std::floor(*n) || *n > 4294967295.0))) {
                err << "vorpix record: " << a << " needs a positive number, not \"" << *v << "\"\n";
                return std::nullopt;
            }
            if (a == "--duration") {
                o.duration = *n;
            } else {
                o.display = static_cast<std::uint32_t>(*n);
            }
        } else if (a == "--system-audio") {
            o.systemAudio = true;
        } else if (a == "--mic") {
            o.mic = true;
            o.micId = value(i);
        } else if (a == "--webcam") {
            o.webcam = true;
            o.webcamId = value(i);
        } else if (a == "--no-countdown") {
            o.countdown = false;
        } else if (a == "--stats") {
            o.stats = true;
        } else {
            err << "vorpix record: unknown option \"" << a << "\"\n";
            return std::nullopt;
        }
    }
    return o;
}

void printStats(const RecorderModel::TakeReport& r, std::ostream& err) {
    char line[512];
    const auto& w = r.writer;
    auto offset = [](const std::vector<double>& v) { return v.empty() ? 0.0 : v.front() * 1e3; };
    std::snprintf(line, sizeof line,
                  "record-stats frames=%lld written=%lld queue_drops=%lld missed_ticks=%lld unchanged_ticks=%lld "
                  "lateness_ms=%.2f jitter_ms=%.2f max_lateness_ms=%.2f grab_ms=%.2f av_start_ms=%.1f "
                  "av_end_ms=%.1f\n",
                  static_cast<long long>(r.capture.frames), static_cast<long long>(w.framesWritten),
                  static_cast<long long>(w.framesDropped), static_cast<long long>(r.capture.missedTicks),
                  static_cast<long long>(r.capture.unchangedTicks), r.capture.meanLatenessMs, r.capture.jitterMs,
                  r.capture.maxLatenessMs, r.capture.meanGrabMs, offset(w.audioOffsetStart),
                  offset(w.audioOffsetEnd));
    err << line;
}

}  // namespace

int runDevices(const Environment&, std::ostream& out, std::ostream& err) {
    int status = 0;
    capture::X11Screen screen;
    out << "Displays:\n";
    if (auto displays = screen.displays()) {
        for (const auto& d : *displays) {
            out << "  " << d.id << "  " << d.name << "  " << d.bounds.width << "x" << d.bounds.height << "+"
                << d.bounds.x << "+" << d.bounds.y << "\n";
        }
    } else {
        err << "vorpix devices: " << displays.error().message << "\n";
        status = 1;
    }
    out << "Microphones:\n";
    if (auto mics = capture::listMicrophones()) {
        for (const auto& m : mics->devices) {
            out << "  " << m.id << "  " << m.description << (mics->defaultId == m.id ? "  (default)" : "") << "\n";
        }
    } else {
        err << "vorpix devices: " << mics.error().message << "\n";
    }
    out << "Cameras:\n";
    for (const auto& c : capture::makeV4l2Cameras()->devices()) out << "  " << c.id << "  " << c.name << "\n";
    return status;
}

int runRecord(const std::vector<std::string>& args, const Environment& env, std::ostream& out, std::ostream& err) {
    auto options = parse(args, err);
    if (!options) return 2;
    // A full disk or a file-size limit must fail a write, not kill us: the
    // take then ends with what was written.
    std::signal(SIGXFSZ, SIG_IGN);
    // Problems reach the user as the recorder's own lines; FFmpeg's notes on
    // a damaged last fragment (after a full disk) would only repeat them.
    media::setFFmpegLogLevel(media::FFmpegLogLevel::quiet);

    // The command line's switches are for this take only: the windowed
    // application's remembered choices stay as they are.
    QTemporaryDir scratch;
    QSettings settings(scratch.filePath("recorder.ini"), QSettings::IniFormat);
    RecorderModel model(capture::systemBackends(capture::makeV4l2Cameras()), settings,
                        import::baseFolder(env.moviesFolder));
    model.refreshDisplays();
    if (model.errorMessage()) {
        err << "vorpix record: " << *model.errorMessage() << "\n";
        return 1;
    }
    if (options->display) {
        const auto& list = model.displays();
        if (std::none_of(list.begin(), list.end(), [&](const auto& d) { return d.id == *options->display; })) {
            err << "vorpix record: no display has the id " << *options->display << " (see vorpix devices)\n";
            return 2;
        }
        model.setSelectedDisplayID(options->display);
    }
    if (options->region) {
        model.setCaptureMode(RecorderModel::CaptureMode::region);
        model.setSelectedRegion(options->region);
    }
    model.setRecordSystemAudio(options->systemAudio);
    model.setRecordMicrophone(options->mic);
    if (options->mic) {
        model.refreshMicrophones();
        if (options->micId) model.setSelectedMicrophoneID(options->micId);
    }
    model.setRecordWebcam(options->webcam);
    if (options->webcam) {
        model.refreshWebcams();
        if (options->webcamId) model.setSelectedWebcamID(options->webcamId);
    }

    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        err << "vorpix record: could not set up the stop signal\n";
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    struct sigaction oldInt {}, oldTerm {};  // put back afterwards: the executable has its own
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);

    QEventLoop loop;
    bool stopWanted = false;
    std::optional<std::string> shown;
    std::optional<fs::path> savedFolder;
    auto stop = [&] {
        stopWanted = true;
        model.stopRecording();
    };
    QSocketNotifier notifier(stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char buffer[16];
        while (::read(stopPipe[0], buffer, sizeof buffer) > 0) {
        }
        stop();
    });
    bool timerStarted = false;
    model.onRecordingSaved = [&](const model::RecordingItem& item) {
        savedFolder = item.folder;
        loop.exit(0);
    };
    QObject::connect(&model, &RecorderModel::changed, [&] {
        if (model.errorMessage() && model.errorMessage() != shown) {
            shown = model.errorMessage();
            err << "vorpix record: " << *shown << "\n";
        }
        const auto state = model.state();
        if (state == RecorderModel::State::recording && !timerStarted) {
            timerStarted = true;
            if (env.terminal) err << "Recording; press Ctrl+C to stop.\n";
            if (stopWanted) QTimer::singleShot(0, &model, [&] { model.stopRecording(); });
            if (options->duration) {
                QTimer::singleShot(static_cast<int>(*options->duration * 1000 + 80), Qt::PreciseTimer, &model,
                                   [&] { model.stopRecording(); });
            }
        }
        if (state == RecorderModel::State::idle && !model.isStarting() && !savedFolder) {
            QTimer::singleShot(0, &loop, [&] {
                if (!savedFolder) loop.exit(1);
            });
        }
    });
    model.startRecording(options->countdown ? RecorderModel::Countdown::on : RecorderModel::Countdown::off);
    const int status = model.state() == RecorderModel::State::idle && !savedFolder ? 1 : loop.exec();

    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    ::close(stopPipe[0]);
    ::close(stopPipe[1]);
    if (options->stats) printStats(model.lastTake(), err);
    if (!savedFolder) return status == 0 ? 1 : status;
    out << fs::absolute(*savedFolder).string() << "\n";
    return model.lastTake().failure ? 1 : 0;
}

import::FolderRepair takeRecovery() {
    return [](const fs::path& folder) { return capture::hasUnfinishedTake(folder) && capture::recoverTake(folder).ok(); };
}

int runRecover(const std::vector<std::string>& args, const Environment&, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) {
        err << "vorpix recover: give one recording folder\n";
        return 2;
    }
    const fs::path folder = args[1];
    media::setFFmpegLogLevel(media::FFmpegLogLevel::quiet);  // the damaged tail is expected
    auto events = capture::recoverTake(folder);
    if (!events) {
        err << "vorpix recover: " << events.error().message << "\n";
        return 1;
    }
    char line[160];
    std::snprintf(line, sizeof line, "%.2f s, %zu pointer samples, %zu clicks", events->duration,
                  events->samples.size(), events->clicks.size());
    out << fs::absolute(folder).string() << "\n";
    err << "vorpix recover: " << line << "\n";
    return 0;
}

}  // namespace vorpix::app
