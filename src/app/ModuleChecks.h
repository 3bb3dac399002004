#pragma once

#include <iosfwd>

namespace vorpix::app {

// "--test-edit": runs the built-in checks of the core modules in a fixed
// order; each prints its failures and one summary line. Returns the total
// number of failed cases (the mode itself always exits with status 0).
int runModuleChecks(std::ostream& out, std::ostream& err);

}  // namespace vorpix::app
