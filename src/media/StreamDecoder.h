#pragma once

// Demuxes one stream of a file and decodes it: the part that video and audio
// readers share. Single-threaded (FFmpeg may decode on its own threads).

#include <filesystem>
#include <memory>
#include <optional>

#include "media/FFmpeg.h"
#include "media/MediaProbe.h"
#include "model/Result.h"

namespace vorpix::media {

class StreamDecoder {
public:
    // Opens track `ordinal` (0 = first) of `kind` in the file. `threads` as in
    // openDecoder.
    static Result<std::unique_ptr<StreamDecoder>> open(const std::filesystem::path& path, TrackKind kind,
                                                       int ordinal, int threads);

    const TrackInfo& track() const { return track_; }
    const AVStream& stream() const { return *format_->streams[track_.streamIndex]; }
    const AVCodecContext& codec() const { return *codec_; }

    // Decodes the next frame into `frame` (replacing its contents). False at
    // the end of the stream. Damaged packets are skipped, not reported.
    Result<bool> next(AVFrame& frame);

    // Moves to the last key frame at or before stream time `t` and flushes the
    // decoder; the next frames may start before `t`.
    Result<void> seek(MediaTime t);

    // Stream time of the last key frame at or before `t` from the container's
    // index; none without an index.
    std::optional<MediaTime> keyFrameAtOrBefore(MediaTime t) const;

    // Stream time of a decoded frame: its best-effort timestamp, or the time
    // right after the previous frame when it has none.
    MediaTime timeOf(const AVFrame& frame);

    // While set, packets of frames shown before `t` go to the decoder with
    // the codec told to drop the ones no other frame refers to (H.264 and
    // HEVC only; elsewhere nothing is dropped): a seek runs up to its target
    // faster. Null stops it.
    void dropUnreferencedBefore(std::optional<MediaTime> t);
    // The latest time of a packet sent since the last call that may have been
    // dropped; none if none was. Resets.
    std::optional<MediaTime> takeLatestDroppable();

private:
    StreamDecoder() = default;

    InputFormatPtr format_;
    CodecContextPtr codec_;
    PacketPtr packet_;
    TrackInfo track_;
    bool inputDone_ = false;  // the demuxer is exhausted and the flush packet sent
    MediaTime lastTime_;      // for frames without a timestamp
    std::optional<MediaTime> dropBefore_;
    std::optional<MediaTime> latestDroppable_;
    bool haveLastTime_ = false;
};

}  // namespace vorpix::media
