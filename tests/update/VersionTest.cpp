#include "update/Version.h"

#include <gtest/gtest.h>

namespace vorpix::update {
namespace {

struct VersionCase {
    const char* a;
    const char* b;
    bool newer;

    friend void PrintTo(const VersionCase& c, std::ostream* out) { *out << c.a << " vs " << c.b; }
};

class IsNewerTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(IsNewerTest, ComparesNumberByNumber) {
    const VersionCase& c = GetParam();
    EXPECT_EQ(isNewer(c.a, c.b), c.newer) << c.a << " vs " << c.b;
}

INSTANTIATE_TEST_SUITE_P(
    Table, IsNewerTest,
    ::testing::Values(
        VersionCase{"1.2.0", "1.2", false},                                    // missing numbers count as 0
        VersionCase{"1.2", "1.2.0", false}, VersionCase{"1.10", "1.9", true},  // numeric, not text
        VersionCase{"1.9", "1.10", false}, VersionCase{"0.0.1", "0", true},    // no bundle version
        VersionCase{"0", "0", false}, VersionCase{"2.0-beta", "2", false},     // "0-beta" is dropped
        VersionCase{"2.0-beta", "1.9", true}, VersionCase{"2.1-beta.1", "2.0.9", true},
        VersionCase{"1.2.3.4", "1.2.3", true}, VersionCase{"1.2.3", "1.2.3.4", false},
        VersionCase{"", "0", false}, VersionCase{"x.y", "0", false},
        VersionCase{"010", "9", true},     // leading zeros are still base 10
        VersionCase{"1..2", "1.1", true},  // the empty piece is dropped: 1.2
        VersionCase{"-1", "0", false}, VersionCase{"1.+2", "1.1", false},
        VersionCase{"18446744073709551615", "18446744073709551614", true}));

}  // namespace
}  // namespace vorpix::update
