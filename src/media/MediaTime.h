#pragma once

// Integer media time: ticks of 1/60000 s. The engine works in ticks from the
// moment a record's double seconds enter it (`fromSeconds`) until a value
// leaves it (`seconds()`), so sums of many segment lengths never drift.

#include <cmath>
#include <compare>
#include <cstdint>

namespace vorpix::media {

struct MediaTime {
    static constexpr std::int64_t kTicksPerSecond = 60000;

    std::int64_t ticks = 0;

    // Rounds to the nearest tick (halves away from zero); non-finite gives 0.
    static constexpr MediaTime fromSeconds(double s) {
        if (!(s == s) || s > 1e12 || s < -1e12) return MediaTime{0};
        const double scaled = s * static_cast<double>(kTicksPerSecond);
        return MediaTime{static_cast<std::int64_t>(scaled < 0 ? scaled - 0.5 : scaled + 0.5)};
    }
    // `count` units of 1/`timescale` s, rounded to the nearest tick.
    static MediaTime fromRational(std::int64_t count, std::int64_t timescale);

    constexpr double seconds() const {
        return static_cast<double>(ticks) / static_cast<double>(kTicksPerSecond);
    }

    // Sample index at `sampleRate` of this time, rounded to the nearest sample.
    std::int64_t samplesAt(int sampleRate) const;
    static MediaTime fromSamples(std::int64_t samples, int sampleRate);

    constexpr auto operator<=>(const MediaTime&) const = default;
    constexpr MediaTime operator+(MediaTime o) const { return MediaTime{ticks + o.ticks}; }
    constexpr MediaTime operator-(MediaTime o) const { return MediaTime{ticks - o.ticks}; }
    constexpr MediaTime& operator+=(MediaTime o) {
        ticks += o.ticks;
        return *this;
    }
    constexpr MediaTime& operator-=(MediaTime o) {
        ticks -= o.ticks;
        return *this;
    }
};

inline constexpr MediaTime kZeroTime{0};

// A half-open stretch [start, start + duration) of media time.
struct TimeSpan {
    MediaTime start;
    MediaTime duration;

    constexpr MediaTime end() const { return start + duration; }
    constexpr bool operator==(const TimeSpan&) const = default;
};

// The overlap of two spans; a zero duration when they do not overlap.
constexpr TimeSpan intersect(TimeSpan a, TimeSpan b) {
    const MediaTime s = a.start > b.start ? a.start : b.start;
    const MediaTime e = a.end() < b.end() ? a.end() : b.end();
    return e > s ? TimeSpan{s, e - s} : TimeSpan{s, kZeroTime};
}

}  // namespace vorpix::media
