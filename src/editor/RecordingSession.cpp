#include "editor/RecordingSession.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <future>

#include "camera/CameraTimeline.h"
#include "import/ScreenStudioImport.h"
#include "media/ExportTask.h"
#include "media/MediaProbe.h"
#include "media/RecordingExport.h"
#include "model/FolderReference.h"
#include "timeline/EditDerivation.h"

namespace vorpix::editor {

namespace fs = std::filesystem;

Result<LoadedRecording> loadRecording(const fs::path& folder, const fs::path& dataFolder) {
    LoadedRecording r;
    auto item = model::itemFor(folder, [](const fs::path& package) { return import::peek(package); });
    if (!item) return item.error();
    r.item = std::move(*item);

    if (r.item.source == model::RecordingSource::screenStudio) {
        if (!import::isLocallyAvailable(r.item.folder)) {
            return makeError(domain::kImport, 1, import::kNotDownloadedMessage);
        }
        auto events = import::loadEvents(r.item.folder, dataFolder);
        if (!events) return events.error();
        r.events = std::move(*events);
        r.project = import::loadProject(r.item.folder, dataFolder);
        r.projectFolder = import::cacheFolder(r.item.folder, dataFolder);
    } else {
        auto events = model::readSessionEvents(r.item.folder);
        if (!events) return events.error();
        r.events = std::move(*events);
        model::OpenedProject opened = model::openProject(r.item.folder);
        if (std::string line = opened.warning(); !line.empty()) r.warnings.push_back(std::move(line));
        r.project = std::move(opened.project);
        r.projectFolder = r.item.folder;
    }
    for (std::string& line : model::referencesOutside(r.item.folder, r.events, r.project))
        r.warnings.push_back(std::move(line));
    media::RecordingFiles files = media::locateFiles(r.item, r.events);
    r.screenMovie = std::move(files.screen);
    r.webcamMovie = std::move(files.webcam);
    r.extraAudio = std::move(files.extraAudio);

    if (!r.project.trimEnd) r.project.trimEnd = r.events.duration;
    if (r.project.manualZoom && !r.project.manualZoom->empty()) {
        r.usesManualZoom = true;
        r.segments = *r.project.manualZoom;
    } else {
        r.usesManualZoom = false;
        r.project.manualZoom.reset();
        r.segments = camera::CameraTimeline::autoSegments(
            r.events.clicks,
            {static_cast<double>(r.events.pixelWidth), static_cast<double>(r.events.pixelHeight)},
            r.events.duration, r.project.style);
    }
    return r;
}

std::optional<std::string> movieProblem(const LoadedRecording& r) {
    const std::string name = r.screenMovie.filename().string();
    std::error_code ec;
    if (!fs::exists(r.screenMovie, ec)) return name + " is missing";
    auto movie = media::probeMedia(r.screenMovie);
    if (!movie) return movie.error().message;
    if (movie->stillImage) return name + " is a still image, not a movie";
    if (movie->video.empty()) return name + " holds no video";
    // Where the metadata says the recording ends in the movie, against the
    // movie's real length; a frame or two apart is normal.
    double claimed = r.events.duration;
    if (r.events.slices && !r.events.slices->empty()) {
        claimed = 0;
        for (const model::TimelineSlice& s : *r.events.slices) claimed = std::max(claimed, s.sourceEnd);
    }
    const double real = movie->video.front().range.duration.seconds();
    if (std::abs(claimed - real) > std::max(0.5, 0.05 * real)) {
        char line[256];
        std::snprintf(line, sizeof line, "%s says %.3f s but %s holds %.3f s%s", model::kEventsFileName, claimed,
                      name.c_str(), real, claimed > real ? "; the edit ends with the movie" : "");
        return std::string(line);
    }
    return std::nullopt;
}

EditView deriveEdit(const LoadedRecording& r) {
    EditView v;
    v.keep = timeline::effectiveKeep(r.events.duration, r.project.trimStart,
                                     r.project.trimEnd.value_or(r.events.duration), r.project.removedRanges);
    v.editDuration = timeline::editDuration(v.keep);
    v.filmClips = timeline::filmClips(v.keep, r.project.splits);
    v.samples = timeline::remapSamples(r.events.samples, v.keep);
    v.clicks = timeline::remapClicks(r.events.clicks, v.keep);
    v.zooms = timeline::remapZooms(r.segments, v.keep);
    v.fileSlices = timeline::fileSlices(v.keep, r.events.slices);
    return v;
}

std::string_view labelFor(model::ExportPreset preset) {
    switch (preset) {
        case model::ExportPreset::source:
            return "Highest quality";
        case model::ExportPreset::youtube1080:
            return "YouTube 1080p";
        case model::ExportPreset::socialPortrait:
            return "Social 9:16";
        case model::ExportPreset::square:
            return "Square";
    }
    return "";
}

std::shared_ptr<const render::FrameRenderer> makeRenderer(const LoadedRecording& r, const EditView& edit,
                                                          model::OutputAspect aspect, std::optional<Size> canvas) {
    model::StyleSettings style = r.project.style;
    style.outputAspect = aspect;
    const Size pixels{static_cast<double>(std::max<std::int64_t>(r.events.pixelWidth, 1)),
                      static_cast<double>(std::max<std::int64_t>(r.events.pixelHeight, 1))};
    return std::make_shared<const render::FrameRenderer>(pixels, style, edit.zooms, edit.samples, edit.clicks,
                                                         r.webcamMovie.has_value(), canvas);
}

Result<media::StudioComposition> buildComposition(const LoadedRecording& r, model::ExportPreset preset) {
    return media::CompositionBuilder::build(
        media::exportSources(r.item, r.events, r.project, preset, r.segments));
}

Result<media::StudioComposition> buildComposition(const LoadedRecording& r) {
    // The preview keeps the document's own aspect: export at the preset
    // that selects it.
    for (auto preset : {model::ExportPreset::source, model::ExportPreset::youtube1080,
                        model::ExportPreset::socialPortrait, model::ExportPreset::square}) {
        if (media::aspectFor(preset) == r.project.style.outputAspect) return buildComposition(r, preset);
    }
    return buildComposition(r, model::ExportPreset::source);
}

Result<ExportedMovie> exportMovie(const LoadedRecording& r, model::ExportPreset preset,
                                  const fs::path& output, media::ActiveExports& active,
                                  const std::function<void(double)>& progress, model::OnExisting existing) {
    std::promise<media::ExportReport> finished;
    media::ExportSettings settings;
    settings.onExisting = existing;
    auto report = finished.get_future();
    {
        media::ExportTask task(
            active, r.item.id, media::exportSources(r.item, r.events, r.project, preset, r.segments), output,
            settings,
            [&progress](double fraction) {
                if (progress) progress(fraction);
            },
            [&finished](const media::ExportReport& end) { finished.set_value(end); });
        report.wait();
    }
    const media::ExportReport end = report.get();
    switch (end.kind) {
        case media::ExportReport::Kind::completed:
            break;
        case media::ExportReport::Kind::failed:
            // The failure's own domain and code, with the user's message.
            if (end.error) return makeError(end.error->domain, end.error->code, end.message);
            return makeError(domain::kTavorin, media::kExportSessionCode, end.message);
        case media::ExportReport::Kind::cancelled:
            return makeError(domain::kVorpix, 30, "Export cancelled.");
    }
    auto probed = media::probeMedia(end.url);
    ExportedMovie movie{end.url, 0, 0};
    if (probed && !probed->video.empty()) {
        movie.width = probed->video.front().width;
        movie.height = probed->video.front().height;
    }
    return movie;
}

}  // namespace vorpix::editor
