#include "import/Iso8601.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "PackageBuilder.h"

namespace vorpix::import {
namespace {

using fixtures::utc;
using namespace std::chrono;

struct Accepted {
    std::string text;
    system_clock::time_point expected;
};

class Iso8601Accepts : public ::testing::TestWithParam<Accepted> {};

TEST_P(Iso8601Accepts, NamesTheInstant) {
    const auto parsed = parseIso8601(GetParam().text);
    ASSERT_TRUE(parsed.has_value()) << GetParam().text;
    EXPECT_EQ(*parsed, GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    DateTimes, Iso8601Accepts,
    ::testing::Values(Accepted{"2025-03-07T14:05:09Z", utc(2025, 3, 7, 14, 5, 9)},
                      Accepted{"2025-03-07T14:05:09.123Z", utc(2025, 3, 7, 14, 5, 9, 123)},
                      Accepted{"2025-03-07T14:05:09.1Z", utc(2025, 3, 7, 14, 5, 9, 100)},
                      // Nanosecond digits and beyond are read, not rejected.
                      Accepted{"2025-03-07T14:05:09.1239999999Z",
                               utc(2025, 3, 7, 14, 5, 9) +
                                   duration_cast<system_clock::duration>(nanoseconds{123'999'999})},
                      Accepted{"2025-03-07T14:05:09,5Z", utc(2025, 3, 7, 14, 5, 9, 500)},
                      Accepted{"2025-03-07t14:05:09z", utc(2025, 3, 7, 14, 5, 9)},
                      // Local time ahead of UTC: the instant is earlier.
                      Accepted{"2025-03-07T14:05:09+01:00", utc(2025, 3, 7, 13, 5, 9)},
                      Accepted{"2025-03-07T14:05:09+0130", utc(2025, 3, 7, 12, 35, 9)},
                      Accepted{"2025-03-07T14:05:09+02", utc(2025, 3, 7, 12, 5, 9)},
                      Accepted{"2025-03-07T14:05:09.250-05:30", utc(2025, 3, 7, 19, 35, 9, 250)},
                      Accepted{"2025-03-07T23:30:00-01:00", utc(2025, 3, 8, 0, 30, 0)},
                      Accepted{"2025-03-07T14:05:09", utc(2025, 3, 7, 14, 5, 9)},
                      Accepted{"2024-02-29T00:00:00Z", utc(2024, 2, 29, 0, 0, 0)},
                      Accepted{"2016-12-31T23:59:60Z", utc(2017, 1, 1, 0, 0, 0)},
                      Accepted{"1969-12-31T23:59:59Z", utc(1969, 12, 31, 23, 59, 59)}));

class Iso8601Refuses : public ::testing::TestWithParam<std::string> {};

TEST_P(Iso8601Refuses, ReturnsNone) {
    EXPECT_FALSE(parseIso8601(GetParam()).has_value()) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, Iso8601Refuses,
    ::testing::Values("", "2025-03-07", "2025-03-07T14:05Z", "2025-03-07 14:05:09Z", "2025-3-07T14:05:09Z",
                      "2025-03-07T14:05:09.Z", "2025-03-07T14:05:09ZZ", "2025-03-07T14:05:09+1",
                      "2025-03-07T14:05:09+01:0", "2025-03-07T14:05:09+24:00", "2025-03-07T14:05:09+01:60",
                      "2025-13-07T14:05:09Z", "2025-00-07T14:05:09Z", "2023-02-29T00:00:00Z",
                      "2025-04-31T00:00:00Z", "2025-03-07T24:00:00Z", "2025-03-07T14:60:00Z",
                      "2025-03-07T14:05:61Z", "2025-03-07T14:05:09 ", " 2025-03-07T14:05:09Z",
                      "2025-03-07T14:05:09.123Zjunk", "abcd-ef-ghTij:kl:mnZ",
                      std::string("2025-03-07T14:05:09\0Z", 21)));

}  // namespace
}  // namespace vorpix::import
