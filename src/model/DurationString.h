#pragma once

#include <string>

namespace vorpix::model {

// Whole seconds, rounded half away from zero and never negative:
// "m:ss", or "h:mm:ss" from one hour on. Not-a-number reads as 0.
std::string durationString(double seconds);

}  // namespace vorpix::model
