#pragma once

// Helpers for the modules' built-in checks: every check prints its failures,
// one a line, then "<name> OK" or "<name> FAIL (<count>)".

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace vorpix::testing {

// Expects `runChecks` to pass and print nothing but "<name> OK".
void expectChecksPass(const std::function<int(std::ostream&)>& runChecks, std::string_view name);

// Expects `report` to print three failures, one a line, then
// "<name> FAIL (3)", and to return 3.
void expectFailureReport(
    const std::function<int(std::ostream&, std::string_view, std::span<const std::string>)>& report,
    std::string_view name);

// Test names for table cases from their `name` member: letters and digits
// kept, anything else as '_', then the case's index.
template <class Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    std::string name;
    for (char ch : std::string_view(info.param.name))
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name + "_" + std::to_string(info.index);
}

}  // namespace vorpix::testing
