#include "media/SourceFrameProvider.h"

namespace vorpix::media {

SourceFrameProvider::SourceFrameProvider(const StudioComposition& composition, AVPixelFormat format,
                                         DecodeThreads threads)
    : composition_(composition.asset), format_(format), threads_(threads) {
    for (TrackId id : composition.videoComposition.instruction->requiredSourceTrackIDs) {
        if (const CompositionTrack* track = composition_->track(id)) {
            auto t = std::make_unique<Track>();
            t->track = track;
            tracks_.push_back(std::move(t));
        }
    }
}

SourceFrameProvider::~SourceFrameProvider() = default;

Result<std::vector<std::pair<TrackId, VideoFramePtr>>> SourceFrameProvider::framesAt(MediaTime t) {
    std::vector<std::pair<TrackId, VideoFramePtr>> frames;
    for (auto& owned : tracks_) {
        Track& track = *owned;
        const Segment* segment = track.track->segmentAt(t);
        if (segment == nullptr) continue;
        if (!track.reader) {
            auto reader = VideoReader::open(track.track->file, track.track->ordinal, threads_);
            if (!reader) return reader.error();
            track.reader = std::move(*reader);
        }
        auto decoded = track.reader->frameAt(segment->sourceTimeAt(t));
        if (!decoded) return decoded.error();
        if (*decoded != track.decoded) {
            const AVFrame& av = (*decoded)->av();
            VideoFramePtr converted;
            if (av.format == format_) {
                converted = *decoded;
            } else {
                auto frame = track.converter.convert(av, format_, av.width, av.height);
                if (!frame) return frame.error();
                converted = VideoFrame::take(**frame, (*decoded)->time());
                if (!converted) return ffmpegError(AVERROR(ENOMEM), "Could not keep a converted frame");
            }
            track.decoded = *decoded;
            track.converted = std::move(converted);
        }
        frames.emplace_back(track.track->id, track.converted);
    }
    return frames;
}

}  // namespace vorpix::media
