#include "media/MediaProbe.h"

#include "media/FFmpeg.h"

namespace vorpix::media {

namespace {

double frameRateOf(const AVStream& stream) {
    const AVRational rates[] = {stream.avg_frame_rate, stream.r_frame_rate};
    for (AVRational r : rates) {
        if (r.num > 0 && r.den > 0) return av_q2d(r);
    }
    return 0;
}

TimeSpan rangeOf(const AVFormatContext& format, const AVStream& stream) {
    const MediaTime start =
        stream.start_time != kNoPts ? fromStreamTime(stream.start_time, stream.time_base) : kZeroTime;
    MediaTime duration;
    if (stream.duration != kNoPts && stream.duration > 0) {
        duration = fromStreamTime(stream.duration, stream.time_base);
    } else if (format.duration != kNoPts && format.duration > 0) {
        const MediaTime formatStart = format.start_time != kNoPts
                                          ? fromStreamTime(format.start_time, AVRational{1, AV_TIME_BASE})
                                          : kZeroTime;
        duration = fromStreamTime(format.duration, AVRational{1, AV_TIME_BASE}) + formatStart - start;
    }
    if (duration < kZeroTime) duration = kZeroTime;
    return TimeSpan{start, duration};
}

}  // namespace

Result<MediaInfo> probeMedia(const std::filesystem::path& path) {
    auto opened = openInput(path.string());
    if (!opened) return opened.error();
    const AVFormatContext& format = **opened;

    MediaInfo info;
    info.path = path;
    if (format.duration != kNoPts && format.duration > 0) {
        info.duration = fromStreamTime(format.duration, AVRational{1, AV_TIME_BASE});
    }
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream& stream = *format.streams[i];
        const AVCodecParameters& par = *stream.codecpar;
        TrackInfo track;
        track.streamIndex = static_cast<int>(i);
        track.range = rangeOf(format, stream);
        track.codecName = avcodec_get_name(par.codec_id);
        if (par.codec_type == AVMEDIA_TYPE_VIDEO) {
            if ((stream.disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) continue;
            track.kind = TrackKind::video;
            track.nominalFrameRate = frameRateOf(stream);
            track.width = par.width;
            track.height = par.height;
            info.video.push_back(track);
        } else if (par.codec_type == AVMEDIA_TYPE_AUDIO) {
            track.kind = TrackKind::audio;
            track.sampleRate = par.sample_rate;
            track.channels = par.ch_layout.nb_channels;
            info.audio.push_back(track);
        }
    }
    return info;
}

}  // namespace vorpix::media
