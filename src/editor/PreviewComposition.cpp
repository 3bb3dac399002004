#include "editor/PreviewComposition.h"

#include <algorithm>
#include <cmath>

#include "media/FrameRendererAdapter.h"
#include "media/RecordingExport.h"
#include "render/FrameRenderer.h"
#include "timeline/EditDerivation.h"

namespace vorpix::editor {

Size fitCanvas(Size canvas, Size view) {
    const double scale = std::min(view.width / std::max(canvas.width, 1.0), view.height / std::max(canvas.height, 1.0));
    return {std::max(std::floor(canvas.width * scale), 1.0), std::max(std::floor(canvas.height * scale), 1.0)};
}

media::CompositionSources previewSources(const model::RecordingItem& item, const model::SessionEvents& events,
                                         const model::Project& document,
                                         const std::vector<model::ZoomSegment>& zooms, std::optional<Size> view) {
    const model::OutputAspect aspect = document.style.outputAspect;
    model::ExportPreset preset = model::ExportPreset::source;
    for (auto p : {model::ExportPreset::youtube1080, model::ExportPreset::socialPortrait, model::ExportPreset::square})
        if (media::aspectFor(p) == aspect) preset = p;
    media::CompositionSources sources = media::exportSources(item, events, document, preset, zooms);
    if (!view) return sources;
    const Size pixels{static_cast<double>(std::max<std::int64_t>(events.pixelWidth, 1)),
                      static_cast<double>(std::max<std::int64_t>(events.pixelHeight, 1))};
    const auto keep = timeline::effectiveKeep(events, document);
    auto renderer = std::make_shared<const render::FrameRenderer>(
        pixels, document.style, timeline::remapZooms(zooms, keep), timeline::remapSamples(events.samples, keep),
        timeline::remapClicks(events.clicks, keep), media::locateFiles(item, events).webcam.has_value(),
        fitCanvas(render::FrameRenderer::canvasSize(pixels, aspect), *view));
    sources.renderer = std::make_shared<media::FrameRendererAdapter>(std::move(renderer));
    return sources;
}

}  // namespace vorpix::editor
