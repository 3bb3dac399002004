#include "import/LenientJson.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "import/ImportCodes.h"

namespace vorpix::import::lenient {
namespace {

struct NumberCase {
    std::string json;
    std::optional<double> expected;
};

class LenientNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(LenientNumber, ReadsNumbersIntegersAndNumericStrings) {
    const Json value = Json::parse(GetParam().json);
    EXPECT_EQ(number(&value), GetParam().expected) << GetParam().json;
}

INSTANTIATE_TEST_SUITE_P(
    Values, LenientNumber,
    ::testing::Values(NumberCase{"12", 12.0}, NumberCase{"-3", -3.0},
                      NumberCase{"18446744073709551615", 1.8446744073709552e19}, NumberCase{"2.5", 2.5},
                      NumberCase{"1e3", 1000.0}, NumberCase{R"("12.5")", 12.5}, NumberCase{R"(" 7 ")", 7.0},
                      NumberCase{R"("+2")", 2.0}, NumberCase{R"("-0.25")", -0.25},
                      NumberCase{R"("1e-3")", 0.001},
                      // Not numbers: absent for the caller, who takes its default.
                      NumberCase{R"("")", std::nullopt}, NumberCase{R"("  ")", std::nullopt},
                      NumberCase{R"("abc")", std::nullopt}, NumberCase{R"("12px")", std::nullopt},
                      NumberCase{R"("+-1")", std::nullopt}, NumberCase{R"("++1")", std::nullopt},
                      NumberCase{R"("0x10")", std::nullopt}, NumberCase{R"("nan")", std::nullopt},
                      NumberCase{R"("inf")", std::nullopt}, NumberCase{R"("1e400")", std::nullopt},
                      NumberCase{"true", std::nullopt}, NumberCase{"null", std::nullopt},
                      NumberCase{"[1]", std::nullopt}, NumberCase{R"({"v":1})", std::nullopt}));

TEST(LenientNumber, NullPointerIsAbsent) {
    EXPECT_FALSE(number(nullptr).has_value());
}

TEST(LenientAccess, MemberOnlyOfObjects) {
    const Json object = Json::parse(R"({"a": 1, "b": {"c": "x"}})");
    const Json array = Json::parse(R"([1, 2])");
    EXPECT_EQ(number(member(&object, "a")), 1.0);
    EXPECT_EQ(member(&object, "missing"), nullptr);
    EXPECT_EQ(member(&array, "a"), nullptr);
    EXPECT_EQ(member(nullptr, "a"), nullptr);
    ASSERT_NE(string(member(member(&object, "b"), "c")), nullptr);
    EXPECT_EQ(*string(member(member(&object, "b"), "c")), "x");
    EXPECT_EQ(string(member(&object, "a")), nullptr);
    EXPECT_EQ(asObject(&array), nullptr);
    EXPECT_EQ(asArray(&object), nullptr);
}

TEST(LenientAccess, FirstElement) {
    const Json empty = Json::array();
    const Json two = Json::parse("[5, 6]");
    const Json object = Json::parse(R"({"a": 1})");
    EXPECT_EQ(firstElement(&empty), nullptr);
    EXPECT_EQ(firstElement(&object), nullptr);
    EXPECT_EQ(firstElement(nullptr), nullptr);
    EXPECT_EQ(number(firstElement(&two)), 5.0);
}

TEST(LenientAccess, BooleansAreOnlyJsonBooleans) {
    const Json t = true;
    const Json one = 1;
    const Json text = "true";
    EXPECT_EQ(boolean(&t), true);
    EXPECT_FALSE(boolean(&one).has_value());
    EXPECT_FALSE(boolean(&text).has_value());
}

TEST(LenientAccess, LowercaseIsAsciiOnly) {
    EXPECT_EQ(lowercase("DisPlay"), "display");
    EXPECT_EQ(lowercase("ÅÄÖ-X"), "ÅÄÖ-x");
}

TEST(LenientParse, SyntaxErrorCarriesTheParsersMessageOnOneLine) {
    const auto parsed = parse("{\"a\": \n [1, 2,, 3]}", "doc.json");
    ASSERT_FALSE(parsed.ok());
    EXPECT_EQ(parsed.error().domain, domain::kImport);
    EXPECT_EQ(parsed.error().code, import_code::kSyntax);
    EXPECT_EQ(parsed.error().message.rfind("doc.json: ", 0), 0u) << parsed.error().message;
    EXPECT_NE(parsed.error().message.find("parse error"), std::string::npos) << parsed.error().message;
    EXPECT_EQ(parsed.error().message.find('\n'), std::string::npos);
}

TEST(LenientParse, TruncatedAndEmptyDocumentsFail) {
    EXPECT_FALSE(parse("", "d").ok());
    EXPECT_FALSE(parse("{\"a\": [1, 2", "d").ok());
    EXPECT_FALSE(parse("{} {}", "d").ok());
}

TEST(LenientParse, DeepNestingIsRefusedBeforeParsing) {
    const std::string deep = std::string(kMaxNestingDepth + 1, '[') + std::string(kMaxNestingDepth + 1, ']');
    const auto refused = parse(deep, "d");
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().message.find("nested too deeply"), std::string::npos);

    const std::string allowed = std::string(kMaxNestingDepth, '[') + std::string(kMaxNestingDepth, ']');
    EXPECT_TRUE(parse(allowed, "d").ok());
    // Brackets inside strings do not count.
    EXPECT_TRUE(parse("\"" + std::string(500, '[') + "\"", "d").ok());
}

}  // namespace
}  // namespace vorpix::import::lenient
