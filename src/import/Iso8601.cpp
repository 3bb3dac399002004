#include "import/Iso8601.h"

#include <cstdint>

namespace vorpix::import {

namespace {

// Reads exactly `count` decimal digits at `pos`, advancing it.
bool digits(std::string_view text, std::size_t& pos, int count, int& out) {
    if (pos + static_cast<std::size_t>(count) > text.size()) return false;
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char c = text[pos + static_cast<std::size_t>(i)];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += static_cast<std::size_t>(count);
    out = value;
    return true;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

}  // namespace

std::optional<std::chrono::system_clock::time_point> parseIso8601(std::string_view text) {
    using namespace std::chrono;

    std::size_t pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!digits(text, pos, 4, year) || !expect(text, pos, '-') || !digits(text, pos, 2, month) ||
        !expect(text, pos, '-') || !digits(text, pos, 2, day)) {
        return std::nullopt;
    }
    if (pos >= text.size() || (text[pos] != 'T' && text[pos] != 't')) return std::nullopt;
    ++pos;
    if (!digits(text, pos, 2, hour) || !expect(text, pos, ':') || !digits(text, pos, 2, minute) ||
        !expect(text, pos, ':') || !digits(text, pos, 2, second)) {
        return std::nullopt;
    }

    // Fractional seconds: any number of digits, kept to the nanosecond.
    std::int64_t fractionNs = 0;
    if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
        ++pos;
        const std::size_t first = pos;
        std::int64_t scale = 100'000'000;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            fractionNs += (text[pos] - '0') * scale;
            scale /= 10;
            ++pos;
        }
        if (pos == first) return std::nullopt;
    }

    int offsetMinutes = 0;
    if (pos < text.size()) {
        const char designator = text[pos++];
        if (designator == 'Z' || designator == 'z') {
            // UTC
        } else if (designator == '+' || designator == '-') {
            int offsetHours = 0, offsetMins = 0;
            if (!digits(text, pos, 2, offsetHours)) return std::nullopt;
            if (pos < text.size()) {
                if (text[pos] == ':') ++pos;
                if (!digits(text, pos, 2, offsetMins)) return std::nullopt;
            }
            if (offsetHours > 23 || offsetMins > 59) return std::nullopt;
            offsetMinutes = (offsetHours * 60 + offsetMins) * (designator == '-' ? -1 : 1);
        } else {
            return std::nullopt;
        }
    }
    if (pos != text.size()) return std::nullopt;

    const year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                              std::chrono::day{static_cast<unsigned>(day)}};
    if (!date.ok()) return std::nullopt;
    // 24:00:00 is not accepted; a leap second (60) rolls into the next minute.
    if (hour > 23 || minute > 59 || second > 60) return std::nullopt;

    const auto local =
        sys_days{date} + hours{hour} + minutes{minute} + seconds{second} + nanoseconds{fractionNs};
    return time_point_cast<system_clock::duration>(local - minutes{offsetMinutes});
}

}  // namespace vorpix::import
