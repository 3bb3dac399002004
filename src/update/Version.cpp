#include "update/Version.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <vector>

namespace vorpix::update {
namespace {

std::vector<std::uint64_t> numbers(std::string_view version) {
    std::vector<std::uint64_t> out;
    while (true) {
        const auto dot = version.find('.');
        const std::string_view piece = version.substr(0, dot);
        std::uint64_t n = 0;
        const auto [end, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), n);
        if (!piece.empty() && ec == std::errc() && end == piece.data() + piece.size()) out.push_back(n);
        if (dot == std::string_view::npos) break;
        version.remove_prefix(dot + 1);
    }
    return out;
}

}  // namespace

bool isNewer(std::string_view a, std::string_view b) {
    const auto x = numbers(a);
    const auto y = numbers(b);
    for (std::size_t i = 0; i < std::max(x.size(), y.size()); ++i) {
        const std::uint64_t xi = i < x.size() ? x[i] : 0;
        const std::uint64_t yi = i < y.size() ? y[i] : 0;
        if (xi != yi) return xi > yi;
    }
    return false;
}

}  // namespace vorpix::update
