// Properties of the edit arithmetic over random documents (fixed seeds).

#include <algorithm>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "timeline/EditDerivation.h"
#include "timeline/EditTimeline.h"
#include "timeline/Tolerances.h"

namespace vorpix::timeline {
namespace {

using model::TimelineSlice;

struct Document {
    double duration = 0;
    double trimStart = 0;
    double trimEnd = 0;
    std::vector<model::TimeRange> removed;
    std::vector<double> splits;
};

class RandomDocuments : public ::testing::Test {
protected:
    Document next() {
        Document d;
        d.duration = uniform(0, 120);
        // Trims sometimes reversed, sometimes outside the recording.
        d.trimStart = uniform(-5, d.duration * 0.6);
        d.trimEnd = uniform(d.duration * 0.3, d.duration + 5);
        if (coin()) std::swap(d.trimStart, d.trimEnd);
        const int cuts = static_cast<int>(uniform(0, 12));
        for (int i = 0; i < cuts; ++i) {
            model::TimeRange r;
            r.start = uniform(-2, d.duration + 2);
            // Mostly short cuts, some tiny ones near the tolerances.
            r.end = r.start + (coin() ? uniform(-0.06, 0.06) : uniform(-8, 8));
            d.removed.push_back(r);
        }
        const int splits = static_cast<int>(uniform(0, 8));
        for (int i = 0; i < splits; ++i) d.splits.push_back(uniform(0, d.duration));
        return d;
    }

    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
    bool coin() { return std::bernoulli_distribution(0.5)(rng_); }

private:
    std::mt19937_64 rng_{20240611};
};

constexpr int kDocuments = 2000;

TEST_F(RandomDocuments, KeepSlicesAreOrderedDisjointAndInsideTheTrims) {
    for (int n = 0; n < kDocuments; ++n) {
        const Document d = next();
        const auto k = keep(d.duration, d.trimStart, d.trimEnd, d.removed);
        const double lo = std::max(std::min(d.trimStart, d.trimEnd), 0.0);
        const double hi = std::min(std::max(d.trimStart, d.trimEnd), d.duration);
        double previousEnd = lo;
        for (const TimelineSlice& s : k) {
            ASSERT_GE(s.sourceStart, previousEnd) << n;
            ASSERT_GT(s.sourceEnd - s.sourceStart, kPieceThreshold) << n;
            ASSERT_LE(s.sourceEnd, hi) << n;
            ASSERT_EQ(s.timeScale, 1.0);
            previousEnd = s.sourceEnd;
        }
        // No kept slice overlaps a removed range by more than round-off,
        // unless clipping to the trims left too little of it to count.
        for (const model::TimeRange& r : d.removed) {
            const double a = std::max(std::min(r.start, r.end), lo);
            const double b = std::min(std::max(r.start, r.end), hi);
            if (b - a <= kPieceThreshold) continue;
            for (const TimelineSlice& s : k) {
                ASSERT_LE(std::min(s.sourceEnd, b) - std::max(s.sourceStart, a), 1e-12) << n;
            }
        }
    }
}

TEST_F(RandomDocuments, SourceOfOutputMapsBack) {
    for (int n = 0; n < kDocuments; ++n) {
        const Document d = next();
        const auto k = effectiveKeep(d.duration, d.trimStart, d.trimEnd, d.removed);
        const double length = editDuration(k);
        for (int i = 0; i <= 50; ++i) {
            const double t = length * i / 50.0;
            const std::optional<double> back = toOutput(toSource(t, k), k);
            ASSERT_TRUE(back) << n << " t=" << t;
            ASSERT_NEAR(*back, t, 1e-9) << n;
        }
    }
}

TEST_F(RandomDocuments, FilmClipsTileTheOutput) {
    for (int n = 0; n < kDocuments; ++n) {
        const Document d = next();
        const auto k = effectiveKeep(d.duration, d.trimStart, d.trimEnd, d.removed);
        const auto film = filmClips(k, d.splits);
        ASSERT_FALSE(film.empty());
        EXPECT_EQ(film.front().outputStart, 0);
        for (std::size_t i = 1; i < film.size(); ++i) {
            ASSERT_EQ(film[i].outputStart, film[i - 1].outputEnd);
            ASSERT_GE(film[i].sourceStart, film[i - 1].sourceEnd);
        }
        ASSERT_NEAR(film.back().outputEnd, editDuration(k), 1e-9);
        // Every clip starts where its source maps.
        for (const FilmClip& c : film) ASSERT_NEAR(*toOutput(c.sourceStart, k), c.outputStart, 1e-9);
    }
}

TEST_F(RandomDocuments, PerformedSplitsStaySortedAndApart) {
    for (int n = 0; n < kDocuments / 4; ++n) {
        Document d = next();
        const auto k = effectiveKeep(d.duration, d.trimStart, d.trimEnd, d.removed);
        std::vector<double> splits;
        const double length = editDuration(k);
        for (int i = 0; i < 40; ++i) {
            const double playhead = uniform(0, length);
            if (const auto at = splitPoint(playhead, k, splits)) addSplit(splits, at->source);
        }
        ASSERT_TRUE(std::is_sorted(splits.begin(), splits.end()));
        for (std::size_t i = 1; i < splits.size(); ++i) ASSERT_GE(splits[i] - splits[i - 1], kDuplicateSplit);
        // Each split made a clip boundary.
        ASSERT_EQ(clips(k, splits).size(), k.size() + splits.size()) << n;
    }
}

}  // namespace
}  // namespace vorpix::timeline
