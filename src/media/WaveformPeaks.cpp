#include "media/WaveformPeaks.h"

#include <cmath>

namespace vorpix::media {

float WaveformPeaks::peak(double atSourceTime) const {
    if (peaks.empty() || !(atSourceTime >= 0) || !(bucketsPerSecond > 0)) return 0;
    const double index = std::floor(atSourceTime * bucketsPerSecond);
    if (!(index < static_cast<double>(peaks.size()))) return 0;
    return peaks[static_cast<std::size_t>(index)];
}

}  // namespace vorpix::media
