// The case tables of the camera module's built-in checks, one test per case,
// and the reports those checks print.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "camera/CameraTimelineChecks.h"
#include "camera/CheckReport.h"
#include "camera/ZoomSegmentChecks.h"
#include "support/Checks.h"

namespace vorpix::camera {
namespace {

using vorpix::testing::caseName;

class ZoomSegmentCase : public ::testing::TestWithParam<zoom_segment_checks::Case> {};
class CameraCase : public ::testing::TestWithParam<camera_timeline_checks::CameraCase> {};
class CursorCase : public ::testing::TestWithParam<camera_timeline_checks::CursorCase> {};

TEST_P(ZoomSegmentCase, Passes) {
    const auto failure = zoom_segment_checks::check(GetParam());
    EXPECT_FALSE(failure) << *failure;
}
TEST_P(CameraCase, Passes) {
    EXPECT_THAT(camera_timeline_checks::check(GetParam()), ::testing::IsEmpty());
}
TEST_P(CursorCase, Passes) {
    EXPECT_THAT(camera_timeline_checks::check(GetParam()), ::testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Table, ZoomSegmentCase, ::testing::ValuesIn(zoom_segment_checks::cases()),
                         caseName<zoom_segment_checks::Case>);
INSTANTIATE_TEST_SUITE_P(Table, CameraCase, ::testing::ValuesIn(camera_timeline_checks::cameraCases()),
                         caseName<camera_timeline_checks::CameraCase>);
INSTANTIATE_TEST_SUITE_P(Table, CursorCase, ::testing::ValuesIn(camera_timeline_checks::cursorCases()),
                         caseName<camera_timeline_checks::CursorCase>);

TEST(CameraChecks, RunChecksPassAndReportFailuresThenCount) {
    vorpix::testing::expectChecksPass(zoom_segment_checks::runChecks, zoom_segment_checks::kName);
    vorpix::testing::expectChecksPass(camera_timeline_checks::runChecks, camera_timeline_checks::kName);
    vorpix::testing::expectFailureReport(reportChecks, camera_timeline_checks::kName);
}

TEST(CameraChecks, WrongExpectationsAreReported) {
    zoom_segment_checks::Case zoom = zoom_segment_checks::cases()[3];  // one click at 5 s
    zoom.expected.front().end = 6.5;
    ASSERT_TRUE(zoom_segment_checks::check(zoom));
    EXPECT_THAT(*zoom_segment_checks::check(zoom), ::testing::HasSubstr("expected [(4.55-6.5"));

    camera_timeline_checks::CameraCase camera = camera_timeline_checks::cameraCases().front();
    camera.probes.push_back({camera_timeline_checks::Quantity::scale, 3.0, 1, 1.5});
    camera.probes.push_back({camera_timeline_checks::Quantity::sampleCount, std::nullopt, 10, 10});
    EXPECT_EQ(camera_timeline_checks::check(camera).size(), 2u);

    camera_timeline_checks::CursorCase cursor = camera_timeline_checks::cursorCases().front();  // empty path
    cursor.queries.push_back({0, std::nullopt, Point{0, 0}, {}});
    EXPECT_EQ(camera_timeline_checks::check(cursor).size(), 1u);
}

}  // namespace
}  // namespace vorpix::camera
