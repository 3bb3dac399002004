#include "media/FFmpeg.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
}

#include <algorithm>
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

FramePool::~FramePool() {
    av_buffer_pool_uninit(&pool_);
}

Result<FramePtr> FramePool::get(AVPixelFormat format, int width, int height) {
    AVBufferRef* buffer = nullptr;
    int linesizes[4] = {};
    {
        std::lock_guard lock(mutex_);
        if (pool_ == nullptr || format != format_ || width != width_ || height != height_) {
            av_buffer_pool_uninit(&pool_);
            int err = av_image_fill_linesizes(linesizes_, format, (width + 63) & ~63);
            if (err < 0) return ffmpegError(err, "Could not allocate a frame");
            ptrdiff_t linesizes64[4] = {};
            for (int i = 0; i < 4; ++i) linesizes64[i] = linesizes_[i];
            std::size_t planes[4] = {};
            err = av_image_fill_plane_sizes(planes, format, height, linesizes64);
            if (err < 0) return ffmpegError(err, "Could not allocate a frame");
            size_ = planes[0] + planes[1] + planes[2] + planes[3] + 64;
            pool_ = av_buffer_pool_init(size_, nullptr);
            if (pool_ == nullptr) return ffmpegError(AVERROR(ENOMEM), "Could not allocate a frame");
            format_ = format;
            width_ = width;
            height_ = height;
        }
        buffer = av_buffer_pool_get(pool_);
        std::copy(std::begin(linesizes_), std::end(linesizes_), linesizes);
    }
    if (buffer == nullptr) return ffmpegError(AVERROR(ENOMEM), "Could not allocate a frame");
    FramePtr frame = makeFrame();
    if (!frame) {
        av_buffer_unref(&buffer);
        return ffmpegError(AVERROR(ENOMEM), "Could not allocate a frame");
    }
    frame->format = format;
    frame->width = width;
    frame->height = height;
    frame->buf[0] = buffer;
    // Pool buffers are only 16-byte aligned; rows start on 64 bytes.
    std::uint8_t* aligned = buffer->data + ((64 - reinterpret_cast<std::uintptr_t>(buffer->data) % 64) % 64);
    const int err = av_image_fill_pointers(frame->data, format, height, aligned, linesizes);
    if (err < 0) return ffmpegError(err, "Could not allocate a frame");
    std::copy(std::begin(linesizes), std::end(linesizes), frame->linesize);
    return frame;
}

Result<InputFormatPtr> openInput(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    // Only regular files: opening a FIFO or a device would block or never end.
    std::error_code ec;
    const auto type = std::filesystem::status(path, ec).type();
    if (type != std::filesystem::file_type::regular && type != std::filesystem::file_type::not_found)
        return makeError(kFFmpegDomain, AVERROR(EINVAL), "Could not open " + name + ": not a regular file");
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
