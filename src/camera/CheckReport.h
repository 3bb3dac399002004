#pragma once

// The report format of the camera module's built-in checks: the failures,
// one a line, then "<name> OK" or "<name> FAIL (<count>)".

#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace vorpix::camera {

// Returns the number of failures.
int reportChecks(std::ostream& out, std::string_view name, std::span<const std::string> failures);

}  // namespace vorpix::camera
