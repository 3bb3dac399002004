#pragma once

// Forgiving reads of JSON written by an outside program: a missing key, a
// value of an unexpected type or an unreadable number is simply "absent" and
// the caller takes its default. Private to the importer.

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

#include "model/Result.h"

namespace vorpix::import::lenient {

using Json = nlohmann::json;

// Packages nest a handful of levels; anything deeper is refused before
// parsing so hostile input cannot exhaust the stack.
inline constexpr int kMaxNestingDepth = 128;

// Parses one JSON document. A syntax error carries the parser's own message,
// prefixed with `documentName`; it is one line.
Result<Json> parse(std::string_view text, std::string_view documentName);

// `key` of `object`; null when `object` is null, not an object, or lacks it.
const Json* member(const Json* object, std::string_view key);

// The value itself when it is an object (or an array); else null.
const Json* asObject(const Json* value);
const Json* asArray(const Json* value);

// The first element of an array; null when absent or empty.
const Json* firstElement(const Json* array);

// A finite number given as a JSON number or as a numeric string ("12.5",
// " 3 "); none otherwise.
std::optional<double> number(const Json* value);

// A JSON boolean; none otherwise.
std::optional<bool> boolean(const Json* value);

// A JSON string; none otherwise.
const std::string* string(const Json* value);

// ASCII lower case; type names are compared case-insensitively.
std::string lowercase(std::string_view text);

}  // namespace vorpix::import::lenient
