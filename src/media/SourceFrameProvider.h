#pragma once

// The decode side of the frame path (FrameSource::decodeAt): for a
// composition time, the frame each required video track shows (through its
// segments to a stream time, then decoded), converted to the compositor's
// source format. One reader per track, opened on first use. Single-threaded:
// it lives on one decode thread.

#include <memory>
#include <utility>
#include <vector>

#include "media/CompositionBuilder.h"
#include "media/PixelConversion.h"
#include "media/VideoReader.h"
#include "model/Result.h"

namespace vorpix::media {

class SourceFrameProvider {
public:
    SourceFrameProvider(const StudioComposition& composition, AVPixelFormat format,
                        DecodeThreads threads = DecodeThreads::automatic);
    ~SourceFrameProvider();
    SourceFrameProvider(const SourceFrameProvider&) = delete;
    SourceFrameProvider& operator=(const SourceFrameProvider&) = delete;

    // The source frames at composition time `t`, by track id; a track with
    // nothing at `t` has no entry. Fails when a file cannot be read.
    Result<std::vector<std::pair<TrackId, VideoFramePtr>>> framesAt(MediaTime t);

private:
    struct Track {
        const CompositionTrack* track = nullptr;
        std::unique_ptr<VideoReader> reader;
        FrameConverter converter;
        VideoFramePtr decoded;    // the last frame decoded ...
        VideoFramePtr converted;  // ... and its conversion, reused while it shows
    };

    std::shared_ptr<const Composition> composition_;
    AVPixelFormat format_;
    DecodeThreads threads_;
    std::vector<std::unique_ptr<Track>> tracks_;
};

}  // namespace vorpix::media
