#include "media/WaveformAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "media/AudioReader.h"

namespace vorpix::media {

WaveformPeaks WaveformAnalyzer::peaks(std::span<const float> samples, double sampleRate,
                                      double bucketsPerSecond) {
    WaveformPeaks result;
    result.duration = sampleRate > 0 ? static_cast<double>(samples.size()) / sampleRate : 0;
    result.bucketsPerSecond = bucketsPerSecond;
    const double wanted = std::ceil(bucketsPerSecond * std::max(result.duration, 0.001));
    const std::size_t n = wanted >= 1 ? static_cast<std::size_t>(wanted) : 1;
    result.peaks.assign(n, 0.0f);
    if (sampleRate > 0 && !samples.empty() && bucketsPerSecond > 0) {
        const double perBucket = sampleRate / bucketsPerSecond;
        for (std::size_t k = 0; k < samples.size(); ++k) {
            const auto b =
                std::min(n - 1, static_cast<std::size_t>(std::floor(static_cast<double>(k) / perBucket)));
            result.peaks[b] = std::max(result.peaks[b], std::fabs(samples[k]));
        }
    }
    return result;
}

std::optional<WaveformPeaks> WaveformAnalyzer::mix(const std::vector<WaveformPeaks>& list) {
    if (list.empty()) return std::nullopt;
    if (list.size() == 1) return list.front();
    WaveformPeaks result;
    for (const auto& p : list) result.duration = std::max(result.duration, p.duration);
    result.bucketsPerSecond = list.front().bucketsPerSecond;
    const double wanted = std::ceil(result.bucketsPerSecond * std::max(result.duration, 0.001));
    const std::size_t n = wanted >= 1 ? static_cast<std::size_t>(wanted) : 1;
    result.peaks.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / result.bucketsPerSecond;
        float loudest = 0;
        for (const auto& p : list) loudest = std::max(loudest, p.peak(t));
        result.peaks[i] = loudest;
    }
    return result;
}

std::optional<WaveformPeaks> WaveformAnalyzer::read(const std::filesystem::path& file, int track,
                                                    double bucketsPerSecond) {
    if (!(bucketsPerSecond > 0)) return std::nullopt;
    auto reader = AudioReader::open(file, track, AudioFormat{kDecodeRate, 1, SampleType::s16});
    if (!reader) return std::nullopt;
    const double perBucket = kDecodeRate / bucketsPerSecond;
    double acc = 0;
    float cur = 0;
    std::int64_t total = 0;
    WaveformPeaks result;
    result.bucketsPerSecond = bucketsPerSecond;
    std::vector<std::int16_t> buffer(4096);
    for (;;) {
        auto got = (*reader)->read(buffer);
        // A decode failure ends the envelope where it stands.
        if (!got || *got == 0) break;
        for (std::size_t k = 0; k < *got; ++k) {
            cur = std::max(cur, static_cast<float>(std::abs(static_cast<int>(buffer[k]))) / 32768.0f);
            acc += 1;
            ++total;
            if (acc >= perBucket) {
                result.peaks.push_back(cur);
                acc -= perBucket;
                cur = 0;
            }
        }
    }
    if (acc > 0 || cur > 0) result.peaks.push_back(cur);
    if (result.peaks.empty()) return std::nullopt;
    result.duration = static_cast<double>(total) / kDecodeRate;
    return result;
}

std::optional<WaveformPeaks> WaveformAnalyzer::load(const std::filesystem::path& file,
                                                    double bucketsPerSecond) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return std::nullopt;
    return read(file, 0, bucketsPerSecond);
}

std::optional<WaveformPeaks> WaveformAnalyzer::loadCapture(const std::optional<std::filesystem::path>& video,
                                                           const std::vector<std::filesystem::path>& extras) {
    std::vector<WaveformPeaks> loaded;
    if (video) {
        if (auto p = load(*video, kCaptureBucketsPerSecond)) loaded.push_back(std::move(*p));
    }
    for (const auto& extra : extras) {
        if (auto p = load(extra, kCaptureBucketsPerSecond)) loaded.push_back(std::move(*p));
    }
    return mix(loaded);
}

}  // namespace vorpix::media
