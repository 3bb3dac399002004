#include "model/DurationString.h"

#include <cmath>
#include <cstdio>

namespace vorpix::model {

std::string durationString(double seconds) {
    // Clamp before converting so huge or odd values cannot overflow.
    double rounded = std::round(seconds);
    if (!(rounded > 0)) rounded = 0;
    if (rounded > 9.0e15) rounded = 9.0e15;
    const auto n = static_cast<long long>(rounded);
    char text[48];
    if (n >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", n / 3600, (n / 60) % 60, n % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", n / 60, n % 60);
    }
    return text;
}

}  // namespace vorpix::model
