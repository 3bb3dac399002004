#pragma once

// Renderers for tests that exercise the pipeline rather than the look:
// the screen frame copied onto the canvas (nearest sample), the webcam's
// first pixel into the top-left 4 × 4 corner when there is one.

#include "media/CompositionRenderer.h"
#include "media/FFmpeg.h"

namespace vorpix::testing {

class CopyRenderer : public media::CompositionRenderer {
public:
    explicit CopyRenderer(Size canvas) : canvas_(canvas) {}
    Size canvasSize() const override { return canvas_; }
    void render(const media::VideoFrame& screen, const media::VideoFrame* webcam, double,
                AVFrame& output) const override {
        const AVFrame& in = screen.av();
        const bool bgra = in.format == AV_PIX_FMT_BGRA;
        for (int y = 0; y < output.height; ++y) {
            const int sy = y * in.height / output.height;
            std::uint8_t* out = output.data[0] + y * output.linesize[0];
            const std::uint8_t* row = in.data[0] + sy * in.linesize[0];
            for (int x = 0; x < output.width; ++x) {
                const std::uint8_t* p = row + 4 * (x * in.width / output.width);
                out[4 * x + 0] = bgra ? p[2] : p[0];
                out[4 * x + 1] = p[1];
                out[4 * x + 2] = bgra ? p[0] : p[2];
                out[4 * x + 3] = 255;
            }
        }
        if (webcam != nullptr) {
            const std::uint8_t* w = webcam->av().data[0];
            for (int y = 0; y < 4 && y < output.height; ++y) {
                for (int x = 0; x < 4 && x < output.width; ++x) {
                    std::uint8_t* o = output.data[0] + y * output.linesize[0] + 4 * x;
                    o[0] = w[2];
                    o[1] = w[1];
                    o[2] = w[0];
                }
            }
        }
    }

private:
    Size canvas_;
};

}  // namespace vorpix::testing
