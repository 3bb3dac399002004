#pragma once

// Command-line modes of `vorpix`. They run without a display and never build
// widgets; results go to standard output, problems to standard error.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace vorpix::app {

// Runs the mode named by `args` (argv without the program name) and returns
// the process exit status, or none when no mode applies and the windowed
// application should start.
std::optional<int> runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

std::string usageText();

}  // namespace vorpix::app
