#pragma once

// Audio decoding with conversion to one fixed interleaved format through
// libswresample, positioned sample-accurately by stream time. Used for the
// mix (float stereo 48 kHz) and for waveforms (s16 mono 22050 Hz).
// Single-threaded.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

#include "media/FFmpeg.h"
#include "media/MediaProbe.h"
#include "media/StreamDecoder.h"
#include "model/Result.h"

namespace vorpix::media {

enum class SampleType { f32, s16 };

struct AudioFormat {
    int sampleRate = 48000;
    int channels = 2;
    SampleType type = SampleType::f32;

    int bytesPerFrame() const { return channels * (type == SampleType::f32 ? 4 : 2); }
    bool operator==(const AudioFormat&) const = default;
};

inline constexpr AudioFormat kMixFormat{48000, 2, SampleType::f32};

class AudioReader {
public:
    // Track `ordinal` (0 = first) among the file's audio tracks.
    static Result<std::unique_ptr<AudioReader>> open(const std::filesystem::path& path, int ordinal,
                                                     AudioFormat format);

    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    const TrackInfo& track() const { return decoder_->track(); }
    const AudioFormat& format() const { return format_; }

    // The next read starts at stream time `t`, to the output sample. Times
    // before the first decoded sample read as silence.
    Result<void> seek(MediaTime t);

    // Up to `frames` frames into `out` (interleaved, `format().bytesPerFrame()`
    // bytes each); fewer only at the end of the track, 0 after it.
    Result<std::size_t> read(void* out, std::size_t frames);
    Result<std::size_t> read(std::span<float> out) { return read(out.data(), out.size() / channelCount()); }
    Result<std::size_t> read(std::span<std::int16_t> out) {
        return read(out.data(), out.size() / channelCount());
    }

private:
    AudioReader(std::unique_ptr<StreamDecoder> decoder, AudioFormat format);
    Result<void> setUpResampler(const AVFrame& frame);
    Result<bool> fill();  // converts one more decoded frame into the FIFO
    std::size_t channelCount() const { return static_cast<std::size_t>(format_.channels); }

    std::unique_ptr<StreamDecoder> decoder_;
    AudioFormat format_;
    SwrPtr resampler_;
    int resamplerInRate_ = 0;
    int resamplerInFormat_ = -1;
    AVChannelLayout resamplerInLayout_{};
    AudioFifoPtr fifo_;
    FramePtr frame_;
    // Output-rate sample index (from stream time 0) of the FIFO's first sample;
    // known once a frame has been decoded since the last seek.
    std::int64_t fifoStart_ = 0;
    bool positioned_ = false;
    std::int64_t wanted_ = 0;  // output-rate sample index of the next read
    bool decoderDone_ = false;
};

}  // namespace vorpix::media
