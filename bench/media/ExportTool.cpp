// media_export_tool: the export benchmark's driver. Writes the capture
// metadata for a generated screen movie, and exports a recording folder the
// way the editor would, printing wall time, CPU time and peak memory.
//
//   media_export_tool make-events <folder> --size WxH --seconds S
//   media_export_tool export <folder> <out.mp4> [--x264 PRESET] [--crf N]
//                     [--x264-params K=V:K=V] [--threads N] [--in-flight N]
//                     [--decode auto|single]
//                     [--aspect source|youtube1080|socialPortrait|square]

#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "media/ExportSession.h"
#include "media/RecordingExport.h"
#include "model/Project.h"
#include "model/RecordingItem.h"
#include "model/SessionEvents.h"

namespace {

using namespace vorpix;

int usage() {
    std::cerr
        << "usage: media_export_tool make-events <folder> --size WxH --seconds S\n"
           "       media_export_tool export <folder> <out.mp4> [--x264 PRESET] [--crf N] [--x264-params P]\n"
           "                         [--threads N] [--in-flight N] [--decode auto|single] [--aspect NAME]\n";
    return 2;
}

// A pointer that wanders over the screen at 120 Hz and clicks every five
// seconds, somewhere new each time: enough for the automatic zoom to move
// the camera through most of the recording.
int makeEvents(const std::filesystem::path& folder, int width, int height, double seconds) {
    model::SessionEvents events;
    events.pixelWidth = width;
    events.pixelHeight = height;
    events.duration = seconds;
    for (int i = 0; i <= static_cast<int>(seconds * 120); ++i) {
        const double t = i / 120.0;
        events.samples.push_back(
            {t, width * (0.5 + 0.4 * std::sin(t * 0.7)), height * (0.5 + 0.4 * std::sin(t * 1.1))});
    }
    for (double t = 2; t < seconds - 1; t += 5) {
        const auto& s = events.samples[static_cast<std::size_t>(t * 120)];
        events.clicks.push_back({t, s.x, s.y, 0});
    }
    if (auto ok = model::writeSessionEvents(folder, events); !ok) {
        std::cerr << ok.error().message << "\n";
        return 1;
    }
    return 0;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

long peakRssMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

int exportFolder(const std::filesystem::path& folder, const std::filesystem::path& out,
                 const media::ExportSettings& settings, model::ExportPreset aspect) {
    const auto start = std::chrono::steady_clock::now();
    auto item = model::itemFor(folder);
    if (!item) {
        std::cerr << item.error().message << "\n";
        return 1;
    }
    auto events = model::readSessionEvents(folder);
    if (!events) {
        std::cerr << events.error().message << "\n";
        return 1;
    }
    const model::Project project = model::loadProjectOrDefault(folder);
    auto composition =
        media::CompositionBuilder::build(media::exportSources(*item, *events, project, aspect));
    if (!composition) {
        std::cerr << "Export failed: " << composition.error().message << "\n";
        return 1;
    }
    auto session = media::ExportSession::create(*composition, out, settings);
    if (!session) {
        std::cerr << "Export failed: " << session.error().message << "\n";
        return 1;
    }
    auto result = (*session)->run();
    if (!result) {
        std::cerr << "Export failed: " << result.error().message << "\n";
        return 1;
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The encoder's threading as the session chose it, for a baseline with
    // the same settings.
    const auto threading = media::encoderThreading((*session)->width(), (*session)->height(),
                                                   std::thread::hardware_concurrency());
    const int threads = settings.encoderThreads > 0 ? settings.encoderThreads : threading.threads;
    std::string params = threading.x264Params;
    if (!settings.x264Params.empty()) params += (params.empty() ? "" : ":") + settings.x264Params;
    std::printf("export %dx%d frames=%lld wall_s=%.2f cpu_s=%.2f fps=%.1f peak_rss_mb=%ld preset=%s "
                "threads=%d x264_params=%s\n",
                (*session)->width(), (*session)->height(), static_cast<long long>((*session)->frameCount()),
                wall, cpuSeconds(), static_cast<double>((*session)->frameCount()) / wall, peakRssMegabytes(),
                settings.preset.c_str(), threads, params.empty() ? "-" : params.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 2) return usage();
    media::setFFmpegLogLevel(media::FFmpegLogLevel::errors);
    if (args[0] == "make-events") {
        int width = 0, height = 0;
        double seconds = 0;
        for (std::size_t i = 2; i + 1 < args.size(); i += 2) {
            if (args[i] == "--size") std::sscanf(args[i + 1].c_str(), "%dx%d", &width, &height);
            if (args[i] == "--seconds") seconds = std::atof(args[i + 1].c_str());
        }
        if (width <= 0 || height <= 0 || seconds <= 0) return usage();
        return makeEvents(args[1], width, height, seconds);
    }
    if (args[0] == "export" && args.size() >= 3) {
        media::ExportSettings settings;
        model::ExportPreset aspect = model::ExportPreset::source;
        for (std::size_t i = 3; i + 1 < args.size(); i += 2) {
            const std::string& value = args[i + 1];
            if (args[i] == "--x264") settings.preset = value;
            if (args[i] == "--x264-params") settings.x264Params = value;
            if (args[i] == "--threads") settings.encoderThreads = std::atoi(value.c_str());
            if (args[i] == "--crf") settings.crf = std::atoi(value.c_str());
            if (args[i] == "--in-flight") settings.framesInFlight = std::atoi(value.c_str());
            if (args[i] == "--decode") {
                settings.decodeThreads =
                    value == "single" ? media::DecodeThreads::single : media::DecodeThreads::automatic;
            }
            if (args[i] == "--aspect") aspect = model::parseExportPreset(value).value_or(aspect);
        }
        return exportFolder(args[1], args[2], settings, aspect);
    }
    return usage();
}
