#include "media/StreamDecoder.h"

#include <string>
#include <utility>

namespace vorpix::media {

Result<std::unique_ptr<StreamDecoder>> StreamDecoder::open(const std::filesystem::path& path, TrackKind kind,
                                                           int ordinal, int threads) {
    auto info = probeMedia(path);
    if (!info) return info.error();
    const auto& tracks = kind == TrackKind::video ? info->video : info->audio;
    if (ordinal < 0 || ordinal >= static_cast<int>(tracks.size())) {
        return makeError(kFFmpegDomain, 0,
                         path.filename().string() + " has no " +
                             (kind == TrackKind::video ? "video" : "audio") + " track " +
                             std::to_string(ordinal + 1));
    }
    std::unique_ptr<StreamDecoder> decoder(new StreamDecoder());
    decoder->track_ = tracks[static_cast<std::size_t>(ordinal)];
    auto format = openInput(path.string());
    if (!format) return format.error();
    decoder->format_ = std::move(*format);
    for (unsigned i = 0; i < decoder->format_->nb_streams; ++i) {
        decoder->format_->streams[i]->discard =
            static_cast<int>(i) == decoder->track_.streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    auto codec = openDecoder(*decoder->format_, decoder->track_.streamIndex, threads);
    if (!codec) return codec.error();
    decoder->codec_ = std::move(*codec);
    decoder->packet_ = makePacket();
    if (!decoder->packet_) return ffmpegError(AVERROR(ENOMEM), "Could not allocate a packet");
    return decoder;
}

Result<bool> StreamDecoder::next(AVFrame& frame) {
    for (;;) {
        int err = avcodec_receive_frame(codec_.get(), &frame);
        if (err == 0) return true;
        if (err == kAvErrorEof) return false;
        if (err != kAvErrorAgain) return ffmpegError(err, "Could not decode " + track_.codecName);
        if (inputDone_) return false;

        err = av_read_frame(format_.get(), packet_.get());
        if (err == kAvErrorEof || err == AVERROR(EIO)) {
            inputDone_ = true;
            avcodec_send_packet(codec_.get(), nullptr);
            continue;
        }
        if (err < 0) return ffmpegError(err, "Could not read " + track_.codecName + " data");
        if (packet_->stream_index == track_.streamIndex) {
            if (dropBefore_) {
                const bool droppable = packet_->pts != kNoPts &&
                                       fromStreamTime(packet_->pts, stream().time_base) < *dropBefore_;
                // Frame threads copy this setting with each packet they take.
                codec_->skip_frame = droppable ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
                if (droppable) {
                    const MediaTime t = fromStreamTime(packet_->pts, stream().time_base);
                    if (!latestDroppable_ || *latestDroppable_ < t) latestDroppable_ = t;
                }
            }
            err = avcodec_send_packet(codec_.get(), packet_.get());
            // A damaged packet is dropped; the decoder resynchronises on its own.
            if (err < 0 && err != kAvErrorAgain && err != kAvErrorInvalidData) {
                av_packet_unref(packet_.get());
                return ffmpegError(err, "Could not decode " + track_.codecName);
            }
        }
        av_packet_unref(packet_.get());
    }
}

Result<void> StreamDecoder::seek(MediaTime t) {
    const AVStream& s = stream();
    const int err =
        av_seek_frame(format_.get(), track_.streamIndex, toStreamTime(t, s.time_base), AVSEEK_FLAG_BACKWARD);
    if (err < 0) {
        // Before the first index entry some demuxers refuse; start over instead.
        const int rewind =
            av_seek_frame(format_.get(), track_.streamIndex, s.start_time != kNoPts ? s.start_time : 0,
                          AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
        if (rewind < 0) return ffmpegError(err, "Could not seek in " + track_.codecName + " data");
    }
    avcodec_flush_buffers(codec_.get());
    inputDone_ = false;
    haveLastTime_ = false;
    return {};
}

std::optional<MediaTime> StreamDecoder::keyFrameAtOrBefore(MediaTime t) const {
    AVStream* s = format_->streams[track_.streamIndex];
    if (avformat_index_get_entries_count(s) <= 0) return std::nullopt;
    const int index = av_index_search_timestamp(s, toStreamTime(t, s->time_base), AVSEEK_FLAG_BACKWARD);
    if (index < 0) return std::nullopt;
    const AVIndexEntry* entry = avformat_index_get_entry(s, index);
    if (entry == nullptr) return std::nullopt;
    return fromStreamTime(entry->timestamp, s->time_base);
}

void StreamDecoder::dropUnreferencedBefore(std::optional<MediaTime> t) {
    // Other decoders may read "no reference" more loosely than these two.
    const AVCodecID id = codec_->codec_id;
    dropBefore_ = id == AV_CODEC_ID_H264 || id == AV_CODEC_ID_HEVC ? t : std::nullopt;
    if (!dropBefore_) codec_->skip_frame = AVDISCARD_DEFAULT;
}

std::optional<MediaTime> StreamDecoder::takeLatestDroppable() {
    return std::exchange(latestDroppable_, std::nullopt);
}

MediaTime StreamDecoder::timeOf(const AVFrame& frame) {
    const AVStream& s = stream();
    MediaTime t;
    if (frame.best_effort_timestamp != kNoPts) {
        t = fromStreamTime(frame.best_effort_timestamp, s.time_base);
    } else if (frame.pts != kNoPts) {
        t = fromStreamTime(frame.pts, s.time_base);
    } else if (haveLastTime_) {
        const std::int64_t length = frame.pkt_duration > 0 ? frame.pkt_duration : 0;
        t = lastTime_ + fromStreamTime(length, s.time_base);
    }
    lastTime_ = t;
    haveLastTime_ = true;
    return t;
}

}  // namespace vorpix::media
