#pragma once

// Frame-accurate video decoding by time. Serves both sequential export
// (each request a little later than the last: decode onward) and random
// access for the preview (a jump back, or far ahead past a key frame: seek).
// Single-threaded; one reader per decode thread.

#include <filesystem>
#include <memory>

#include "media/MediaProbe.h"
#include "media/StreamDecoder.h"
#include "media/VideoFrame.h"
#include "model/Result.h"

namespace vorpix::media {

enum class DecodeThreads { automatic, single };

class VideoReader {
public:
    // Track `ordinal` (0 = first) among the file's video tracks.
    static Result<std::unique_ptr<VideoReader>> open(const std::filesystem::path& path, int ordinal = 0,
                                                     DecodeThreads threads = DecodeThreads::automatic);

    const TrackInfo& track() const { return decoder_->track(); }

    // The frame on screen at stream time `t`: the last frame whose timestamp
    // is at or before t (with 0.5 ms of slack for rounding), the first frame
    // for times before it, and the last frame for times after the end.
    Result<VideoFramePtr> frameAt(MediaTime t);

    // Counters for tests and benchmarks.
    int seekCount() const { return seeks_; }
    int decodedCount() const { return decoded_; }

private:
    explicit VideoReader(std::unique_ptr<StreamDecoder> decoder);
    Result<void> seekTo(MediaTime t);
    Result<bool> decodeOne();  // fills pending_; false at the end
    // Decodes until pending_ is past `target`. With `dropEarly`, frames well
    // before it that no other frame refers to are not decoded at all; true
    // then means one of them may have been the frame to show.
    Result<bool> decodeTo(MediaTime target, bool dropEarly);
    bool shouldSeek(MediaTime target) const;

    std::unique_ptr<StreamDecoder> decoder_;
    MediaTime dropMargin_;  // frames this close before a target are always decoded
    FramePtr scratch_;
    VideoFramePtr current_;  // last frame at or before the last request
    VideoFramePtr pending_;  // decoded frame after the last request
    bool atEnd_ = false;
    bool started_ = false;
    int seeks_ = 0;
    int decoded_ = 0;
};

}  // namespace vorpix::media
