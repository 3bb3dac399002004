#include "app/RecordingCommands.h"

#include <nlohmann/json.hpp>

extern "C" {
#include <libavutil/frame.h>
}

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <ostream>

#include "app/ProgressBar.h"
#include "app/RecordCommands.h"
#include "editor/RecordingSession.h"
#include "import/Library.h"
#include "import/ScreenStudioImport.h"
#include "media/ExportNaming.h"
#include "media/FrameSource.h"
#include "media/MediaProbe.h"
#include "media/PixelConversion.h"
#include "media/RecordingExport.h"
#include "media/VideoReader.h"
#include "model/DurationString.h"
#include "model/OutputCheck.h"
#include "model/SafeOutput.h"
#include "render/Png.h"
#include "timeline/EditDerivation.h"
#include "timeline/EditTimeline.h"

namespace vorpix::app {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

namespace {

constexpr const char* kTimes = "\u00D7";  // the multiplication sign of "1920×1080"

// What opening the recording had to work around, one line each on stderr.
void warnAbout(const editor::LoadedRecording& r, std::string_view command, std::ostream& err) {
    for (const std::string& line : r.warnings) err << "vorpix " << command << ": " << line << "\n";
}

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::vector<fs::path> searchFolders(const Environment& env) {
    return import::screenStudioSearchFolders(env.screenStudioFolders, env.homeFolder);
}

struct Parsed {
    std::vector<std::string> positional;
    std::optional<std::string> preset;
    std::optional<std::string> output;
    std::optional<std::string> time;
    bool json = false;
    std::optional<std::string> problem;
};

Parsed parse(const std::vector<std::string>& args, std::initializer_list<const char*> valued,
             bool allowJson) {
    Parsed p;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (allowJson && a == "--json") {
            p.json = true;
        } else if (std::find_if(valued.begin(), valued.end(), [&a](const char* v) { return a == v; }) !=
                   valued.end()) {
            if (i + 1 >= args.size()) {
                p.problem = a + " needs a value";
                return p;
            }
            const std::string& value = args[++i];
            if (a == "--preset") p.preset = value;
            if (a == "--output") p.output = value;
            if (a == "--time") p.time = value;
        } else if (a.size() > 1 && a[0] == '-') {
            p.problem = "unknown option \"" + a + "\"";
            return p;
        } else {
            p.positional.push_back(a);
        }
    }
    return p;
}

std::optional<model::ExportPreset> presetOrDefault(const Parsed& p, std::ostream& err, const char* command) {
    if (!p.preset) return model::ExportPreset::youtube1080;
    const auto preset = model::parseExportPreset(*p.preset);
    if (!preset) {
        err << "vorpix " << command << ": unknown preset \"" << *p.preset
            << "\" (source, youtube1080, socialPortrait or square)\n";
    }
    return preset;
}

// Every file the recording is made of, however it is named: an output must
// never replace one of them (nor land in a recording folder at all).
std::vector<fs::path> recordingFiles(const editor::LoadedRecording& r) {
    std::vector<fs::path> files{r.screenMovie, r.projectFolder / model::kProjectFileName,
                                r.projectFolder / model::kEventsFileName};
    if (r.webcamMovie) files.push_back(*r.webcamMovie);
    files.insert(files.end(), r.extraAudio.begin(), r.extraAudio.end());
    for (const auto& clip : r.project.clips) files.push_back(r.item.folder / clip.fileName);
    return files;
}

Json sliceJson(const model::TimelineSlice& s) {
    return Json{{"sourceStart", s.sourceStart}, {"sourceEnd", s.sourceEnd}, {"timeScale", s.timeScale}};
}

Json zoomJson(const model::ZoomSegment& z) {
    return Json{{"id", z.id.toString()},         {"start", z.start},     {"end", z.end},
                {"centerX", z.centerX},          {"centerY", z.centerY}, {"factor", z.factor},
                {"followCursor", z.followCursor}};
}

}  // namespace

int runLibraryBench(const Environment& env, std::ostream& out, std::ostream& err) {
    return import::runListingBench(out, err, env.moviesFolder, searchFolders(env));
}

int runImportCheck(const std::vector<std::string>& args, const Environment& env, std::ostream& out,
                   std::ostream& err) {
    const auto at = std::find(args.begin(), args.end(), "--import-ss");
    if (at == args.end() || at + 1 == args.end()) {
        err << "anv\u00E4ndning: Tavorin --import-ss <fil.screenstudio>\n";
        return 2;
    }
    const fs::path package = *(at + 1);
    auto fail = [&err](const std::string& description) {
        err << "IMPORT-SS: FEL \u2014 " << description << "\n";
        return 1;
    };
    auto item = import::peek(package);
    if (!item) return fail(item.error().message);
    out << "PEEK: " << item->displayName.value_or(package.stem().string()) << "\n";
    out << "  " << static_cast<long long>(item->pixelSize.width) << kTimes
        << static_cast<long long>(item->pixelSize.height) << ", " << format("%.1f", item->duration) << " s\n";
    out << "  video " << (item->folder / item->videoRelativePath).string() << "\n";

    auto events = import::loadEvents(package, env.applicationSupport);
    if (!events) return fail(events.error().message);
    out << "  " << events->samples.size() << " mus-samples, " << events->clicks.size() << " klick\n";
    out << "  slices " << (events->slices ? events->slices->size() : 0) << ", extra-ljud "
        << (events->extraAudioFiles ? events->extraAudioFiles->size() : 0) << "\n";

    const model::Project project = import::loadProject(package, env.applicationSupport);
    out << "  zoomsegment " << (project.manualZoom ? project.manualZoom->size() : 0) << "\n";
    out << "IMPORT-SS: OK\n";
    return 0;
}

int runSelfTest(const std::vector<std::string>& args, const Environment& env, std::ostream& out,
                std::ostream& err) {
    const auto at = std::find(args.begin(), args.end(), "--selftest");
    std::optional<fs::path> folder;
    std::optional<fs::path> output;
    if (at != args.end() && at + 1 != args.end()) folder = *(at + 1);
    if (folder && at + 2 < args.end()) output = *(at + 2);
    if (!folder) {
        const auto items = import::allRecordings(env.moviesFolder, searchFolders(env), takeRecovery());
        if (items.empty()) {
            err << "SELFTEST: ingen inspelning hittades i " << import::baseFolder(env.moviesFolder).string()
                << "\n";
            return 1;
        }
        folder = items.front().folder;
    }
    if (!output) output = env.temporaryFolder / "tavorin-selftest.mp4";

    fs::path name = *folder;
    if (!name.has_filename()) name = name.parent_path();
    out << "SELFTEST: session " << name.filename().string() << "\n";

    auto fail = [&](const std::string& description) {
        err << "SELFTEST: FEL \u2014 " << description << "\n";
        out << "SELFTEST: FAIL\n";
        return 1;
    };
    auto recording = editor::loadRecording(*folder, env.applicationSupport);
    if (!recording) return fail(recording.error().message);
    const auto& ev = recording->events;
    out << "SELFTEST: " << ev.samples.size() << " mus-samples, " << ev.clicks.size() << " klick, "
        << recording->segments.size() << " zoomsegment, " << format("%.1f", ev.duration) << " s\n";
    if (ev.webcamFile) {
        out << "SELFTEST: webbkamera " << *ev.webcamFile << ", offset "
            << format("%.3f", ev.webcamOffset.value_or(0)) << " s\n";
    }
    auto composition = editor::buildComposition(*recording);
    if (!composition) return fail(composition.error().message);
    const Size size = composition->videoComposition.renderSize;
    out << "SELFTEST: komposition klar, renderSize " << static_cast<long long>(size.width) << kTimes
        << static_cast<long long>(size.height) << "\n";

    if (auto ok = model::checkOutputOutsideRecordings(*output, recordingFiles(*recording)); !ok)
        return fail(ok.error().message);
    media::ActiveExports active;
    auto exported = editor::exportMovie(*recording, model::ExportPreset::source, *output, active);
    if (!exported) return fail(exported.error().message);
    std::error_code ec;
    const auto bytes = fs::file_size(*output, ec);
    auto probed = media::probeMedia(*output);
    const double seconds = probed ? probed->duration.seconds() : 0.0;
    out << "SELFTEST: export OK \u2192 " << output->string() << " (" << (ec ? 0 : bytes / 1024) << " kB, "
        << format("%.1f", seconds) << " s)\n";
    const bool pass = !ec && seconds > 0 && bytes > 10000;
    out << (pass ? "SELFTEST: PASS\n" : "SELFTEST: FAIL\n");
    return pass ? 0 : 1;
}

int runInfo(const std::vector<std::string>& args, const Environment& env, std::ostream& out,
            std::ostream& err) {
    const Parsed p = parse(args, {}, true);
    if (p.problem || p.positional.size() != 1) {
        err << "usage: vorpix info [--json] <recording>" << (p.problem ? " (" + *p.problem + ")" : "")
            << "\n";
        return 2;
    }
    auto recording = editor::loadRecording(p.positional.front(), env.applicationSupport);
    if (!recording) {
        err << "vorpix info: " << recording.error().message << "\n";
        return 1;
    }
    const auto& r = *recording;
    warnAbout(r, "info", err);
    if (auto problem = editor::movieProblem(r)) err << "vorpix info: " << *problem << "\n";
    const editor::EditView edit = editor::deriveEdit(r);
    const Size pixels{static_cast<double>(r.events.pixelWidth), static_cast<double>(r.events.pixelHeight)};
    const Size canvas = render::FrameRenderer::canvasSize(pixels, r.project.style.outputAspect);
    auto projectText = model::encodeProject(r.project);

    Json info;
    info["item"] = {{"id", r.item.id},
                    {"source", r.item.source == model::RecordingSource::native ? "native" : "screenStudio"},
                    {"duration", r.item.duration},
                    {"pixelWidth", r.item.pixelSize.width},
                    {"pixelHeight", r.item.pixelSize.height},
                    {"displayName", r.item.displayName ? Json(*r.item.displayName) : Json()},
                    {"videoPath", r.screenMovie.string()}};
    info["capture"] = {{"pixelWidth", r.events.pixelWidth},
                       {"pixelHeight", r.events.pixelHeight},
                       {"scaleFactor", r.events.scaleFactor},
                       {"duration", r.events.duration},
                       {"samples", r.events.samples.size()},
                       {"clicks", r.events.clicks.size()},
                       {"webcamFile", r.events.webcamFile ? Json(*r.events.webcamFile) : Json()},
                       {"webcamOffset", r.events.webcamOffset ? Json(*r.events.webcamOffset) : Json()},
                       {"extraAudioFiles", r.events.extraAudioFiles.value_or(std::vector<std::string>{})},
                       {"slices", r.events.slices ? r.events.slices->size() : 0}};
    info["project"] = projectText ? Json::parse(*projectText) : Json();
    Json keep = Json::array();
    for (const auto& s : edit.keep) keep.push_back(sliceJson(s));
    info["keep"] = std::move(keep);
    Json clips = Json::array();
    for (const auto& c : edit.filmClips) {
        clips.push_back({{"id", c.identity()},
                         {"sourceStart", c.sourceStart},
                         {"sourceEnd", c.sourceEnd},
                         {"outputStart", c.outputStart},
                         {"outputEnd", c.outputEnd}});
    }
    info["filmClips"] = std::move(clips);
    // What the export makes of each zoom and audio clip: output times, or
    // null when it is trimmed or cut away.
    std::vector<std::optional<model::ZoomSegment>> shownZooms;
    Json zooms = Json::array();
    for (const auto& z : r.segments) {
        const auto shown = timeline::remapZooms(std::span(&z, 1), edit.keep);
        shownZooms.push_back(shown.empty() ? std::nullopt : std::optional(shown.front()));
        Json j = zoomJson(z);
        j["output"] = shown.empty() ? Json() : Json{{"start", shown.front().start}, {"end", shown.front().end}};
        zooms.push_back(std::move(j));
    }
    info["zoomSegments"] = std::move(zooms);
    std::vector<std::optional<timeline::AudioPlacement>> placed;
    Json audio = Json::array();
    for (const auto& clip : r.project.clips) {
        placed.push_back(timeline::placeAudio(clip.start, edit.keep));
        audio.push_back({{"fileName", clip.fileName},
                         {"start", clip.start},
                         {"outputStart", placed.back() ? Json(placed.back()->outputStart) : Json()},
                         {"fileOffset", placed.back() ? Json(placed.back()->fileOffset) : Json()}});
    }
    info["audioClips"] = std::move(audio);
    info["usesManualZoom"] = r.usesManualZoom;
    info["editDuration"] = edit.editDuration;
    info["canvasSize"] = {{"width", canvas.width}, {"height", canvas.height}};
    std::string sizesText;
    for (auto preset : {model::ExportPreset::source, model::ExportPreset::youtube1080,
                        model::ExportPreset::socialPortrait, model::ExportPreset::square}) {
        const Size size = media::canvasFor(preset, pixels);
        const auto w = static_cast<long long>(size.width) / 2 * 2;  // encoded sizes are even
        const auto h = static_cast<long long>(size.height) / 2 * 2;
        info["exportSizes"][std::string(model::toString(preset))] = {{"width", w}, {"height", h}};
        sizesText += (sizesText.empty() ? "" : ", ") + std::string(model::toString(preset)) + " " +
                     std::to_string(w) + kTimes + std::to_string(h);
    }

    if (p.json) {
        out << info.dump(2) << "\n";
        return 0;
    }
    out << r.item.id << (r.item.displayName ? " (" + *r.item.displayName + ")" : "") << "\n"
        << "  source       " << info["item"]["source"].get<std::string>() << "\n"
        << "  video        " << r.screenMovie.string() << "\n"
        << "  pixels       " << r.events.pixelWidth << kTimes << r.events.pixelHeight << " at scale "
        << r.events.scaleFactor << "\n"
        << "  duration     " << model::durationString(r.events.duration) << " ("
        << format("%.3f", r.events.duration) << " s)\n"
        << "  pointer      " << r.events.samples.size() << " samples, " << r.events.clicks.size()
        << " clicks\n";
    if (r.events.webcamFile) {
        out << "  webcam       " << *r.events.webcamFile << (r.webcamMovie ? "" : " (missing)") << ", offset "
            << format("%.3f", r.events.webcamOffset.value_or(0)) << " s\n";
    }
    out << "  edit         " << format("%.3f", edit.editDuration) << " s in " << edit.keep.size()
        << " kept slice" << (edit.keep.size() == 1 ? "" : "s") << ", " << edit.filmClips.size()
        << " film clip" << (edit.filmClips.size() == 1 ? "" : "s") << "\n";
    for (const auto& c : edit.filmClips) {
        out << "    clip " << c.identity() << " -> output " << format("%.3f", c.outputStart) << "-"
            << format("%.3f", c.outputEnd) << "\n";
    }
    out << "  zooms        " << r.segments.size() << (r.usesManualZoom ? " (manual)" : " (automatic)")
        << "\n";
    for (std::size_t i = 0; i < r.segments.size(); ++i) {
        const auto& z = r.segments[i];
        out << "    " << format("%.2f", z.start) << "-" << format("%.2f", z.end) << " s at ("
            << format("%.3f", z.centerX) << ", " << format("%.3f", z.centerY) << ") x"
            << format("%.2f", z.factor) << (z.followCursor ? ", follows the cursor" : "")
            << (shownZooms[i] ? " -> output " + format("%.2f", shownZooms[i]->start) + "-" +
                                    format("%.2f", shownZooms[i]->end)
                              : std::string(" -> not shown (trimmed or cut away)"))
            << "\n";
    }
    if (!r.project.clips.empty()) out << "  audio        " << r.project.clips.size() << " clip(s)\n";
    for (std::size_t i = 0; i < r.project.clips.size(); ++i) {
        const auto& clip = r.project.clips[i];
        out << "    " << clip.fileName << " at " << format("%.2f", clip.start) << " s"
            << (placed[i] ? " -> output " + format("%.2f", placed[i]->outputStart) + " from " +
                                format("%.2f", placed[i]->fileOffset) + " s into the file"
                          : std::string(" -> not played (after the kept time)"))
            << "\n";
    }
    out << "  canvas       " << static_cast<long long>(canvas.width) << kTimes
        << static_cast<long long>(canvas.height) << " (" << model::toString(r.project.style.outputAspect)
        << ")\n"
        << "  export sizes " << sizesText << "\n";
    return 0;
}

int runExport(const std::vector<std::string>& args, const Environment& env, std::ostream& out,
              std::ostream& err) {
    const Parsed p = parse(args, {"--preset", "--output"}, false);
    if (p.problem || p.positional.size() != 1) {
        err << "usage: vorpix export <recording> [--preset source|youtube1080|socialPortrait|square] "
               "[--output FILE]"
            << (p.problem ? " (" + *p.problem + ")" : "") << "\n";
        return 2;
    }
    const auto preset = presetOrDefault(p, err, "export");
    if (!preset) return 2;
    auto refused = [&err](const Error& error) {
        err << "Export failed: " << error.message << "\n";
        return 1;
    };
    if (p.output) {
        if (auto ok = model::checkOutputFile(*p.output); !ok) return refused(ok.error());
    }
    auto recording = editor::loadRecording(p.positional.front(), env.applicationSupport);
    if (!recording) return refused(recording.error());
    warnAbout(*recording, "export", err);
    fs::path output;
    // A named output is replaced when the movie is complete; a default name
    // never replaces an earlier export of the same minute (" 2", " 3", ...).
    auto existing = model::OnExisting::replace;
    if (p.output) {
        output = *p.output;
    } else {
        output = media::exportsFolder(env.moviesFolder) /
                 media::exportFileName(recording->item, std::chrono::system_clock::now());
        existing = model::OnExisting::number;
    }
    if (auto ok = model::checkOutputOutsideRecordings(output, recordingFiles(*recording)); !ok)
        return refused(ok.error());
    ProgressBar bar(err, env.terminal, "Exporting");
    media::ActiveExports active;
    std::mutex barMutex;  // the export reports progress from its watcher thread
    auto exported = editor::exportMovie(
        *recording, *preset, output, active,
        [&](double f) {
            std::lock_guard lock(barMutex);
            bar.update(f);
        },
        existing);
    bar.finish();
    if (!exported) {
        err << exported.error().message << "\n";
        return 1;
    }
    out << exported->file.string() << "\n";
    return 0;
}

int runRenderFrame(const std::vector<std::string>& args, const Environment& env, std::ostream& out,
                   std::ostream& err) {
    const Parsed p = parse(args, {"--preset", "--output", "--time"}, false);
    double seconds = 0;
    std::optional<std::string> problem = p.problem;
    if (p.time && !problem) {
        const char* end = p.time->data() + p.time->size();
        auto [ptr, ec] = std::from_chars(p.time->data(), end, seconds);
        if (ec != std::errc() || ptr != end || !std::isfinite(seconds) || seconds < 0)
            problem = "--time needs a number of seconds, 0 or more, not \"" + *p.time + "\"";
    }
    if (problem || p.positional.size() != 1 || !p.output || !p.time) {
        err << "usage: vorpix render-frame <recording> --time SECONDS [--preset P] --output FILE.png"
            << (problem ? " (" + *problem + ")" : "") << "\n";
        return 2;
    }
    const auto preset =
        p.preset ? model::parseExportPreset(*p.preset) : std::optional(model::ExportPreset::source);
    if (!preset) {
        err << "vorpix render-frame: unknown preset \"" << *p.preset << "\"\n";
        return 2;
    }
    auto fail = [&err](const std::string& message) {
        err << "vorpix render-frame: " << message << "\n";
        return 1;
    };
    if (auto ok = model::checkOutputFile(*p.output); !ok) return fail(ok.error().message);
    auto recording = editor::loadRecording(p.positional.front(), env.applicationSupport);
    if (!recording) return fail(recording.error().message);
    warnAbout(*recording, "render-frame", err);
    if (auto ok = model::checkOutputOutsideRecordings(*p.output, recordingFiles(*recording)); !ok)
        return fail(ok.error().message);
    // The frame path the export and the preview share: the edit's
    // composition (the style's own aspect, as the preview shows it, unless a
    // preset is named), decoded and drawn at the output time.
    auto composition =
        p.preset ? editor::buildComposition(*recording, *preset) : editor::buildComposition(*recording);
    if (!composition) return fail(composition.error().message);
    media::FrameSource source(std::move(*composition));
    // Times past the end show the last frame.
    const double t = std::min(seconds, source.duration().seconds());
    auto frame = source.frameAt(media::MediaTime::fromSeconds(t), AV_PIX_FMT_RGBA);
    if (!frame) return fail(frame.error().message);
    const render::ImageView result{(*frame)->data[0], (*frame)->width, (*frame)->height, (*frame)->linesize[0],
                                   render::PixelFormat::rgba8};
    if (auto ok = render::writePng(*p.output, result); !ok) return fail(ok.error().message);
    out << *p.output << "\n";
    return 0;
}

}  // namespace vorpix::app
