#include "camera/CursorPath.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <utility>

namespace vorpix::camera {

namespace {

constexpr int kHalfTaps = 9;            // taps k = -9 ... 9
constexpr double kWindowFloor = 0.005;  // seconds; a window this short or shorter is no smoothing
constexpr double kSpanFloor = 0.0001;   // seconds; least time between a bracketing pair

// Tap weights exp(-offset^2 / (2 sigma^2)) with offset = w k / 9 and sigma = w / 2,
// which is exp(-2 (k / 9)^2) whatever the window: the table is shared by all calls.
struct TapWeights {
    std::array<double, 2 * kHalfTaps + 1> weight{};
    double sum = 0;

    TapWeights() {
        for (int k = -kHalfTaps; k <= kHalfTaps; ++k) {
            const double r = static_cast<double>(k) / kHalfTaps;
            weight[static_cast<std::size_t>(k + kHalfTaps)] = std::exp(-2.0 * r * r);
        }
        for (double w : weight) sum += w;
    }
};

const TapWeights kTaps;

}  // namespace

CursorPath::CursorPath(std::vector<model::MouseSample> samples) : samples_(std::move(samples)) {
    std::stable_sort(samples_.begin(), samples_.end(),
                     [](const model::MouseSample& a, const model::MouseSample& b) { return a.t < b.t; });
}

// Index of the first sample later than t, searched from `from` onwards by
// doubling steps then bisection, so that a run of increasing queries costs
// O(log distance) each. Requires samples_[from - 1].t <= t when from > 0.
std::size_t CursorPath::firstLaterThan(double t, std::size_t from) const {
    const std::size_t n = samples_.size();
    std::size_t lo = from;  // every index below lo is known not to be later than t
    std::size_t step = 1;
    std::size_t hi = from;
    while (hi < n && !(t < samples_[hi].t)) {
        lo = hi + 1;
        hi = from + step;
        step *= 2;
    }
    hi = std::min(hi, n);
    const auto it = std::upper_bound(samples_.begin() + static_cast<std::ptrdiff_t>(lo),
                                     samples_.begin() + static_cast<std::ptrdiff_t>(hi), t,
                                     [](double v, const model::MouseSample& s) { return v < s.t; });
    return static_cast<std::size_t>(it - samples_.begin());
}

// Interpolated position at t, with `cursor` the search hint of firstLaterThan
// (advanced past t on return). Samples must not be empty.
Point CursorPath::positionAt(double t, std::size_t& cursor) const {
    const model::MouseSample& first = samples_.front();
    const model::MouseSample& last = samples_.back();
    // NaN lands here too: it has no place on the time line, so it gets the start.
    if (!(t > first.t)) return {first.x, first.y};
    if (t >= last.t) return {last.x, last.y};

    // first.t < t < last.t: the pair is (last sample not later than t, first
    // sample later than t), the same pair that bisection on `samples[mid].t <= t`
    // settles on, duplicates included.
    // The clamp only matters for sample times that are not numbers, which
    // break the ordering the search relies on.
    cursor = std::clamp<std::size_t>(firstLaterThan(t, cursor), 1, samples_.size() - 1);
    const model::MouseSample& a = samples_[cursor - 1];
    const model::MouseSample& b = samples_[cursor];
    const double f = (t - a.t) / std::max(b.t - a.t, kSpanFloor);
    return {a.x + f * (b.x - a.x), a.y + f * (b.y - a.y)};
}

std::optional<Point> CursorPath::rawPosition(double t) const {
    if (samples_.empty()) return std::nullopt;
    std::size_t cursor = 0;
    return positionAt(t, cursor);
}

std::optional<Point> CursorPath::smoothedPosition(double t, double window) const {
    if (samples_.empty()) return std::nullopt;
    std::size_t cursor = 0;
    // A NaN window is no window.
    if (!(window > kWindowFloor)) return positionAt(t, cursor);

    if (!(kTaps.sum > 0)) return positionAt(t, cursor);

    // The weighted mean is taken of the taps' offsets from the first tap, so
    // a path that does not move averages to exactly its position.
    Point ref;
    double dx = 0;
    double dy = 0;
    // Tap times increase with k, so each search starts where the previous ended.
    for (int k = -kHalfTaps; k <= kHalfTaps; ++k) {
        const double offset = window * static_cast<double>(k) / kHalfTaps;
        const Point p = positionAt(t + offset, cursor);
        if (k == -kHalfTaps) ref = p;
        const double w = kTaps.weight[static_cast<std::size_t>(k + kHalfTaps)];
        dx += w * (p.x - ref.x);
        dy += w * (p.y - ref.y);
    }
    return Point{ref.x + dx / kTaps.sum, ref.y + dy / kTaps.sum};
}

}  // namespace vorpix::camera
