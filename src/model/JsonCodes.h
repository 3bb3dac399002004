#pragma once

// Codes of errors in domain "json", made by the document readers and writers.

namespace vorpix::model::json_code {
inline constexpr int kSyntax = 1;       // not JSON, truncated, or nested too deeply
inline constexpr int kMissingKey = 2;   // a required key is absent or null
inline constexpr int kWrongType = 3;    // a key holds the wrong JSON type
inline constexpr int kBadValue = 4;     // fraction in an integer, unknown case, bad UUID, out of range
inline constexpr int kNotEncodable = 5; // a non-finite number or invalid UTF-8 on write
}  // namespace vorpix::model::json_code
