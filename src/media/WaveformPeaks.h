#pragma once

// A loudness envelope in source time: per bucket of 1/bucketsPerSecond s,
// the largest absolute sample value (0 ... 1 for normal audio). A plain
// value, safe to copy between threads.

#include <vector>

namespace vorpix::media {

struct WaveformPeaks {
    double duration = 0;          // seconds of analysed audio
    double bucketsPerSecond = 0;  // bucket i covers [i / rate, (i + 1) / rate)
    std::vector<float> peaks;

    // The bucket value at source time `t`; 0 before 0, past the last bucket,
    // and for an empty envelope or a rate of 0 or less.
    float peak(double atSourceTime) const;

    bool operator==(const WaveformPeaks&) const = default;
};

}  // namespace vorpix::media
