#pragma once

// Loudness envelopes of audio files for the timeline: the first audio track
// decoded as mono 16-bit at 22050 Hz and folded, buffer by buffer, into the
// largest absolute sample per bucket; several envelopes combine by taking the
// louder at every moment. Stateless. The loaders block while they decode:
// callers run them on a background task and publish the value they return.

#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "media/WaveformPeaks.h"

namespace vorpix::media {

class WaveformAnalyzer {
public:
    static constexpr int kDecodeRate = 22050;
    static constexpr double kCaptureBucketsPerSecond = 80;

    // Envelope of in-memory samples at `sampleRate`.
    static WaveformPeaks peaks(std::span<const float> samples, double sampleRate, double bucketsPerSecond);

    // The louder source at every bucket, at the first element's rate; none
    // for an empty list, the element itself for one.
    static std::optional<WaveformPeaks> mix(const std::vector<WaveformPeaks>& list);

    // Envelope of the first audio track of `file`: none when the file does
    // not exist, has no audio track or yields no sample.
    static std::optional<WaveformPeaks> load(const std::filesystem::path& file, double bucketsPerSecond);

    // The capture's waveform: the screen file's audio and every existing
    // extra audio file at 80 buckets per second, mixed; none when nothing
    // could be loaded.
    static std::optional<WaveformPeaks> loadCapture(const std::optional<std::filesystem::path>& video,
                                                    const std::vector<std::filesystem::path>& extras);

    // The built-in self-check: the shared case table, one line per failure,
    // then "waveform OK" or "waveform FAIL (<count>)". Returns the failures.
    static int runChecks(std::ostream& out);

private:
    // Streaming decode of audio track `track` (0 = first) into an envelope.
    static std::optional<WaveformPeaks> read(const std::filesystem::path& file, int track,
                                             double bucketsPerSecond);
};

// The self-check's case table, shared with the unit tests. `run` returns an
// empty string when the case holds, else what went wrong.
struct WaveformCheck {
    std::string name;
    std::string (*run)();
};
const std::vector<WaveformCheck>& waveformChecks();

}  // namespace vorpix::media
