#include "media/MediaProbe.h"

#include "media/FFmpeg.h"

#include <string_view>

namespace vorpix::media {

namespace {

// Above this a "rate" is a clock's resolution, not a rate frames were taken at.
constexpr double kMaxCaptureRate = 240.0;

// The rate the frame times were captured at. For a constant-rate stream the
// average and the base rate (FFmpeg's guess from the typical delta between
// frame times) agree; for a variable-rate capture that dropped frames the
// average is lower (45 or 24 for a 60 fps capture) while the base rate is
// still the capture's cadence, so the base rate wins whenever it is at least
// the average and a plausible capture rate.
double frameRateOf(const AVStream& stream) {
    const double average = stream.avg_frame_rate.num > 0 && stream.avg_frame_rate.den > 0
                               ? av_q2d(stream.avg_frame_rate)
                               : 0.0;
    const double base =
        stream.r_frame_rate.num > 0 && stream.r_frame_rate.den > 0 ? av_q2d(stream.r_frame_rate) : 0.0;
    if (base > 0 && base <= kMaxCaptureRate && base >= average * 0.999) return base;
    return average > 0 ? average : base;
}

// Image demuxers (a PNG or JPEG under a movie's name) read as one still frame.
bool isStillImageFormat(const AVInputFormat* format) {
    if (format == nullptr || format->name == nullptr) return false;
    const std::string_view name = format->name;
    return name.starts_with("image2") || name.ends_with("_pipe");
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
    info.stillImage = isStillImageFormat(format.iformat);
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
