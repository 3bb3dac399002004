#pragma once

// What ffprobe says about a file, for checks on exported movies.

#include <cstdio>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

namespace vorpix::testing {

inline nlohmann::json ffprobe(const std::filesystem::path& file) {
    const std::string command =
        "ffprobe -v error -print_format json -show_streams -show_format '" + file.string() + "'";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        pclose(pipe);
    }
    return nlohmann::json::parse(output, nullptr, false);
}

// The first stream of `type` ("video", "audio"), or null.
inline nlohmann::json streamOf(const nlohmann::json& probe, const std::string& type) {
    if (!probe.contains("streams")) return nullptr;
    for (const auto& s : probe["streams"]) {
        if (s.value("codec_type", "") == type) return s;
    }
    return nullptr;
}

}  // namespace vorpix::testing
