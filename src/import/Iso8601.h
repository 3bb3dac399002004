#pragma once

// ISO 8601 date-times as written by the outside recorder and by JavaScript's
// Date.toISOString(): "2025-03-07T14:05:09Z", with or without fractional
// seconds ("…09.123Z"), with a time-zone designator "Z", "±hh:mm", "±hhmm"
// or "±hh". A date-time without a designator is taken as UTC.

#include <chrono>
#include <optional>
#include <string_view>

namespace vorpix::import {

// The instant named by `text`, or none when it is not a complete, valid
// ISO 8601 date-time (extended format, 'T' between date and time). Seconds
// may be 60 (a leap second; it lands on the next minute). Pure; thread-safe.
std::optional<std::chrono::system_clock::time_point> parseIso8601(std::string_view text);

}  // namespace vorpix::import
