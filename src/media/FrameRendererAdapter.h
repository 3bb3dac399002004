#pragma once

// The render module's FrameRenderer as the compositor's CompositionRenderer:
// decoded frames and output buffers are wrapped as image views, no copies.

#include <memory>

#include "media/CompositionRenderer.h"
#include "render/FrameRenderer.h"

namespace vorpix::render {
class RowWorkers;
}

namespace vorpix::media {

class FrameRendererAdapter : public CompositionRenderer {
public:
    // `workers`, when given, splits each frame's rows over its threads; it
    // must outlive the adapter. Export passes none: the encoder already keeps
    // every core busy.
    explicit FrameRendererAdapter(std::shared_ptr<const render::FrameRenderer> renderer,
                                  render::RowWorkers* workers = nullptr);

    Size canvasSize() const override { return renderer_->canvasSize(); }
    bool rendersYuv420() const override { return true; }
    void render(const VideoFrame& screen, const VideoFrame* webcam, double seconds,
                AVFrame& output) const override;

    const render::FrameRenderer& renderer() const { return *renderer_; }

private:
    std::shared_ptr<const render::FrameRenderer> renderer_;
    render::RowWorkers* workers_;
};

}  // namespace vorpix::media
