#include "media/VideoFrame.h"

#include "media/FFmpeg.h"

namespace vorpix::media {

std::shared_ptr<const VideoFrame> VideoFrame::take(AVFrame& frame, MediaTime time) {
    AVFrame* owned = av_frame_alloc();
    if (owned == nullptr) return nullptr;
    av_frame_move_ref(owned, &frame);
    return std::shared_ptr<const VideoFrame>(new VideoFrame(owned, time));
}

VideoFrame::~VideoFrame() {
    av_frame_free(&frame_);
}

int VideoFrame::width() const {
    return frame_->width;
}
int VideoFrame::height() const {
    return frame_->height;
}

}  // namespace vorpix::media
