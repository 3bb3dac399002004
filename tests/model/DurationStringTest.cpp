#include <gtest/gtest.h>

#include <limits>

#include "model/DurationString.h"

namespace vorpix::model {
namespace {

TEST(DurationString, FormatsMinutesBelowAnHourAndHoursFromThere) {
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {0, "0:00"},          {0.49, "0:00"},         {0.5, "0:01"},       {59.4, "0:59"},
        {59.5, "1:00"},       {61, "1:01"},           {3599.4, "59:59"},   {3599.5, "1:00:00"},
        {3600, "1:00:00"},    {3661, "1:01:01"},      {36000, "10:00:00"}, {-0.4, "0:00"},
        {-7, "0:00"},         {359999, "99:59:59"},   {360000, "100:00:00"},
        {std::numeric_limits<double>::quiet_NaN(), "0:00"},
        {-std::numeric_limits<double>::infinity(), "0:00"},
    };
    for (const auto& c : cases) EXPECT_EQ(durationString(c.seconds), c.text) << c.seconds;
}

TEST(DurationString, HugeValuesDoNotOverflow) {
    const std::string text = durationString(std::numeric_limits<double>::infinity());
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text[0], '-');
}

}  // namespace
}  // namespace vorpix::model
