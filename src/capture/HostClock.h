#pragma once

// The one clock every capture timestamp is taken on: CLOCK_MONOTONIC in
// seconds. Screen frames, pointer samples, clicks, audio buffers and webcam
// frames of a take are all stamped with it, so their differences are exact
// whatever thread took them. Thread-safe.

#include <ctime>

namespace vorpix::capture {

inline double hostSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace vorpix::capture
