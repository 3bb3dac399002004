#pragma once

// Private helpers of the document codecs: strict value decoding with a path
// for the error message, and a nesting-depth guard. Not installed for other
// modules; they use the typed encode/decode functions.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/JsonCodes.h"
#include "model/Result.h"
#include "model/Uuid.h"

namespace vorpix::model::json_support {

using Json = nlohmann::json;

// Our documents nest four levels at most; anything deeper is refused before
// parsing so hostile input cannot exhaust the stack or the heap.
inline constexpr int kMaxNestingDepth = 32;

// Parses `text` as one JSON value; the document name starts the message.
Result<Json> parse(std::string_view text, std::string_view documentName);

// The refusal of `parse` for text nested deeper than kMaxNestingDepth, for
// readers that stream instead of building a tree; none when it is shallow.
std::optional<Error> nestingError(std::string_view text, std::string_view documentName);

// Collects the first decoding problem; later problems are ignored so the
// message names the earliest one.
class Decoder {
public:
    explicit Decoder(std::string documentName) : document_(std::move(documentName)) {}

    bool failed() const { return code_ != 0; }
    void fail(int code, const std::string& path, std::string_view what);
    Error error() const;
    // Forgets the problem, for readers that go on after a field they default.
    void reset() {
        code_ = 0;
        message_.clear();
    }

    // Typed leaf values. Return false (and record the problem) on mismatch.
    bool value(const Json& v, double& out, const std::string& path);
    bool value(const Json& v, std::int64_t& out, const std::string& path);
    bool value(const Json& v, bool& out, const std::string& path);
    bool value(const Json& v, std::string& out, const std::string& path);
    bool value(const Json& v, Uuid& out, const std::string& path);

    // Arrays of anything `value` (or a record overload found by the caller's
    // `decodeElement`) can read.
    template <class T, class Element>
    bool array(const Json& v, std::vector<T>& out, const std::string& path, Element decodeElement) {
        if (!v.is_array()) {
            fail(json_code::kWrongType, path, "must be an array");
            return false;
        }
        std::vector<T> result;
        result.reserve(v.size());
        for (std::size_t i = 0; i < v.size(); ++i) {
            T element{};
            if (!decodeElement(v[i], element, path + "[" + std::to_string(i) + "]")) return false;
            result.push_back(std::move(element));
        }
        out = std::move(result);
        return true;
    }

    // The member `key` of object `object`; null when absent.
    static const Json* member(const Json& object, const char* key);

    // A required key: absent or null fails.
    template <class Read>
    bool required(const Json& object, const char* key, const std::string& path, Read read) {
        const Json* v = member(object, key);
        if (v == nullptr || v->is_null()) {
            fail(json_code::kMissingKey, join(path, key), "is missing");
            return false;
        }
        return read(*v, join(path, key));
    }

    // An optional key: absent or null leaves the default in place.
    template <class Read>
    bool optional(const Json& object, const char* key, const std::string& path, Read read) {
        const Json* v = member(object, key);
        if (v == nullptr || v->is_null()) return !failed();
        return read(*v, join(path, key));
    }

    static std::string join(const std::string& path, const char* key) {
        return path.empty() ? std::string(key) : path + "." + key;
    }

private:
    std::string document_;
    int code_ = 0;
    std::string message_;
};

// Guards numbers on the way out: JSON has no NaN or infinity.
class Encoder {
public:
    explicit Encoder(std::string documentName) : document_(std::move(documentName)) {}
    double number(double v, const std::string& path);
    bool failed() const { return !problem_.empty(); }
    Error error() const;
    // Serialises; invalid UTF-8 in a string becomes an error, not an exception.
    template <class J>
    Result<std::string> dump(const J& value, int indent) {
        if (failed()) return error();
        try {
            std::string text = value.dump(indent);
            if (indent >= 0) text.push_back('\n');
            return text;
        } catch (const nlohmann::json::exception&) {
            problem_ = "contains text that is not valid UTF-8";
            return error();
        }
    }

private:
    std::string document_;
    std::string problem_;
};

}  // namespace vorpix::model::json_support
