#pragma once

// Expected failures as values. Every module returns Result<T> across its
// boundary instead of throwing; an Error carries a domain ("file", "json",
// "tavorin", "update", ...), a numeric code within that domain and a one-line
// English message fit to show the user.

#include <cassert>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace vorpix {

struct Error {
    std::string domain;
    int code = 0;
    std::string message;

    bool operator==(const Error&) const = default;
};

// Error domains used across modules. Codes inside each domain are listed
// where the error is made.
namespace domain {
inline constexpr const char* kFile = "file";      // code = errno of the failed call
inline constexpr const char* kJson = "json";      // see model/JsonCodes.h
inline constexpr const char* kTavorin = "tavorin";  // media and capture codes
inline constexpr const char* kVorpix = "vorpix";
inline constexpr const char* kUpdate = "update";
inline constexpr const char* kSelftest = "selftest";
inline constexpr const char* kImport = "import";
}  // namespace domain

template <class T>
class [[nodiscard]] Result {
    static_assert(!std::is_same_v<std::decay_t<T>, Error>, "Result<Error> is ambiguous");

public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT(implicit)
    Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}  // NOLINT(implicit)

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { assert(ok()); return std::get<0>(v_); }
    const T& value() const& { assert(ok()); return std::get<0>(v_); }
    T&& value() && { assert(ok()); return std::get<0>(std::move(v_)); }

    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Error& error() const { assert(!ok()); return std::get<1>(v_); }

    template <class U>
    T valueOr(U&& fallback) const& {
        return ok() ? std::get<0>(v_) : static_cast<T>(std::forward<U>(fallback));
    }

private:
    std::variant<T, Error> v_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)), ok_(false) {}  // NOLINT(implicit)

    bool ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    const Error& error() const { assert(!ok_); return error_; }

private:
    Error error_;
    bool ok_ = true;
};

inline Error makeError(std::string domain, int code, std::string message) {
    return Error{std::move(domain), code, std::move(message)};
}

}  // namespace vorpix
