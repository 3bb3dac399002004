#include "capture/MicCapture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ostream>
#include <string>

namespace vorpix::capture {

namespace {

constexpr float kCeiling = 0.89f;
constexpr float kFloor = 1e-6f;
constexpr float kRecovery = 0.0002f;

template <class T>
T readAt(std::span<const std::byte> data, std::size_t index) {
    T value;
    std::memcpy(&value, data.data() + index * sizeof(T), sizeof(T));
    return value;
}

}  // namespace

std::vector<float> channel0(std::span<const float> interleaved, int channels) {
    if (channels < 2) return {interleaved.begin(), interleaved.end()};
    const auto stride = static_cast<std::size_t>(channels);
    if (stride > interleaved.size()) return {};
    const std::size_t count = interleaved.size() / stride;
    std::vector<float> out(count);
    for (std::size_t i = 0; i < count; ++i) out[i] = interleaved[i * stride];
    return out;
}

std::vector<float> floats(std::span<const std::byte> data, std::ptrdiff_t frames, int channels, bool interleaved,
                          bool isFloat, int bits) {
    if (data.empty() || frames < 1) return {};
    const std::size_t stride = interleaved ? static_cast<std::size_t>(std::max(channels, 1)) : 1;
    const auto count = static_cast<std::size_t>(frames);
    if (bits != 32 && bits != 16) return {};
    if (isFloat && bits != 32) return {};
    const std::size_t bytesPerValue = static_cast<std::size_t>(bits) / 8;
    // Never read past the buffer, whatever the description claims.
    if ((count - 1) * stride + 1 > data.size() / bytesPerValue) return {};

    std::vector<float> out(count);
    if (isFloat) {
        for (std::size_t i = 0; i < count; ++i) out[i] = readAt<float>(data, i * stride);
    } else if (bits == 32) {
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = static_cast<float>(readAt<std::int32_t>(data, i * stride)) * 4.656613e-10f;
        }
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = static_cast<float>(readAt<std::int16_t>(data, i * stride)) * 3.0517578e-5f;
        }
    }
    return out;
}

std::optional<PCM> pcm(const AudioSampleBuffer& buffer) {
    if (!buffer.format) return std::nullopt;
    const AudioStreamDescription& format = *buffer.format;
    if (buffer.frames == 0 || !(format.sampleRate > 0)) return std::nullopt;

    if (!buffer.bufferList.empty() && !buffer.bufferList.front().empty()) {
        const bool interleaved = (format.formatFlags & kFormatIsNonInterleaved) == 0;
        const int channels = interleaved ? static_cast<int>(std::max<std::uint32_t>(format.channelsPerFrame, 1)) : 1;
        std::vector<float> samples =
            floats(buffer.bufferList.front(), static_cast<std::ptrdiff_t>(buffer.frames), channels, interleaved,
                   (format.formatFlags & kFormatIsFloat) != 0, static_cast<int>(format.bitsPerChannel));
        if (!samples.empty()) return PCM{std::move(samples), format.sampleRate};
    }

    // Fall back to the raw block, taken as native 32-bit floats.
    if (buffer.dataBlock.size() < 4) return std::nullopt;
    const std::size_t count = buffer.dataBlock.size() / 4;
    std::vector<float> raw(count);
    std::memcpy(raw.data(), buffer.dataBlock.data(), count * 4);
    if (format.channelsPerFrame >= 2) raw = channel0(raw, static_cast<int>(format.channelsPerFrame));
    return PCM{std::move(raw), format.sampleRate};
}

std::optional<AudioSampleBuffer> monoBuffer(std::span<const float> samples, double sampleRate, double pts) {
    if (samples.empty() || !(sampleRate > 0)) return std::nullopt;
    AudioStreamDescription format;
    format.sampleRate = sampleRate;
    format.formatFlags = kFormatIsFloat | kFormatIsPacked;
    format.bitsPerChannel = 32;
    format.channelsPerFrame = 1;
    format.bytesPerFrame = 4;
    format.framesPerPacket = 1;
    format.bytesPerPacket = 4;

    AudioSampleBuffer buffer;
    buffer.format = format;
    buffer.frames = samples.size();
    buffer.pts = pts;
    buffer.dataBlock.resize(samples.size() * 4);
    std::memcpy(buffer.dataBlock.data(), samples.data(), buffer.dataBlock.size());
    return buffer;
}

void limit(std::span<float> samples, float& gain) {
    for (float& x : samples) {
        const float y = x * gain;
        if (std::fabs(y) > kCeiling) {
            gain = gain * kCeiling / std::max(std::fabs(y), kFloor);
            x = x * gain;
        } else {
            x = y;
            if (gain < 1.0f) gain = std::min(gain + kRecovery, 1.0f);
        }
    }
}

int runChecks(std::ostream& out, std::ostream& err) {
    int failures = 0;
    auto check = [&](bool ok, const char* name) {
        if (!ok) {
            ++failures;
            err << "  FAIL " << name << "\n";
        }
    };
    auto near = [](float a, float b, float tolerance) { return std::fabs(a - b) <= tolerance; };

    {
        const std::vector<float> stereo{0.1f, 0.9f, 0.2f, -0.8f, 0.3f, 0.7f};
        const auto mono = channel0(stereo, 2);
        check(mono.size() == 3 && near(mono[0], 0.1f, 1e-6f) && near(mono[1], 0.2f, 1e-6f) &&
                  near(mono[2], 0.3f, 1e-6f),
              "channel 0 from stereo");
        const std::vector<float> single{0.2f, 0.4f};
        check(channel0(single, 1) == single, "mono passthrough");
    }
    {
        std::vector<float> loud{1.8f, -2.4f, 0.3f};
        float gain = 1.0f;
        limit(loud, gain);
        check(std::all_of(loud.begin(), loud.end(), [](float s) { return std::fabs(s) <= 0.891f; }),
              "limiter caps peaks");
        check(std::fabs(loud.back()) > 0.05f && std::fabs(loud.back()) < 0.2f, "limiter attenuates after a peak");
        check(gain < 1.0f, "gain reduced after clip");
    }
    {
        std::vector<float> quiet{0.0f, 0.3f, -0.5f, 0.89f, -0.89f};
        const std::vector<float> original = quiet;
        float gain = 1.0f;
        limit(quiet, gain);
        check(quiet == original && gain == 1.0f, "quiet audio unchanged");
    }
    {
        const std::vector<float> values{0.25f, -0.5f, 0.125f};
        const auto buffer = monoBuffer(values, 48000, 0);
        check(buffer.has_value(), "pcm create mono buffer");
        const auto back = buffer ? pcm(*buffer) : std::nullopt;
        check(back.has_value(), "pcm extract from mono buffer");
        check(back && back->samples.size() == 3, "pcm roundtrip count");
        check(back && back->samples.size() == 3 && near(back->samples[0], 0.25f, 1e-6f) &&
                  near(back->samples[1], -0.5f, 1e-6f) && near(back->samples[2], 0.125f, 1e-6f),
              "pcm roundtrip values");
        check(back && std::fabs(back->sampleRate - 48000) <= 0.1, "pcm roundtrip rate");
    }

    if (failures == 0) {
        out << "mic-capture OK\n";
    } else {
        out << "mic-capture FAIL (" << failures << ")\n";
    }
    return failures;
}

}  // namespace vorpix::capture
