// The frame renderer over any geometry: source sizes down to 1 × 1, every
// output aspect, style values of any magnitude (NaN and infinities
// included), zoom segments with any factor and centre, pointer samples and
// clicks anywhere, and frames at any time. Every frame must come out full
// size and, with an opaque screen on the opaque backdrop, opaque.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "render/FrameRenderer.h"

namespace {

using namespace vorpix;

double anyDouble(FuzzedDataProvider& in) {
    // Half the time a plain value in a useful range, else any bit pattern.
    if (in.ConsumeBool()) return in.ConsumeFloatingPointInRange(-4.0, 8.0);
    return in.ConsumeFloatingPoint<double>();
}

render::Image solid(int width, int height, render::PixelFormat format) {
    render::Image image(width, height, format);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = image.row(y) + x * 4;
            p[0] = static_cast<std::uint8_t>(x * 7);
            p[1] = static_cast<std::uint8_t>(y * 5);
            p[2] = 90;
            p[3] = 255;
        }
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const int width = in.ConsumeIntegralInRange(1, 160);
    const int height = in.ConsumeIntegralInRange(1, 160);

    model::StyleSettings style;
    style.outputAspect = static_cast<model::OutputAspect>(in.ConsumeIntegralInRange(0, 3));
    style.webcamCorner = static_cast<model::WebcamCorner>(in.ConsumeIntegralInRange(0, 3));
    style.background = static_cast<model::BackgroundPreset>(in.ConsumeIntegralInRange(0, 5));
    style.showCursor = in.ConsumeBool();
    style.clickRipples = in.ConsumeBool();
    style.hideIdleCursor = in.ConsumeBool();
    style.webcamCircular = in.ConsumeBool();
    for (double* v : {&style.padding, &style.cornerRadius, &style.shadowOpacity, &style.shadowRadius,
                      &style.cursorScale, &style.cursorSmoothing, &style.webcamSize}) {
        if (in.ConsumeBool()) *v = anyDouble(in);
    }

    std::vector<model::ZoomSegment> zooms(in.ConsumeIntegralInRange(0, 3));
    for (model::ZoomSegment& z : zooms) {
        z.start = anyDouble(in);
        z.end = z.start + anyDouble(in);
        z.centerX = anyDouble(in);
        z.centerY = anyDouble(in);
        z.factor = anyDouble(in);
        z.followCursor = in.ConsumeBool();
    }
    std::vector<model::MouseSample> samples(in.ConsumeIntegralInRange(0, 6));
    double t = 0;
    for (model::MouseSample& s : samples) s = {t += in.ConsumeFloatingPointInRange(0.0, 1.0), anyDouble(in) * width, anyDouble(in) * height};
    std::vector<model::ClickEvent> clicks(in.ConsumeIntegralInRange(0, 6));
    for (model::ClickEvent& c : clicks) c = {anyDouble(in), anyDouble(in) * width, anyDouble(in) * height, 0};

    const bool webcam = in.ConsumeBool();
    const render::FrameRenderer renderer({static_cast<double>(width), static_cast<double>(height)}, style, zooms,
                                         samples, clicks, webcam);
    // The source may differ from the pixel size: it is stretched.
    const render::Image screen = solid(in.ConsumeIntegralInRange(1, 48), in.ConsumeIntegralInRange(1, 48),
                                       in.ConsumeBool() ? render::PixelFormat::bgra8 : render::PixelFormat::rgba8);
    const render::Image camera = solid(in.ConsumeIntegralInRange(1, 24), in.ConsumeIntegralInRange(1, 24),
                                       render::PixelFormat::rgba8);
    const render::ImageView cameraView = camera.view();
    render::Image frame;
    for (int i = 0; i < 3 && in.remaining_bytes() > 0; ++i) {
        const double when = anyDouble(in);
        renderer.render(screen.view(), webcam ? &cameraView : nullptr, when, frame);
        if (frame.width() != renderer.outputWidth() || frame.height() != renderer.outputHeight()) std::abort();
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                if (frame.row(y)[x * 4 + 3] != 255) std::abort();
    }
    const int w = renderer.outputWidth();
    const int h = renderer.outputHeight();
    std::vector<std::uint8_t> planes(static_cast<std::size_t>(w) * h + 2 * static_cast<std::size_t>((w + 1) / 2) * ((h + 1) / 2));
    std::uint8_t* u = planes.data() + static_cast<std::size_t>(w) * h;
    std::uint8_t* v = u + static_cast<std::size_t>((w + 1) / 2) * ((h + 1) / 2);
    renderer.renderYuv420(screen.view(), nullptr, anyDouble(in), {planes.data(), w, u, (w + 1) / 2, v, (w + 1) / 2});
    return 0;
}
