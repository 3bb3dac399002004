#include "media/MovieWriter.h"

#include <algorithm>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace vorpix::media {

namespace {

void setOption(AVCodecContext& codec, const char* key, const std::string& value) {
    if (!value.empty()) av_opt_set(codec.priv_data, key, value.c_str(), 0);
}

}  // namespace

MovieWriter::~MovieWriter() = default;

Error MovieWriter::writeError(int averror) const {
    return ffmpegError(averror, "Could not write " + name_);
}

Result<std::unique_ptr<MovieWriter>> MovieWriter::create(const std::filesystem::path& path,
                                                         const std::string& container,
                                                         const std::optional<VideoStreamSettings>& video,
                                                         const std::optional<AudioStreamSettings>& audio,
                                                         FastStart fastStart,
                                                         const std::string& displayName) {
    MovieLayout layout;
    layout.video = video;
    if (audio) layout.audio.push_back(*audio);
    if (fastStart == FastStart::on) layout.muxerOptions.emplace_back("movflags", "+faststart");
    layout.displayName = displayName;
    return create(path, container, layout);
}

Result<std::unique_ptr<MovieWriter>> MovieWriter::create(const std::filesystem::path& path,
                                                         const std::string& container, const MovieLayout& layout) {
    const auto& video = layout.video;
    std::unique_ptr<MovieWriter> writer(new MovieWriter());
    writer->name_ = layout.displayName.empty() ? path.filename().string() : layout.displayName;
    AVFormatContext* raw = nullptr;
    int err = avformat_alloc_output_context2(&raw, nullptr, container.empty() ? nullptr : container.c_str(),
                                             path.string().c_str());
    if (err < 0 || raw == nullptr)
        return ffmpegError(err < 0 ? err : AVERROR(EINVAL), "No muxer for " + writer->name_);
    writer->format_.reset(raw);
    writer->packet_ = makePacket();
    if (!writer->packet_) return ffmpegError(AVERROR(ENOMEM), "Could not allocate a packet");

    if (video) {
        if (auto ok = writer->openVideo(*video); !ok) return ok.error();
    }
    for (const auto& audio : layout.audio) {
        if (auto ok = writer->openAudio(audio); !ok) return ok.error();
    }
    if (!video && layout.audio.empty()) return makeError(kFFmpegDomain, AVERROR(EINVAL), "A movie needs a stream");

    AVFormatContext& format = *writer->format_;
    if ((format.oformat->flags & AVFMT_NOFILE) == 0) {
        err = avio_open(&format.pb, path.string().c_str(), AVIO_FLAG_WRITE);
        if (err < 0) return ffmpegError(err, "Could not create " + writer->name_);
    }
    AVDictionary* options = nullptr;
    for (const auto& [key, value] : layout.muxerOptions) av_dict_set(&options, key.c_str(), value.c_str(), 0);
    err = avformat_write_header(&format, &options);
    av_dict_free(&options);
    if (err < 0) return writer->writeError(err);
    return writer;
}

Result<void> MovieWriter::openVideo(const VideoStreamSettings& settings) {
    const AVCodec* codec = avcodec_find_encoder_by_name(settings.codec.c_str());
    if (codec == nullptr) return makeError(kFFmpegDomain, AVERROR(ENOENT), "No encoder " + settings.codec);
    videoCodec_.reset(avcodec_alloc_context3(codec));
    if (!videoCodec_) return ffmpegError(AVERROR(ENOMEM), "Could not allocate an encoder");
    AVCodecContext& c = *videoCodec_;
    c.width = settings.width;
    c.height = settings.height;
    c.pix_fmt = settings.pixelFormat;
    c.time_base = AVRational{1, settings.timeBase > 0 ? settings.timeBase : settings.fps};
    c.framerate = AVRational{settings.fps, 1};
    c.sample_aspect_ratio = AVRational{1, 1};
    c.thread_count = settings.threads;
    if (settings.bitRate > 0) c.bit_rate = settings.bitRate;
    if (settings.gopFrames >= 0) c.gop_size = settings.gopFrames;
    if (settings.maxBFrames >= 0) c.max_b_frames = settings.maxBFrames;
    if (settings.tagBt709) {
        c.color_primaries = AVCOL_PRI_BT709;
        c.color_trc = AVCOL_TRC_BT709;
        c.colorspace = AVCOL_SPC_BT709;
        c.color_range = AVCOL_RANGE_MPEG;
    }
    setOption(c, "preset", settings.preset);
    setOption(c, "tune", settings.tune);
    setOption(c, "profile", settings.profile);
    if (settings.crf >= 0) setOption(c, "crf", std::to_string(settings.crf));
    for (const auto& [key, value] : settings.options) setOption(c, key.c_str(), value);
    if ((format_->oformat->flags & AVFMT_GLOBALHEADER) != 0) c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int err = avcodec_open2(&c, codec, nullptr);
    if (err < 0) return ffmpegError(err, "Could not open the " + settings.codec + " encoder");
    videoStream_ = avformat_new_stream(format_.get(), nullptr);
    if (videoStream_ == nullptr) return ffmpegError(AVERROR(ENOMEM), "Could not add a video stream");
    videoStream_->time_base = c.time_base;
    videoStream_->avg_frame_rate = c.framerate;
    err = avcodec_parameters_from_context(videoStream_->codecpar, &c);
    if (err < 0) return ffmpegError(err, "Could not add a video stream");
    return {};
}

Result<void> MovieWriter::openAudio(const AudioStreamSettings& settings) {
    const AVCodec* codec = avcodec_find_encoder_by_name(settings.codec.c_str());
    if (codec == nullptr) return makeError(kFFmpegDomain, AVERROR(ENOENT), "No encoder " + settings.codec);
    AudioTrack track;
    track.codec.reset(avcodec_alloc_context3(codec));
    if (!track.codec) return ffmpegError(AVERROR(ENOMEM), "Could not allocate an encoder");
    AVCodecContext& c = *track.codec;
    c.sample_rate = settings.sampleRate;
    av_channel_layout_default(&c.ch_layout, settings.channels);
    c.sample_fmt = codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    // Prefer float when the encoder takes it: no requantisation before coding.
    for (const AVSampleFormat* f = codec->sample_fmts; f != nullptr && *f != AV_SAMPLE_FMT_NONE; ++f) {
        if (*f == AV_SAMPLE_FMT_FLTP || *f == AV_SAMPLE_FMT_FLT) {
            c.sample_fmt = *f;
            break;
        }
    }
    c.time_base = AVRational{1, settings.sampleRate};
    if (settings.bitRate > 0) c.bit_rate = settings.bitRate;
    track.encoded = settings.startOffset;
    if ((format_->oformat->flags & AVFMT_GLOBALHEADER) != 0) c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int err = avcodec_open2(&c, codec, nullptr);
    if (err < 0) return ffmpegError(err, "Could not open the " + settings.codec + " encoder");
    track.stream = avformat_new_stream(format_.get(), nullptr);
    if (track.stream == nullptr) return ffmpegError(AVERROR(ENOMEM), "Could not add an audio stream");
    track.stream->time_base = c.time_base;
    err = avcodec_parameters_from_context(track.stream->codecpar, &c);
    if (err < 0) return ffmpegError(err, "Could not add an audio stream");

    SwrContext* raw = nullptr;
    err = swr_alloc_set_opts2(&raw, &c.ch_layout, c.sample_fmt, c.sample_rate, &c.ch_layout,
                              AV_SAMPLE_FMT_FLT, c.sample_rate, 0, nullptr);
    track.convert.reset(raw);
    if (err < 0 || (err = swr_init(track.convert.get())) < 0)
        return ffmpegError(err, "Could not set up audio conversion");
    track.fifo.reset(av_audio_fifo_alloc(c.sample_fmt, c.ch_layout.nb_channels, 4096));
    if (!track.fifo) return ffmpegError(AVERROR(ENOMEM), "Could not allocate audio buffers");
    audio_.push_back(std::move(track));
    return {};
}

Result<FramePtr> MovieWriter::makeVideoFrame() {
    if (!videoCodec_) return makeError(kFFmpegDomain, AVERROR(EINVAL), "The movie has no video stream");
    return videoFrames_.get(videoCodec_->pix_fmt, videoCodec_->width, videoCodec_->height);
}

Result<void> MovieWriter::drain(AVCodecContext& codec, AVStream& stream) {
    for (;;) {
        int err = avcodec_receive_packet(&codec, packet_.get());
        if (err == kAvErrorAgain || err == kAvErrorEof) return {};
        if (err < 0) return ffmpegError(err, "Could not encode " + name_);
        av_packet_rescale_ts(packet_.get(), codec.time_base, stream.time_base);
        packet_->stream_index = stream.index;
        err = av_interleaved_write_frame(format_.get(), packet_.get());
        if (err < 0) return writeError(err);
    }
}

Result<void> MovieWriter::writeVideo(FramePtr frame, std::int64_t index) {
    if (!videoCodec_ || finished_)
        return makeError(kFFmpegDomain, AVERROR(EINVAL), "The movie takes no video");
    frame->pts = index;
    if (videoCodec_->color_range != AVCOL_RANGE_UNSPECIFIED) {
        frame->color_range = videoCodec_->color_range;
        frame->colorspace = videoCodec_->colorspace;
        frame->color_primaries = videoCodec_->color_primaries;
        frame->color_trc = videoCodec_->color_trc;
    }
    const int err = avcodec_send_frame(videoCodec_.get(), frame.get());
    if (err < 0) return ffmpegError(err, "Could not encode " + name_);
    return drain(*videoCodec_, *videoStream_);
}

std::int64_t MovieWriter::audioFramesWritten(std::size_t track) const {
    return track < audio_.size() ? audio_[track].in : 0;
}

Result<void> MovieWriter::writeAudio(std::span<const float> interleaved, std::size_t trackIndex) {
    if (trackIndex >= audio_.size() || finished_)
        return makeError(kFFmpegDomain, AVERROR(EINVAL), "The movie takes no audio");
    AudioTrack& track = audio_[trackIndex];
    const AVCodecContext& codec = *track.codec;
    const int channels = codec.ch_layout.nb_channels;
    const int frames = static_cast<int>(interleaved.size() / static_cast<std::size_t>(channels));
    if (frames == 0) return {};
    std::vector<std::vector<std::uint8_t>> planes;
    const int planeCount = av_sample_fmt_is_planar(codec.sample_fmt) != 0 ? channels : 1;
    const int planeBytes =
        frames * av_get_bytes_per_sample(codec.sample_fmt) * (planeCount == 1 ? channels : 1);
    std::vector<std::uint8_t*> pointers;
    planes.resize(static_cast<std::size_t>(planeCount));
    for (auto& p : planes) {
        p.resize(static_cast<std::size_t>(planeBytes));
        pointers.push_back(p.data());
    }
    const auto* in = reinterpret_cast<const std::uint8_t*>(interleaved.data());
    const int converted = swr_convert(track.convert.get(), pointers.data(), frames, &in, frames);
    if (converted < 0) return ffmpegError(converted, "Could not convert audio");
    const int written =
        av_audio_fifo_write(track.fifo.get(), reinterpret_cast<void**>(pointers.data()), converted);
    if (written < converted) return ffmpegError(AVERROR(ENOMEM), "Could not buffer audio");
    track.in += frames;
    return encodeAudioFrames(track, false);
}

Result<void> MovieWriter::encodeAudioFrames(AudioTrack& track, bool flushPartial) {
    AVCodecContext& c = *track.codec;
    const bool variable = (c.codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
    const int frameSize = c.frame_size > 0 && !variable ? c.frame_size : 1024;
    for (;;) {
        const int available = av_audio_fifo_size(track.fifo.get());
        if (available == 0 || (available < frameSize && !flushPartial)) return {};
        FramePtr frame = makeFrame();
        if (!frame) return ffmpegError(AVERROR(ENOMEM), "Could not allocate a frame");
        const int take = std::min(available, frameSize);
        const bool smallLastOk = variable || (c.codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
        frame->nb_samples = take < frameSize && !smallLastOk ? frameSize : take;
        frame->format = c.sample_fmt;
        frame->sample_rate = c.sample_rate;
        av_channel_layout_copy(&frame->ch_layout, &c.ch_layout);
        int err = av_frame_get_buffer(frame.get(), 0);
        if (err < 0) return ffmpegError(err, "Could not allocate a frame");
        av_samples_set_silence(frame->extended_data, 0, frame->nb_samples, c.ch_layout.nb_channels,
                               c.sample_fmt);
        if (av_audio_fifo_read(track.fifo.get(), reinterpret_cast<void**>(frame->extended_data), take) <
            take) {
            return ffmpegError(AVERROR(EIO), "Could not read buffered audio");
        }
        frame->pts = track.encoded;
        track.encoded += frame->nb_samples;
        err = avcodec_send_frame(&c, frame.get());
        if (err < 0) return ffmpegError(err, "Could not encode " + name_);
        if (auto ok = drain(c, *track.stream); !ok) return ok;
    }
}

Result<void> MovieWriter::finish() {
    if (finished_) return makeError(kFFmpegDomain, AVERROR(EINVAL), name_ + " is already finished");
    finished_ = true;
    if (videoCodec_) {
        int err = avcodec_send_frame(videoCodec_.get(), nullptr);
        if (err < 0) return ffmpegError(err, "Could not encode " + name_);
        if (auto ok = drain(*videoCodec_, *videoStream_); !ok) return ok;
    }
    for (AudioTrack& track : audio_) {
        if (auto ok = encodeAudioFrames(track, true); !ok) return ok;
        int err = avcodec_send_frame(track.codec.get(), nullptr);
        if (err < 0) return ffmpegError(err, "Could not encode " + name_);
        if (auto ok = drain(*track.codec, *track.stream); !ok) return ok;
    }
    int err = av_interleaved_write_frame(format_.get(), nullptr);
    if (err < 0) return writeError(err);
    err = av_write_trailer(format_.get());
    if (err < 0) return writeError(err);
    if ((format_->oformat->flags & AVFMT_NOFILE) == 0) {
        err = avio_closep(&format_->pb);
        if (err < 0) return writeError(err);
    }
    return {};
}

}  // namespace vorpix::media
