#include "import/LenientJson.h"

#include "import/ImportCodes.h"

#include <charconv>
#include <cmath>

namespace vorpix::import::lenient {

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
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"')
            inString = true;
        else if (c == '[' || c == '{') {
            if (++depth > deepest) deepest = depth;
            if (deepest > kMaxNestingDepth) return deepest;
        } else if (c == ']' || c == '}')
            --depth;
    }
    return deepest;
}

// Builds nothing; only keeps the parser's description of the first syntax
// error, so that a failed parse can be reported in the parser's own words
// without exceptions.
class ErrorCatcher final : public nlohmann::json_sax<Json> {
public:
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& ex) override {
        message = ex.what();
        return false;
    }

    std::string message;
};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

Result<Json> parse(std::string_view text, std::string_view documentName) {
    const std::string prefix = std::string(documentName) + ": ";
    if (nestingDepth(text) > kMaxNestingDepth) {
        return makeError(domain::kImport, import_code::kSyntax, prefix + "nested too deeply");
    }
    Json value = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (!value.is_discarded()) return value;

    ErrorCatcher catcher;
    Json::sax_parse(text.begin(), text.end(), &catcher);
    std::string message = catcher.message.empty() ? std::string("not valid JSON") : catcher.message;
    for (char& c : message) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return makeError(domain::kImport, import_code::kSyntax, prefix + message);
}

const Json* member(const Json* object, std::string_view key) {
    if (object == nullptr || !object->is_object()) return nullptr;
    const auto it = object->find(key);
    return it == object->end() ? nullptr : &*it;
}

const Json* asObject(const Json* value) {
    return value != nullptr && value->is_object() ? value : nullptr;
}

const Json* asArray(const Json* value) {
    return value != nullptr && value->is_array() ? value : nullptr;
}

const Json* firstElement(const Json* array) {
    if (array == nullptr || !array->is_array() || array->empty()) return nullptr;
    return &array->front();
}

std::optional<double> number(const Json* value) {
    if (value == nullptr) return std::nullopt;
    if (value->is_number()) {
        const double d = value->get<double>();
        return std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
    }
    if (!value->is_string()) return std::nullopt;

    std::string_view text = value->get_ref<const std::string&>();
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;  // "+-1"
    }
    if (text.empty()) return std::nullopt;
    double d = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
    if (ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(d)) return std::nullopt;
    return d;
}

std::optional<bool> boolean(const Json* value) {
    if (value == nullptr || !value->is_boolean()) return std::nullopt;
    return value->get<bool>();
}

const std::string* string(const Json* value) {
    if (value == nullptr || !value->is_string()) return nullptr;
    return &value->get_ref<const std::string&>();
}

std::string lowercase(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

}  // namespace vorpix::import::lenient
