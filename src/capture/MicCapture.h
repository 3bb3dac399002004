#pragma once

// Microphone buffers into mono 32-bit float, a peak limiter, and the mono
// buffer the audio writer takes. Pure functions: the limiter's gain is
// carried by the caller from buffer to buffer. Runs on the real-time audio
// thread, so nothing here allocates per sample or fails loudly: every
// problem gives an empty result and the writer drops that buffer.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <vector>

namespace vorpix::capture {

// Bits of AudioStreamDescription::formatFlags.
inline constexpr std::uint32_t kFormatIsFloat = 1u << 0;
inline constexpr std::uint32_t kFormatIsPacked = 1u << 3;
inline constexpr std::uint32_t kFormatIsNonInterleaved = 1u << 5;

// Layout of linear PCM as the capture backends describe it.
struct AudioStreamDescription {
    double sampleRate = 0;
    std::uint32_t formatFlags = 0;
    std::uint32_t bitsPerChannel = 0;
    std::uint32_t channelsPerFrame = 0;
    std::uint32_t bytesPerFrame = 0;
    std::uint32_t framesPerPacket = 0;
    std::uint32_t bytesPerPacket = 0;
};

// One delivered audio buffer: its format, frame count and presentation time
// (seconds on the capture clock), with the samples either as a list of
// per-channel (or one interleaved) blocks, or as one raw data block.
struct AudioSampleBuffer {
    std::optional<AudioStreamDescription> format;
    std::size_t frames = 0;
    double pts = 0;
    std::vector<std::vector<std::byte>> bufferList;
    std::vector<std::byte> dataBlock;
};

struct PCM {
    std::vector<float> samples;  // mono, nominally -1...1
    double sampleRate = 0;       // Hz
};

// Every `channels`-th sample from index 0; a trailing partial frame is
// dropped. Fewer than 2 channels: the input unchanged.
std::vector<float> channel0(std::span<const float> interleaved, int channels);

// Channel 0 of one audio buffer as floats: 32-bit float copied, 32- and
// 16-bit integers scaled to -1...1; any other layout gives an empty list.
std::vector<float> floats(std::span<const std::byte> data, std::ptrdiff_t frames, int channels, bool interleaved,
                          bool isFloat, int bits);

// Mono float samples of a buffer, or none.
std::optional<PCM> pcm(const AudioSampleBuffer& buffer);

// A packed mono 32-bit float buffer of the samples; none when empty or the
// rate is not positive.
std::optional<AudioSampleBuffer> monoBuffer(std::span<const float> samples, double sampleRate, double pts);

// Peak limiter with a ceiling of 0.89: rewrites `samples` in place and
// updates `gain` (1.0 at the start of a take), which recovers by 0.0002 per
// sample after a clip.
void limit(std::span<float> samples, float& gain);

// Built-in self-check: prints "  FAIL <case>" to `err` for each failed case,
// then "mic-capture OK" or "mic-capture FAIL (<n>)" to `out`. Returns the
// number of failed cases.
int runChecks(std::ostream& out, std::ostream& err);

}  // namespace vorpix::capture
