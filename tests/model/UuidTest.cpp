#include <gtest/gtest.h>

#include <set>

#include "model/Uuid.h"

namespace vorpix::model {
namespace {

TEST(Uuid, RandomIsVersion4InUpperCaseHyphenatedForm) {
    std::set<Uuid> seen;
    for (int i = 0; i < 2000; ++i) {
        const Uuid id = Uuid::random();
        const std::string text = id.toString();
        ASSERT_EQ(text.size(), 36u);
        for (std::size_t k = 0; k < text.size(); ++k) {
            if (k == 8 || k == 13 || k == 18 || k == 23) {
                ASSERT_EQ(text[k], '-') << text;
            } else {
                ASSERT_TRUE((text[k] >= '0' && text[k] <= '9') || (text[k] >= 'A' && text[k] <= 'F')) << text;
            }
        }
        EXPECT_EQ(text[14], '4') << text;
        EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 2000u);
}

TEST(Uuid, ParsesAnyCaseAndPrintsUpperCase) {
    const auto lower = Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    const auto mixed = Uuid::parse("E621e1F8-c36C-495a-93Fc-0C247a3E6e5F");
    ASSERT_TRUE(lower && mixed);
    EXPECT_EQ(*lower, *mixed);
    EXPECT_EQ(lower->toString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    const Uuid id = Uuid::random();
    EXPECT_EQ(Uuid::parse(id.toString()), id);
}

TEST(Uuid, RefusesMalformedText) {
    for (const char* text : {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
                             "E621E1F8-C36C-495A-93FC-0C247A3E6E5F0", "G621E1F8-C36C-495A-93FC-0C247A3E6E5F",
                             "E621E1F8_C36C-495A-93FC-0C247A3E6E5F", "{E621E1F8-C36C-495A-93FC-0C247A3E6E5}",
                             "E621E1F8-C36C-495A-93FC -C247A3E6E5F", "E621E1F-8C36C-495A-93FC-0C247A3E6E5F"}) {
        EXPECT_FALSE(Uuid::parse(text)) << text;
    }
}

TEST(Uuid, HashSeparatesDifferentIds) {
    std::hash<Uuid> hash;
    EXPECT_EQ(hash(*Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F")),
              hash(*Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f")));
    EXPECT_NE(hash(Uuid::random()), hash(Uuid::random()));
}

}  // namespace
}  // namespace vorpix::model
