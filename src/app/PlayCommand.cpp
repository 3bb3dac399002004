#include "app/PlayCommand.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <ostream>
#include <random>
#include <thread>

#include "editor/AudioOutput.h"
#include "editor/Player.h"
#include "editor/PreviewComposition.h"
#include "editor/RecordingSession.h"
#include "media/FrameSource.h"

namespace vorpix::app {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kUsage =
    "usage: vorpix play <recording> [--seconds S] [--size WxH] [--seek-test N] [--audio null|pulse]";

// Counts what it is shown; keeps nothing.
class NullVideoSink : public editor::VideoSink {
public:
    void present(std::shared_ptr<const editor::PlayerFrame>) override { presented.fetch_add(1); }
    std::atomic<std::int64_t> presented{0};
};

struct Options {
    std::string recording;
    double seconds = 10;
    int width = 1280;
    int height = 720;
    int seeks = 0;
    bool pulse = false;
};

std::optional<Options> parse(const std::vector<std::string>& args, std::string& problem) {
    Options o;
    auto number = [&problem](const std::string& text, double& value) {
        auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(value) || value < 0) {
            problem = "\"" + text + "\" is not a number of 0 or more";
            return false;
        }
        return true;
    };
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        double v = 0;
        if (a == "--seconds" && hasValue) {
            if (!number(args[++i], o.seconds)) return std::nullopt;
        } else if (a == "--seek-test" && hasValue) {
            if (!number(args[++i], v)) return std::nullopt;
            o.seeks = static_cast<int>(v);
        } else if (a == "--size" && hasValue) {
            const std::string& s = args[++i];
            if (std::sscanf(s.c_str(), "%dx%d", &o.width, &o.height) != 2 || o.width < 16 || o.height < 16 ||
                o.width > 8192 || o.height > 8192) {
                problem = "--size needs WIDTHxHEIGHT (16 ... 8192), not \"" + s + "\"";
                return std::nullopt;
            }
        } else if (a == "--audio" && hasValue) {
            const std::string& s = args[++i];
            if (s != "null" && s != "pulse") {
                problem = "--audio is null or pulse, not \"" + s + "\"";
                return std::nullopt;
            }
            o.pulse = s == "pulse";
        } else if (!a.starts_with("--") && o.recording.empty()) {
            o.recording = a;
        } else {
            problem = "unexpected \"" + a + "\"";
            return std::nullopt;
        }
    }
    if (o.recording.empty()) {
        problem = "no recording given";
        return std::nullopt;
    }
    return o;
}

// Seeks and waits for the frame; seconds it took, or none after 10 s.
std::optional<double> seekAndWait(editor::Player& player, double t, double& longestCall) {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    const auto start = Clock::now();
    player.seek(t, [&] {
        std::lock_guard lock(m);
        done = true;
        cv.notify_all();
    });
    longestCall = std::max(longestCall, std::chrono::duration<double>(Clock::now() - start).count());
    std::unique_lock lock(m);
    if (!cv.wait_for(lock, std::chrono::seconds(10), [&] { return done; })) return std::nullopt;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The baseline: frames per second the frame path reaches on this thread
// alone, decoding and rendering `count` frames in order from the start.
double serialFramesPerSecond(const media::StudioComposition& c, int count) {
    media::FrameSource path(c);
    const auto start = Clock::now();
    int done = 0;
    while (done < count && path.frameTime(done) < c.duration() && path.frameAt(path.frameTime(done))) ++done;
    return done / std::max(std::chrono::duration<double>(Clock::now() - start).count(), 1e-9);
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
    return v[std::min(i, v.size() - 1)];
}

}  // namespace

int runPlay(const std::vector<std::string>& args, const Environment& env, std::ostream& out, std::ostream& err) {
    std::string problem;
    const auto options = parse(args, problem);
    if (!options) {
        err << kUsage << " (" << problem << ")\n";
        return 2;
    }
    auto fail = [&err](const std::string& message) {
        err << "vorpix play: " << message << "\n";
        return 1;
    };
    auto recording = editor::loadRecording(options->recording, env.applicationSupport);
    if (!recording) return fail(recording.error().message);
    // The edit as the editor holds it, drawn at the view's size.
    auto built = media::CompositionBuilder::build(editor::previewSources(
        recording->item, recording->events, recording->project, recording->segments,
        Size{static_cast<double>(options->width), static_cast<double>(options->height)}));
    if (!built) return fail(built.error().message);
    auto composition = std::make_shared<const media::StudioComposition>(std::move(*built));

    const double baseline = serialFramesPerSecond(*composition, 120);
    std::unique_ptr<editor::AudioOutput> audio;
    if (options->pulse) {
        auto opened = editor::openPulseAudioOutput("Vorpix preview");
        if (!opened) return fail(opened.error().message);
        audio = std::move(*opened);
    } else {
        audio = std::make_unique<editor::NullAudioOutput>();
    }
    NullVideoSink sink;
    editor::Player player(sink, std::move(audio));
    double longestCall = 0;
    auto timed = [&longestCall](auto&& call) {
        const auto start = Clock::now();
        call();
        longestCall = std::max(longestCall, std::chrono::duration<double>(Clock::now() - start).count());
    };
    timed([&] { player.replaceItem(composition); });
    if (!seekAndWait(player, 0, longestCall)) return fail("the first frame did not come within 10 s");
    player.resetStats();

    // Play like the editor: a 60 Hz display clock reading the player's time.
    const double duration = player.duration();
    const double seconds = std::min(options->seconds, duration);
    timed([&] { player.play(); });
    const auto start = Clock::now();
    auto tick = start;
    while (std::chrono::duration<double>(Clock::now() - start).count() < seconds) {
        tick += std::chrono::microseconds(16667);
        std::this_thread::sleep_until(tick);
        timed([&] { (void)player.currentTime(); });
        if (player.rate() == 0) break;
    }
    const double played = std::chrono::duration<double>(Clock::now() - start).count();
    const double reached = player.currentTime();
    timed([&] { player.pause(); });
    const editor::PlayerStats stats = player.stats();
    const int fps = composition->videoComposition.fps;
    const auto& renderer = *composition->videoComposition.instruction->renderer;
    char line[256];
    std::snprintf(line, sizeof line, "played %.2f s of %.2f s at %dx%d (composition %d fps, %s audio)\n", played,
                  duration, renderer.outputWidth(), renderer.outputHeight(), fps,
                  options->pulse ? "PulseAudio" : "null");
    out << line;
    std::snprintf(line, sizeof line, "frames: %lld shown, %lld dropped (%.1f shown per second; playhead at %.3f s)\n",
                  static_cast<long long>(stats.shown), static_cast<long long>(stats.dropped),
                  static_cast<double>(stats.shown) / std::max(played, 1e-9), reached);
    out << line;
    std::snprintf(line, sizeof line,
                  "baseline: the frame path alone on one thread renders %.1f frames/s; the player showed %.2fx that\n",
                  baseline, static_cast<double>(stats.shown) / std::max(played, 1e-9) / std::max(baseline, 1e-9));
    out << line;
    std::snprintf(line, sizeof line, "A/V offset: mean %.1f ms, max %.1f ms%s\n", stats.meanAvOffset * 1000,
                  stats.maxAvOffset * 1000, stats.audioFailed ? " (sound failed: picture on the wall clock)" : "");
    out << line;

    if (options->seeks > 0) {
        std::mt19937 random(7);
        const std::int64_t frames = std::max<std::int64_t>(static_cast<std::int64_t>(duration * fps), 1);
        std::uniform_int_distribution<std::int64_t> pick(0, frames - 1);
        std::vector<double> latencies;
        for (int i = 0; i < options->seeks; ++i) {
            const double t = static_cast<double>(pick(random)) / fps;
            const auto took = seekAndWait(player, t, longestCall);
            if (!took) return fail("a seek did not finish within 10 s");
            latencies.push_back(*took);
        }
        std::snprintf(line, sizeof line, "seeks: %d, latency p50 %.1f ms, p95 %.1f ms, max %.1f ms\n",
                      options->seeks, percentile(latencies, 0.5) * 1000, percentile(latencies, 0.95) * 1000,
                      percentile(latencies, 1.0) * 1000);
        out << line;
    }
    std::snprintf(line, sizeof line, "longest player call on the calling thread: %.3f ms\n", longestCall * 1000);
    out << line;
    return 0;
}

}  // namespace vorpix::app
