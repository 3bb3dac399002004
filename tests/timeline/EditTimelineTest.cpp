#include "timeline/EditTimeline.h"

#include <vector>

#include <gtest/gtest.h>

#include "support/AllocationCounter.h"
#include "timeline/EditDerivation.h"
#include "timeline/Tolerances.h"

namespace vorpix::timeline {
namespace {

using model::TimelineSlice;

model::TimeRange range(double start, double end) {
    model::TimeRange r;
    r.start = start;
    r.end = end;
    return r;
}

TEST(FilmClip, IdentityIsSourceRangeToMilliseconds) {
    EXPECT_EQ((FilmClip{3, 5.5, 0, 2.5}.identity()), "3.000-5.500");
    EXPECT_EQ((FilmClip{0.0004, 10.0006, 0, 10}.identity()), "0.000-10.001");
    // Equality needs all four fields; identity only the source range.
    const FilmClip a{1, 2, 0, 1};
    const FilmClip b{1, 2, 5, 6};
    EXPECT_EQ(a.identity(), b.identity());
    EXPECT_NE(a, b);
    EXPECT_EQ(a, (FilmClip{1, 2, 0, 1}));
}

TEST(EditTimeline, CutOutputLengthsAddUp) {
    const auto k = keep(10, 0, 10, std::vector{range(3, 5)});
    EXPECT_NEAR(editDuration(k), 8, 0.02);
    EXPECT_NEAR(editDuration(keep(10, 1.5, 8.5, {})), 7, 1e-9);
    EXPECT_EQ(editDuration({}), 0.001);  // an empty edit still lasts a millisecond, never 0
}

TEST(EditTimeline, ClipsOfOneSplitStillCoverTheSlice) {
    const std::vector<TimelineSlice> k{{0, 10, 1}};
    const std::vector<double> splits{4};
    const auto c = clips(k, splits);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].sourceEnd, 4);
    EXPECT_EQ(c[1].sourceStart, 4);
    EXPECT_DOUBLE_EQ(editDuration(c), 10);
}

TEST(EditTimeline, DocumentWithoutTrimEndKeepsToTheEnd) {
    model::SessionEvents events;
    events.duration = 12;
    model::Project project;
    project.trimStart = 2;
    project.removedRanges = {range(4, 6)};
    EXPECT_EQ(effectiveKeep(events, project), (std::vector<TimelineSlice>{{2, 4, 1}, {6, 12, 1}}));
    project.trimEnd = 9;
    EXPECT_EQ(effectiveKeep(events, project), (std::vector<TimelineSlice>{{2, 4, 1}, {6, 9, 1}}));
}

TEST(EditTimeline, FileSlicesUseTheCaptureSlicesWhenPresent) {
    const std::vector<TimelineSlice> k{{1, 3, 1}};
    EXPECT_EQ(fileSlices(k, std::nullopt), k);
    EXPECT_EQ(fileSlices(k, std::vector<TimelineSlice>{}), k);
    EXPECT_EQ(fileSlices(k, std::vector<TimelineSlice>{{100, 110, 1}}),
              (std::vector<TimelineSlice>{{101, 103, 1}}));
}

TEST(EditTimeline, SplitPointNamesTheClipItDivides) {
    const std::vector<TimelineSlice> k{{0, 10, 1}};
    const std::vector<double> splits{3};
    const auto at = splitPoint(5, k, splits);
    ASSERT_TRUE(at);
    EXPECT_DOUBLE_EQ(at->source, 5);
    EXPECT_EQ(at->clip, (FilmClip{3, 10, 3, 10}));
}

TEST(EditTimeline, AddSplitRefusesDuplicatesAndKeepsOrder) {
    std::vector<double> splits{2, 6};
    EXPECT_TRUE(addSplit(splits, 4));
    EXPECT_EQ(splits, (std::vector<double>{2, 4, 6}));
    EXPECT_FALSE(addSplit(splits, 4.01));  // within kDuplicateSplit
    EXPECT_FALSE(addSplit(splits, 5.985));
    EXPECT_EQ(splits, (std::vector<double>{2, 4, 6}));
    EXPECT_TRUE(addSplit(splits, 6 + 2 * kDuplicateSplit));
    EXPECT_EQ(splits.back(), 6 + 2 * kDuplicateSplit);
}

TEST(EditTimeline, MappingsAllocateNothing) {
    const auto k = keep(100, 0, 100, std::vector{range(10, 20), range(30, 40), range(50, 60)});
    testing::AllocationScope scope;
    double sum = 0;
    for (double t = -1; t < 101; t += 0.25) {
        sum += toSource(t, k);
        sum += toOutput(t, k).value_or(0);
    }
    EXPECT_EQ(scope.count(), 0u);
    EXPECT_GT(sum, 0);
}

}  // namespace
}  // namespace vorpix::timeline
