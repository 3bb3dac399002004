#include "support/Checks.h"

#include <sstream>
#include <vector>

namespace vorpix::testing {

void expectChecksPass(const std::function<int(std::ostream&)>& runChecks, std::string_view name) {
    std::ostringstream out;
    EXPECT_EQ(runChecks(out), 0) << out.str();
    EXPECT_EQ(out.str(), std::string(name) + " OK\n");
}

void expectFailureReport(
    const std::function<int(std::ostream&, std::string_view, std::span<const std::string>)>& report,
    std::string_view name) {
    const std::vector<std::string> failures{"first wrong", "second wrong", "third wrong"};
    std::ostringstream out;
    EXPECT_EQ(report(out, name, failures), 3);
    EXPECT_EQ(out.str(), "first wrong\nsecond wrong\nthird wrong\n" + std::string(name) + " FAIL (3)\n");
}

}  // namespace vorpix::testing
