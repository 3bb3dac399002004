#include "media/AudioReader.h"

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

namespace vorpix::media {

namespace {

// Decoders of lapped codecs (AAC, MP3, Opus) need some input before the
// target to produce correct samples at it.
constexpr MediaTime kSeekPreroll{MediaTime::kTicksPerSecond / 5};
// Short jumps forward decode through instead of seeking.
constexpr MediaTime kDecodeThroughDistance{2 * MediaTime::kTicksPerSecond};

AVSampleFormat avFormatOf(SampleType type) {
    return type == SampleType::f32 ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_S16;
}

}  // namespace

AudioReader::AudioReader(std::unique_ptr<StreamDecoder> decoder, AudioFormat format)
    : decoder_(std::move(decoder)), format_(format) {}

AudioReader::~AudioReader() {
    av_channel_layout_uninit(&resamplerInLayout_);
}

Result<std::unique_ptr<AudioReader>> AudioReader::open(const std::filesystem::path& path, int ordinal,
                                                       AudioFormat format) {
    auto decoder = StreamDecoder::open(path, TrackKind::audio, ordinal, 1);
    if (!decoder) return decoder.error();
    std::unique_ptr<AudioReader> reader(new AudioReader(std::move(*decoder), format));
    reader->fifo_.reset(av_audio_fifo_alloc(avFormatOf(format.type), format.channels, 4096));
    reader->frame_ = makeFrame();
    if (!reader->fifo_ || !reader->frame_)
        return ffmpegError(AVERROR(ENOMEM), "Could not allocate audio buffers");
    reader->wanted_ = reader->track().range.start.samplesAt(format.sampleRate);
    return reader;
}

Result<void> AudioReader::setUpResampler(const AVFrame& frame) {
    if (resampler_ && resamplerInRate_ == frame.sample_rate && resamplerInFormat_ == frame.format &&
        av_channel_layout_compare(&resamplerInLayout_, &frame.ch_layout) == 0) {
        return {};
    }
    AVChannelLayout inLayout{};
    if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&frame.ch_layout) == 0) {
        av_channel_layout_default(&inLayout, std::max(frame.ch_layout.nb_channels, 1));
    } else {
        av_channel_layout_copy(&inLayout, &frame.ch_layout);
    }
    AVChannelLayout outLayout{};
    av_channel_layout_default(&outLayout, format_.channels);
    SwrContext* raw = nullptr;
    int err = swr_alloc_set_opts2(&raw, &outLayout, avFormatOf(format_.type), format_.sampleRate, &inLayout,
                                  static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
    av_channel_layout_uninit(&outLayout);
    av_channel_layout_uninit(&inLayout);
    SwrPtr resampler(raw);
    if (err < 0) return ffmpegError(err, "Could not set up audio conversion");
    // Mono plays at full level on both sides, stereo folds down to the mean;
    // other layouts use FFmpeg's matrix, scaled so that it cannot clip.
    const int inChannels = std::max(frame.ch_layout.nb_channels, 1);
    if (inChannels == 1 && format_.channels == 2) {
        const double matrix[] = {1.0, 1.0};
        err = swr_set_matrix(resampler.get(), matrix, 1);
    } else if (inChannels == 2 && format_.channels == 1) {
        const double matrix[] = {0.5, 0.5};
        err = swr_set_matrix(resampler.get(), matrix, 2);
    } else {
        err = av_opt_set_double(resampler.get(), "rematrix_maxval", 1.0, 0);
    }
    if (err < 0) return ffmpegError(err, "Could not set up audio conversion");
    err = swr_init(resampler.get());
    if (err < 0) return ffmpegError(err, "Could not set up audio conversion");
    resampler_ = std::move(resampler);
    resamplerInRate_ = frame.sample_rate;
    resamplerInFormat_ = frame.format;
    av_channel_layout_uninit(&resamplerInLayout_);
    av_channel_layout_copy(&resamplerInLayout_, &frame.ch_layout);
    return {};
}

Result<bool> AudioReader::fill() {
    if (decoderDone_) return false;
    auto got = decoder_->next(*frame_);
    if (!got) return got.error();

    std::vector<std::uint8_t> buffer;
    int converted = 0;
    if (*got) {
        const MediaTime t = decoder_->timeOf(*frame_);
        if (!positioned_) {
            fifoStart_ = t.samplesAt(format_.sampleRate);
            positioned_ = true;
        }
        if (auto ok = setUpResampler(*frame_); !ok) {
            av_frame_unref(frame_.get());
            return ok.error();
        }
        const int capacity = swr_get_out_samples(resampler_.get(), frame_->nb_samples);
        buffer.resize(static_cast<std::size_t>(std::max(capacity, 0) * format_.bytesPerFrame()));
        std::uint8_t* out[] = {buffer.data()};
        converted = swr_convert(resampler_.get(), out, capacity,
                                const_cast<const std::uint8_t**>(frame_->extended_data), frame_->nb_samples);
        av_frame_unref(frame_.get());
    } else {
        decoderDone_ = true;
        if (!resampler_) return false;
        const int capacity = swr_get_out_samples(resampler_.get(), 0);
        if (capacity <= 0) return false;
        buffer.resize(static_cast<std::size_t>(capacity * format_.bytesPerFrame()));
        std::uint8_t* out[] = {buffer.data()};
        converted = swr_convert(resampler_.get(), out, capacity, nullptr, 0);
    }
    if (converted < 0) return ffmpegError(converted, "Could not convert audio");
    if (converted > 0) {
        void* planes[] = {buffer.data()};
        const int written = av_audio_fifo_write(fifo_.get(), planes, converted);
        if (written < converted)
            return ffmpegError(written < 0 ? written : AVERROR(ENOMEM), "Could not buffer audio");
    }
    return converted > 0 || !decoderDone_;
}

Result<void> AudioReader::seek(MediaTime t) {
    const std::int64_t target = t.samplesAt(format_.sampleRate);
    if (positioned_ && target >= wanted_ &&
        target - wanted_ <= kDecodeThroughDistance.samplesAt(format_.sampleRate)) {
        wanted_ = target;
        return {};
    }
    auto sought = decoder_->seek(t - kSeekPreroll);
    if (!sought) return sought;
    av_audio_fifo_reset(fifo_.get());
    resampler_.reset();
    positioned_ = false;
    decoderDone_ = false;
    wanted_ = target;
    return {};
}

Result<std::size_t> AudioReader::read(void* out, std::size_t frames) {
    auto* bytes = static_cast<std::uint8_t*>(out);
    const std::size_t frameBytes = static_cast<std::size_t>(format_.bytesPerFrame());
    std::size_t produced = 0;
    while (produced < frames) {
        const std::int64_t available = av_audio_fifo_size(fifo_.get());
        const std::int64_t room = static_cast<std::int64_t>(frames - produced);
        if (!positioned_ || (available == 0 && wanted_ >= fifoStart_)) {
            auto more = fill();
            if (!more) return more.error();
            if (!*more) break;
            continue;
        }
        if (wanted_ < fifoStart_) {
            const std::int64_t n = std::min(room, fifoStart_ - wanted_);
            std::memset(bytes + produced * frameBytes, 0, static_cast<std::size_t>(n) * frameBytes);
            wanted_ += n;
            produced += static_cast<std::size_t>(n);
            continue;
        }
        if (wanted_ > fifoStart_) {
            const std::int64_t n = std::min(wanted_ - fifoStart_, available);
            av_audio_fifo_drain(fifo_.get(), static_cast<int>(n));
            fifoStart_ += n;
            continue;
        }
        const std::int64_t n = std::min(room, available);
        void* planes[] = {bytes + produced * frameBytes};
        const int got = av_audio_fifo_read(fifo_.get(), planes, static_cast<int>(n));
        if (got < 0) return ffmpegError(got, "Could not read buffered audio");
        fifoStart_ += got;
        wanted_ += got;
        produced += static_cast<std::size_t>(got);
    }
    return produced;
}

}  // namespace vorpix::media
