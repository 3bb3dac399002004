// The case tables of the built-in checks, one test per case, and the
// report those checks print.

#include "timeline/EditTimelineChecks.h"

#include <gtest/gtest.h>

#include "support/Checks.h"

namespace vorpix::timeline::edit_timeline_checks {
namespace {

using vorpix::testing::caseName;

template <class Case>
class CaseTest : public ::testing::TestWithParam<Case> {
protected:
    void expectPasses() {
        const std::optional<std::string> failure = check(this->GetParam());
        EXPECT_FALSE(failure) << *failure;
    }
};

using KeepCaseTest = CaseTest<KeepCase>;
using MapCaseTest = CaseTest<MapCase>;
using ClipsCaseTest = CaseTest<ClipsCase>;
using ToFileCaseTest = CaseTest<ToFileCase>;
using DerivedCaseTest = CaseTest<DerivedCase>;
using SplitCaseTest = CaseTest<SplitCase>;
using RemapCaseTest = CaseTest<RemapCase>;
using AudioCaseTest = CaseTest<AudioCase>;

TEST_P(KeepCaseTest, Passes) {
    expectPasses();
}
TEST_P(MapCaseTest, Passes) {
    expectPasses();
}
TEST_P(ClipsCaseTest, Passes) {
    expectPasses();
}
TEST_P(ToFileCaseTest, Passes) {
    expectPasses();
}
TEST_P(DerivedCaseTest, Passes) {
    expectPasses();
}
TEST_P(SplitCaseTest, Passes) {
    expectPasses();
}
TEST_P(RemapCaseTest, Passes) {
    expectPasses();
}
TEST_P(AudioCaseTest, Passes) {
    expectPasses();
}

INSTANTIATE_TEST_SUITE_P(Keep, KeepCaseTest, ::testing::ValuesIn(keepCases()), caseName<KeepCase>);
INSTANTIATE_TEST_SUITE_P(Map, MapCaseTest, ::testing::ValuesIn(mapCases()), caseName<MapCase>);
INSTANTIATE_TEST_SUITE_P(Clips, ClipsCaseTest, ::testing::ValuesIn(clipsCases()), caseName<ClipsCase>);
INSTANTIATE_TEST_SUITE_P(ToFile, ToFileCaseTest, ::testing::ValuesIn(toFileCases()), caseName<ToFileCase>);
INSTANTIATE_TEST_SUITE_P(Derived, DerivedCaseTest, ::testing::ValuesIn(derivedCases()),
                         caseName<DerivedCase>);
INSTANTIATE_TEST_SUITE_P(Split, SplitCaseTest, ::testing::ValuesIn(splitCases()), caseName<SplitCase>);
INSTANTIATE_TEST_SUITE_P(Remap, RemapCaseTest, ::testing::ValuesIn(remapCases()), caseName<RemapCase>);
INSTANTIATE_TEST_SUITE_P(Audio, AudioCaseTest, ::testing::ValuesIn(audioCases()), caseName<AudioCase>);

TEST(EditTimelineChecks, RunChecksPassAndReportFailuresThenCount) {
    vorpix::testing::expectChecksPass(runChecks, kName);
    vorpix::testing::expectFailureReport(report, kName);
}

TEST(EditTimelineChecks, WrongExpectationIsReported) {
    KeepCase wrong = keepCases().front();
    wrong.expected = {{0, 10, 1}};
    const std::optional<std::string> failure = check(wrong);
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("expected [(0,10,1)]"), std::string::npos) << *failure;

    MapCase none = mapCases().front();  // a time in a cut
    none.expected = 3.5;
    EXPECT_TRUE(check(none));
}

}  // namespace
}  // namespace vorpix::timeline::edit_timeline_checks
