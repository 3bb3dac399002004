#include "model/JsonSupport.h"

#include <cmath>
#include <limits>

namespace vorpix::model::json_support {

namespace {

// Deepest nesting of arrays and objects in `text`, ignoring brackets inside
// strings. Stops counting once past the limit.
int nestingDepth(std::string_view text) {
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') inString = true;
        else if (c == '[' || c == '{') {
            if (++depth > deepest) deepest = depth;
            if (deepest > kMaxNestingDepth) return deepest;
        } else if (c == ']' || c == '}') --depth;
    }
    return deepest;
}

}  // namespace

std::optional<Error> nestingError(std::string_view text, std::string_view documentName) {
    if (nestingDepth(text) <= kMaxNestingDepth) return std::nullopt;
    return makeError(domain::kJson, json_code::kSyntax, std::string(documentName) + ": nested too deeply");
}

Result<Json> parse(std::string_view text, std::string_view documentName) {
    if (auto tooDeep = nestingError(text, documentName)) return *tooDeep;
    Json value = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (value.is_discarded()) {
        return makeError(domain::kJson, json_code::kSyntax, std::string(documentName) + ": not valid JSON");
    }
    return value;
}

void Decoder::fail(int code, const std::string& path, std::string_view what) {
    if (code_ != 0) return;
    code_ = code;
    message_ = document_ + ": \"" + path + "\" " + std::string(what);
}

Error Decoder::error() const { return makeError(domain::kJson, code_, message_); }

const Json* Decoder::member(const Json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

bool Decoder::value(const Json& v, double& out, const std::string& path) {
    if (!v.is_number()) {
        fail(json_code::kWrongType, path, "must be a number");
        return false;
    }
    const double d = v.get<double>();
    if (!std::isfinite(d)) {
        fail(json_code::kBadValue, path, "is out of range");
        return false;
    }
    out = d;
    return true;
}

bool Decoder::value(const Json& v, std::int64_t& out, const std::string& path) {
    if (v.is_number_unsigned()) {
        const auto u = v.get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            fail(json_code::kBadValue, path, "is out of range");
            return false;
        }
        out = static_cast<std::int64_t>(u);
        return true;
    }
    if (v.is_number_integer()) {
        out = v.get<std::int64_t>();
        return true;
    }
    if (v.is_number_float()) {
        // 1920.0 is a whole number written with a fraction part; 1920.5 is not.
        const double d = v.get<double>();
        if (!std::isfinite(d) || d != std::trunc(d)) {
            fail(json_code::kBadValue, path, "must be a whole number");
            return false;
        }
        if (d < -9.2233720368547758e18 || d >= 9.2233720368547758e18) {
            fail(json_code::kBadValue, path, "is out of range");
            return false;
        }
        out = static_cast<std::int64_t>(d);
        return true;
    }
    fail(json_code::kWrongType, path, "must be a whole number");
    return false;
}

bool Decoder::value(const Json& v, bool& out, const std::string& path) {
    if (!v.is_boolean()) {
        fail(json_code::kWrongType, path, "must be true or false");
        return false;
    }
    out = v.get<bool>();
    return true;
}

bool Decoder::value(const Json& v, std::string& out, const std::string& path) {
    if (!v.is_string()) {
        fail(json_code::kWrongType, path, "must be a string");
        return false;
    }
    out = v.get<std::string>();
    return true;
}

bool Decoder::value(const Json& v, Uuid& out, const std::string& path) {
    if (!v.is_string()) {
        fail(json_code::kWrongType, path, "must be a string");
        return false;
    }
    const auto id = Uuid::parse(v.get_ref<const std::string&>());
    if (!id) {
        fail(json_code::kBadValue, path, "is not a UUID");
        return false;
    }
    out = *id;
    return true;
}

double Encoder::number(double v, const std::string& path) {
    if (!std::isfinite(v) && problem_.empty()) problem_ = "\"" + path + "\" is not a finite number";
    return v;
}

Error Encoder::error() const {
    return makeError(domain::kJson, json_code::kNotEncodable, document_ + ": cannot write: " + problem_);
}

}  // namespace vorpix::model::json_support
