#pragma once

// Comparison of dot-separated version numbers ("1.10.2").

#include <string_view>

namespace vorpix::update {

// True when version `a` is newer than version `b`. Each string is split at
// "."; pieces that are not base-10 integers are dropped ("2.0-beta" counts as
// 2), missing trailing numbers count as 0 (1.2 equals 1.2.0).
bool isNewer(std::string_view a, std::string_view b);

}  // namespace vorpix::update
