#pragma once

// One decoded picture as the decoder produced it (usually YUV 4:2:0),
// reference-counted by FFmpeg. Immutable once made; shared between the
// decode, render and preview threads as std::shared_ptr<const VideoFrame>.

#include <memory>

#include "media/MediaTime.h"

struct AVFrame;

namespace vorpix::media {

class VideoFrame {
public:
    // Moves the buffers of `frame` (left blank) into a new shared frame whose
    // stream time is `time`. Null only when memory is exhausted.
    static std::shared_ptr<const VideoFrame> take(AVFrame& frame, MediaTime time);

    ~VideoFrame();
    VideoFrame(const VideoFrame&) = delete;
    VideoFrame& operator=(const VideoFrame&) = delete;

    MediaTime time() const { return time_; }
    int width() const;
    int height() const;
    // The FFmpeg frame, read-only. Its `format` is an AVPixelFormat.
    const AVFrame& av() const { return *frame_; }

private:
    VideoFrame(AVFrame* frame, MediaTime time) : frame_(frame), time_(time) {}

    AVFrame* frame_;
    MediaTime time_;
};

using VideoFramePtr = std::shared_ptr<const VideoFrame>;

}  // namespace vorpix::media
