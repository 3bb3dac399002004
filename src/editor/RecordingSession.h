#pragma once

// Opening a recording the way the editor does, without the editor's window:
// the item, its capture metadata and edit document (native folder or Screen
// Studio package), the zooms in use, everything derived from the edit, and
// the renderer and composition inputs for a preview or an export. The
// editor model and the command-line modes both build on this, so a frame
// rendered by `vorpix render-frame` is the frame the editor shows.
// Blocking (reads files); call it off the interface thread.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "media/ActiveExports.h"
#include "media/CompositionBuilder.h"
#include "model/Project.h"
#include "model/RecordingItem.h"
#include "model/SafeOutput.h"
#include "model/Result.h"
#include "model/SessionEvents.h"
#include "model/Style.h"
#include "render/FrameRenderer.h"
#include "timeline/EditTimeline.h"

namespace vorpix::editor {

struct LoadedRecording {
    model::RecordingItem item;
    model::SessionEvents events;
    // As the editor would save it: trimEnd always present.
    model::Project project;
    bool usesManualZoom = false;
    std::vector<model::ZoomSegment> segments;  // in use, source time
    std::filesystem::path screenMovie;
    std::optional<std::filesystem::path> webcamMovie;  // only when the file exists
    std::vector<std::filesystem::path> extraAudio;     // only files that exist
    std::filesystem::path projectFolder;               // where "project.json" is written
    // One line each for what opening it had to work around: edit-document
    // fields that took their defaults, references outside the folder.
    std::vector<std::string> warnings;
};

// Opens a native recording folder or a Screen Studio package. `dataFolder`
// is the per-user data folder holding the Screen Studio cache. Fails with
// the reader's one-line message when there is no usable capture metadata.
Result<LoadedRecording> loadRecording(const std::filesystem::path& folder,
                                      const std::filesystem::path& dataFolder);

// Whether the screen movie is usable and agrees with the capture metadata
// (probes the movie): one line saying what is wrong, none when all is well.
std::optional<std::string> movieProblem(const LoadedRecording& recording);

// What the edit makes of the recording on the output time line.
struct EditView {
    std::vector<model::TimelineSlice> keep;  // effective keep, source time
    double editDuration = 0;                 // output seconds
    std::vector<timeline::FilmClip> filmClips;
    std::vector<model::MouseSample> samples;  // output time
    std::vector<model::ClickEvent> clicks;    // output time
    std::vector<model::ZoomSegment> zooms;    // output time
    std::vector<model::TimelineSlice> fileSlices;
};

EditView deriveEdit(const LoadedRecording& recording);

// The export preset's label in the export sheet.
std::string_view labelFor(model::ExportPreset preset);

// A renderer for the edit with the document's style, the output aspect
// replaced by `aspect`, drawn at `canvas` when given (an export preset's size).
std::shared_ptr<const render::FrameRenderer> makeRenderer(const LoadedRecording& recording,
                                                          const EditView& edit, model::OutputAspect aspect,
                                                          std::optional<Size> canvas = std::nullopt);

// The composition the editor would preview (or export at `preset`), with
// the zooms in use.
Result<media::StudioComposition> buildComposition(const LoadedRecording& recording,
                                                  model::ExportPreset preset);
Result<media::StudioComposition> buildComposition(const LoadedRecording& recording);

struct ExportedMovie {
    std::filesystem::path file;
    int width = 0;
    int height = 0;
};

// Exports the edit at `preset` to `output` (written under a temporary name
// until complete, then replacing an existing file or taking a numbered name
// as `existing` says), announcing the recording in `active` while it runs.
// Blocks; `progress` is called about four times a second from the export's
// watcher thread. Failures carry the user's message ("Export failed: " +
// description).
Result<ExportedMovie> exportMovie(const LoadedRecording& recording, model::ExportPreset preset,
                                  const std::filesystem::path& output, media::ActiveExports& active,
                                  const std::function<void(double)>& progress = {},
                                  model::OnExisting existing = model::OnExisting::replace);

}  // namespace vorpix::editor
