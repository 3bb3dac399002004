#include "media/FFmpeg.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
}

#include <filesystem>

namespace vorpix::media {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
const int kAvErrorEof = AVERROR_EOF;
const int kAvErrorAgain = AVERROR(EAGAIN);
const int kAvErrorInvalidData = AVERROR_INVALIDDATA;
const std::int64_t kNoPts = AV_NOPTS_VALUE;
#pragma GCC diagnostic pop

std::string ffmpegErrorText(int averror) {
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(averror, buffer, sizeof buffer) < 0) return "Unknown error " + std::to_string(averror);
    return buffer;
}

Error ffmpegError(int averror, std::string_view what) {
    return makeError(kFFmpegDomain, averror, std::string(what) + ": " + ffmpegErrorText(averror));
}

void setFFmpegLogLevel(FFmpegLogLevel level) {
    switch (level) {
        case FFmpegLogLevel::quiet:
            av_log_set_level(AV_LOG_QUIET);
            break;
        case FFmpegLogLevel::errors:
            av_log_set_level(AV_LOG_ERROR);
            break;
        case FFmpegLogLevel::warnings:
            av_log_set_level(AV_LOG_WARNING);
            break;
    }
}

MediaTime fromStreamTime(std::int64_t value, AVRational timeBase) {
    return MediaTime{av_rescale_q_rnd(value, timeBase,
                                      AVRational{1, static_cast<int>(MediaTime::kTicksPerSecond)},
                                      static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX))};
}

std::int64_t toStreamTime(MediaTime t, AVRational timeBase) {
    return av_rescale_q_rnd(t.ticks, AVRational{1, static_cast<int>(MediaTime::kTicksPerSecond)}, timeBase,
                            static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}

MediaTime MediaTime::fromRational(std::int64_t count, std::int64_t timescale) {
    if (timescale <= 0) return MediaTime{0};
    return MediaTime{av_rescale_rnd(count, kTicksPerSecond, timescale, AV_ROUND_NEAR_INF)};
}

std::int64_t MediaTime::samplesAt(int sampleRate) const {
    return av_rescale_rnd(ticks, sampleRate, kTicksPerSecond, AV_ROUND_NEAR_INF);
}

MediaTime MediaTime::fromSamples(std::int64_t samples, int sampleRate) {
    return fromRational(samples, sampleRate);
}

void OutputFormatDeleter::operator()(AVFormatContext* c) const {
    if (c == nullptr) return;
    if (c->oformat != nullptr && (c->oformat->flags & AVFMT_NOFILE) == 0 && c->pb != nullptr)
        avio_closep(&c->pb);
    avformat_free_context(c);
}

FramePtr makeFrame() {
    return FramePtr(av_frame_alloc());
}
PacketPtr makePacket() {
    return PacketPtr(av_packet_alloc());
}

Result<InputFormatPtr> openInput(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    AVFormatContext* raw = nullptr;
    int err = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (err < 0) return ffmpegError(err, "Could not open " + name);
    InputFormatPtr format(raw);
    err = avformat_find_stream_info(format.get(), nullptr);
    if (err < 0) return ffmpegError(err, "Could not read the streams of " + name);
    return format;
}

Result<CodecContextPtr> openDecoder(const AVFormatContext& format, int streamIndex, int threads) {
    const AVStream* stream = format.streams[streamIndex];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (codec == nullptr) {
        return makeError(kFFmpegDomain, 0,
                         std::string("No decoder for ") + avcodec_get_name(stream->codecpar->codec_id));
    }
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) return ffmpegError(AVERROR(ENOMEM), "Could not allocate a decoder");
    int err = avcodec_parameters_to_context(context.get(), stream->codecpar);
    if (err < 0) return ffmpegError(err, "Could not configure the decoder");
    context->pkt_timebase = stream->time_base;
    context->thread_count = threads;
    err = avcodec_open2(context.get(), codec, nullptr);
    if (err < 0) return ffmpegError(err, std::string("Could not open the ") + codec->name + " decoder");
    return context;
}

}  // namespace vorpix::media
