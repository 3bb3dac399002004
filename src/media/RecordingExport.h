#pragma once

// From a recording and its edit document to what an export needs: the
// renderer at the preset's size with the events remapped to output time,
// and the composition's inputs exactly as the editor passes them (webcam
// only while it is enabled, clips from the first kept moment after their
// start, volumes clamped to 0 ... 2, file-time slices). For the editor's
// export and for headless callers (benchmarks, self-tests). Building the
// renderer costs a few canvas rasterisations: call it off the interface
// thread.

#include <filesystem>
#include <optional>
#include <vector>

#include "media/CompositionBuilder.h"
#include "model/Project.h"
#include "model/RecordingItem.h"
#include "model/SessionEvents.h"
#include "model/Style.h"

namespace vorpix::media {

// The output aspect each preset exports at.
model::OutputAspect aspectFor(model::ExportPreset preset);

// The frame size each preset exports at: youtube1080 1920 × 1080,
// socialPortrait 1080 × 1920, square 1080 × 1080, whatever the capture's
// size; source the capture's own canvas (FrameRenderer::canvasSize).
Size canvasFor(model::ExportPreset preset, Size pixelSize);

// The recording's media files that exist: the screen movie, the webcam movie
// when the capture names one, and the extra audio files. Missing optional
// files are left out silently.
struct RecordingFiles {
    std::filesystem::path screen;
    std::optional<std::filesystem::path> webcam;
    std::vector<std::filesystem::path> extraAudio;
};
RecordingFiles locateFiles(const model::RecordingItem& item, const model::SessionEvents& events);

// The composition inputs, renderer included, for exporting `project` at
// `preset`. `zooms` (source time) are the editor's current zoom list; none
// takes the document's manual list, or the automatic one when it has none.
CompositionSources exportSources(const model::RecordingItem& item, const model::SessionEvents& events,
                                 const model::Project& project, model::ExportPreset preset,
                                 const std::optional<std::vector<model::ZoomSegment>>& zooms = std::nullopt);

}  // namespace vorpix::media
