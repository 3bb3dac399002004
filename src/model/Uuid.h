#pragma once

// 128-bit random identifiers. Written as 36-character hyphenated upper-case
// text ("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"); any letter case is accepted
// when parsing.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vorpix::model {

class Uuid {
public:
    // The nil identifier (all zeros). Records always hold a random one.
    Uuid() = default;

    // A fresh version-4 identifier. Thread-safe.
    static Uuid random();

    // Parses the 8-4-4-4-12 hyphenated form, hex digits in any case.
    static std::optional<Uuid> parse(std::string_view text);

    std::string toString() const;
    const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }

    auto operator<=>(const Uuid&) const = default;

private:
    std::array<std::uint8_t, 16> bytes_{};
};

}  // namespace vorpix::model

template <>
struct std::hash<vorpix::model::Uuid> {
    std::size_t operator()(const vorpix::model::Uuid& id) const noexcept;
};
