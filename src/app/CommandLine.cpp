#include "app/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ostream>

#include "app/ModuleChecks.h"
#include "app/PlayCommand.h"
#include "app/ProgressBar.h"
#include "app/RecordCommands.h"
#include "app/RecordingCommands.h"
#include "app/SampleRecording.h"
#include "app/Version.h"
#include "import/Library.h"

namespace vorpix::app {

namespace fs = std::filesystem;

namespace {

bool has(const std::vector<std::string>& args, const std::string& flag) {
    return std::find(args.begin(), args.end(), flag) != args.end();
}

std::optional<double> parseNumber(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

int makeSample(const std::vector<std::string>& args, const Environment& env, std::ostream& out,
               std::ostream& err) {
    SampleOptions options;
    std::optional<fs::path> folder;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--webcam") {
            options.webcam = true;
        } else if (a == "--no-speech") {
            options.speech = false;
        } else if (a == "--duration" || a == "--seed") {
            if (i + 1 >= args.size()) {
                err << "vorpix make-sample: " << a << " needs a value\n";
                return 2;
            }
            const auto value = parseNumber(args[++i]);
            if (!value || *value < 0) {
                err << "vorpix make-sample: " << a << " needs a number, not \"" << args[i] << "\"\n";
                return 2;
            }
            if (a == "--duration") {
                options.duration = *value;
            } else {
                options.seed = static_cast<std::uint64_t>(*value);
            }
        } else if (!a.empty() && a[0] == '-') {
            err << "vorpix make-sample: unknown option \"" << a << "\"\n";
            return 2;
        } else if (!folder) {
            folder = a;
        } else {
            err << "vorpix make-sample: only one folder, please\n";
            return 2;
        }
    }
    // Without a folder the sample becomes a new recording of the library.
    options.folder = folder ? *folder
                            : import::newSessionFolder(import::baseFolder(env.moviesFolder),
                                                       std::chrono::system_clock::now());
    ProgressBar bar(err, env.terminal, "Making sample");
    options.progress = [&bar](double fraction) { bar.update(fraction); };
    auto result = makeSampleRecording(options);
    bar.finish();
    if (!result) {
        err << "vorpix make-sample: " << result.error().message << "\n";
        return 1;
    }
    out << fs::absolute(options.folder).string() << "\n";
    return 0;
}

}  // namespace

std::string usageText() {
    return "usage: vorpix [command] [arguments]\n"
           "\n"
           "Vorpix records your screen and turns the take into a presentation video\n"
           "with automatic zoom. Without a command it opens the editor.\n"
           "\n"
           "Commands (<recording> is a recording folder or a .screenstudio package):\n"
           "  info [--json] <recording>\n"
           "                     what Vorpix makes of a recording: metadata, edit, zooms, canvas\n"
           "  export <recording> [--preset source|youtube1080|socialPortrait|square] [--output FILE]\n"
           "                     export to MP4 (default: YouTube 1080p into the Movies\n"
           "                     folder's \"Vorpix Exports\"), printing the file's path\n"
           "  render-frame <recording> --time SECONDS [--preset P] --output FILE.png\n"
           "                     write one finished output frame as PNG\n"
           "  play <recording> [--seconds S] [--size WxH] [--seek-test N] [--audio null|pulse]\n"
           "                     play the edit headless through the preview player and\n"
           "                     print frames shown and dropped, A/V offset, seek latencies\n"
           "  record [--duration S] [--display ID] [--region X,Y,W,H] [--system-audio]\n"
           "         [--mic [ID]] [--webcam [ID]] [--no-countdown]\n"
           "                     record the screen (X11) until the duration has passed or\n"
           "                     Ctrl+C, save the take into the library, print its folder\n"
           "  devices            list the displays, microphones and cameras with their ids\n"
           "  recover <folder>   make a take cut short by a crash a normal recording\n"
           "  make-sample [folder] [--duration SECONDS] [--webcam] [--seed N] [--no-speech]\n"
           "                     write a realistic sample recording into [folder], or\n"
           "                     as a new recording of the library\n"
           "\n"
           "Checks:\n"
           "  --selftest [folder [output]]\n"
           "                     export a recording (default: the newest) end to end\n"
           "  --bench-library    time a full listing of the library\n"
           "  --test-edit        run the built-in checks of the core modules\n"
           "  --import-ss FILE   read a Screen Studio package and report what it holds\n"
           "  --version          print the version and exit\n"
           "  --help             print this text and exit\n";
}

QtNeed qtNeedFor(const std::vector<std::string>& args) {
    return !args.empty() && args.front() == "make-sample" ? QtNeed::gui : QtNeed::core;
}

std::optional<int> runCommandLine(const std::vector<std::string>& args, const Environment& env,
                                  std::ostream& out, std::ostream& err) {
    if (args.empty()) return std::nullopt;
    if (has(args, "--version")) {
        out << "vorpix " << kVersion << "\n";
        return 0;
    }
    if (has(args, "--help") || has(args, "-h")) {
        out << usageText();
        return 0;
    }
    // The design's switches may stand anywhere; the first present in this
    // order wins.
    if (has(args, "--selftest")) return runSelfTest(args, env, out, err);
    if (has(args, "--bench-library")) return runLibraryBench(env, out, err);
    if (has(args, "--test-edit")) {
        runModuleChecks(out, err);
        return 0;
    }
    if (has(args, "--import-ss")) return runImportCheck(args, env, out, err);
    const std::string& first = args.front();
    if (first == "make-sample") return makeSample(args, env, out, err);
    if (first == "info") return runInfo(args, env, out, err);
    if (first == "export") return runExport(args, env, out, err);
    if (first == "render-frame") return runRenderFrame(args, env, out, err);
    if (first == "play") return runPlay(args, env, out, err);
    if (first == "record") return runRecord(args, env, out, err);
    if (first == "devices") return runDevices(env, out, err);
    if (first == "recover") return runRecover(args, env, out, err);
    if (first == "--open-latest") return std::nullopt;  // read by the windowed application
    err << "vorpix: unknown argument \"" << first << "\"\n" << usageText();
    return 2;
}

}  // namespace vorpix::app
