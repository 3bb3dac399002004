#include "media/RecordingExport.h"

#include <algorithm>

#include "camera/CameraTimeline.h"
#include "media/FrameRendererAdapter.h"
#include "model/FolderReference.h"
#include "render/FrameRenderer.h"
#include "timeline/EditDerivation.h"

namespace vorpix::media {

namespace {

bool isFile(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// The regular file `reference` names inside the recording's folder; none when
// it is missing or lies outside the folder (see model::resolveInside).
std::optional<std::filesystem::path> fileInside(const std::filesystem::path& folder, const std::string& reference) {
    auto path = model::resolveInside(folder, reference);
    if (!path || !isFile(*path)) return std::nullopt;
    return *path;
}

float clampGain(double gain) {
    return static_cast<float>(std::clamp(gain, 0.0, 2.0));
}

}  // namespace

model::OutputAspect aspectFor(model::ExportPreset preset) {
    switch (preset) {
        case model::ExportPreset::source:
            return model::OutputAspect::source;
        case model::ExportPreset::youtube1080:
            return model::OutputAspect::landscape;
        case model::ExportPreset::socialPortrait:
            return model::OutputAspect::portrait;
        case model::ExportPreset::square:
            return model::OutputAspect::square;
    }
    return model::OutputAspect::source;
}

Size canvasFor(model::ExportPreset preset, Size pixelSize) {
    switch (preset) {
        case model::ExportPreset::source:
            break;
        case model::ExportPreset::youtube1080:
            return {1920, 1080};
        case model::ExportPreset::socialPortrait:
            return {1080, 1920};
        case model::ExportPreset::square:
            return {1080, 1080};
    }
    return render::FrameRenderer::canvasSize(pixelSize, model::OutputAspect::source);
}

RecordingFiles locateFiles(const model::RecordingItem& item, const model::SessionEvents& events) {
    RecordingFiles files;
    files.screen = item.videoPath();
    if (events.webcamFile) files.webcam = fileInside(item.folder, *events.webcamFile);
    for (const auto& name : events.extraAudioFiles.value_or(std::vector<std::string>{})) {
        if (auto path = fileInside(item.folder, name)) files.extraAudio.push_back(*path);
    }
    return files;
}

CompositionSources exportSources(const model::RecordingItem& item, const model::SessionEvents& events,
                                 const model::Project& project, model::ExportPreset preset,
                                 const std::optional<std::vector<model::ZoomSegment>>& zooms) {
    const RecordingFiles files = locateFiles(item, events);
    const auto keep = timeline::effectiveKeep(events, project);
    const Size pixelSize{static_cast<double>(events.pixelWidth), static_cast<double>(events.pixelHeight)};

    model::StyleSettings style = project.style;
    style.outputAspect = aspectFor(preset);
    std::vector<model::ZoomSegment> segments;
    if (zooms) {
        segments = *zooms;
    } else if (project.manualZoom && !project.manualZoom->empty()) {
        segments = *project.manualZoom;
    } else {
        segments =
            camera::CameraTimeline::autoSegments(events.clicks, pixelSize, events.duration, project.style);
    }
    auto renderer = std::make_shared<const render::FrameRenderer>(
        pixelSize, style, timeline::remapZooms(segments, keep), timeline::remapSamples(events.samples, keep),
        timeline::remapClicks(events.clicks, keep), files.webcam.has_value(), canvasFor(preset, pixelSize));

    CompositionSources sources;
    sources.screen = files.screen;
    if (project.style.webcamEnabled) sources.webcam = files.webcam;
    sources.extraAudio = files.extraAudio;
    for (const auto& clip : project.clips) {
        const auto path = fileInside(item.folder, clip.fileName);
        const auto placed = timeline::placeAudio(clip.start, keep);
        if (!placed || !path) continue;
        sources.timedAudio.push_back(TimedAudioSource{*path, placed->outputStart,
                                                      clampGain(clip.volume * project.musicVolume),
                                                      placed->fileOffset});
    }
    sources.audioVolume = clampGain(project.micVolume);
    sources.slices = timeline::fileSlices(keep, events.slices);
    sources.webcamOffset = events.webcamOffset.value_or(0.0);
    sources.renderer = std::make_shared<FrameRendererAdapter>(std::move(renderer));
    return sources;
}

}  // namespace vorpix::media
