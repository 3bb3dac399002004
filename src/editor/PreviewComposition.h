#pragma once

// The inputs of the preview's composition: the export's inputs for the
// document's own aspect (media::exportSources, so the preview cuts, mixes
// and zooms exactly as the export does), with the renderer drawing the
// canvas fitted into the view when a view size is given, so the player
// never renders pixels it would then scale down. Builds a renderer: call it
// off the interface thread.

#include <optional>
#include <vector>

#include "media/CompositionBuilder.h"
#include "model/Geometry.h"
#include "model/Project.h"
#include "model/RecordingItem.h"
#include "model/SessionEvents.h"

namespace vorpix::editor {

// The largest size of `canvas`'s proportions inside `view`, whole pixels,
// at least 1 x 1.
Size fitCanvas(Size canvas, Size view);

media::CompositionSources previewSources(const model::RecordingItem& item, const model::SessionEvents& events,
                                         const model::Project& document,
                                         const std::vector<model::ZoomSegment>& zooms,
                                         std::optional<Size> view = std::nullopt);

}  // namespace vorpix::editor
