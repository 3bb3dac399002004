#include "media/FrameRendererAdapter.h"

#include "media/FFmpeg.h"

namespace vorpix::media {

namespace {

render::ImageView viewOf(const AVFrame& frame) {
    render::ImageView view;
    if (frame.format != AV_PIX_FMT_BGRA && frame.format != AV_PIX_FMT_RGBA) return view;  // empty: not drawn
    view.data = frame.data[0];
    view.width = frame.width;
    view.height = frame.height;
    view.strideBytes = frame.linesize[0];
    view.format = frame.format == AV_PIX_FMT_BGRA ? render::PixelFormat::bgra8 : render::PixelFormat::rgba8;
    return view;
}

}  // namespace

FrameRendererAdapter::FrameRendererAdapter(std::shared_ptr<const render::FrameRenderer> renderer,
                                           render::RowWorkers* workers)
    : renderer_(std::move(renderer)), workers_(workers) {}

void FrameRendererAdapter::render(const VideoFrame& screen, const VideoFrame* webcam, double seconds,
                                  AVFrame& output) const {
    if ((output.format != AV_PIX_FMT_RGBA && output.format != AV_PIX_FMT_YUV420P) ||
        output.width != renderer_->outputWidth() || output.height != renderer_->outputHeight()) {
        return;  // not a buffer this renderer can fill; callers size them from canvasSize()
    }
    const render::ImageView source = viewOf(screen.av());
    render::ImageView webcamView;
    if (webcam != nullptr) webcamView = viewOf(webcam->av());
    const render::ImageView* webcamPointer = webcam != nullptr ? &webcamView : nullptr;
    if (output.format == AV_PIX_FMT_YUV420P) {
        render::Yuv420Planes planes;
        planes.y = output.data[0];
        planes.yStride = output.linesize[0];
        planes.u = output.data[1];
        planes.uStride = output.linesize[1];
        planes.v = output.data[2];
        planes.vStride = output.linesize[2];
        renderer_->renderYuv420(source, webcamPointer, seconds, planes, workers_);
        return;
    }
    render::MutableImageView out;
    out.data = output.data[0];
    out.width = output.width;
    out.height = output.height;
    out.strideBytes = output.linesize[0];
    out.format = render::PixelFormat::rgba8;
    renderer_->render(source, webcamPointer, seconds, out, workers_);
}

}  // namespace vorpix::media
