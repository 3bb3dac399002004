#pragma once

// Synthetic Screen Studio packages and recording folders for the importer's
// tests, built in temporary folders from the package layout the importer
// reads. No real package is ever used.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>

#include "model/SessionEvents.h"
#include "support/TempFolder.h"

namespace vorpix::import::fixtures {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// Milliseconds since 1970 of the screen session in the standard package.
inline constexpr double kUnixStartMs = 1'700'000'000'000.0;

using vorpix::testing::TempFolder;
using vorpix::testing::writeFile;

// A file of `size` bytes standing in for a movie or an audio file.
inline void writeMedia(const fs::path& path, std::size_t size) {
    writeFile(path, std::string(size, 'm'));
}

// The display session of the standard package: 1440 x 900 points at
// recordingScale 1, 30 s, screen movie "screen.mp4".
inline Json displaySession() {
    return Json{{"outputFilename", "screen.mp4"},
                {"bounds", {{"x", 0}, {"y", 0}, {"width", 1440}, {"height", 900}}},
                {"recordingScale", 1},
                {"unixStartMs", kUnixStartMs},
                {"durationMs", 30000}};
}

inline Json recorder(std::string_view type, Json session) {
    return Json{{"type", type}, {"sessions", Json::array({std::move(session)})}};
}

inline Json metadataWith(Json recorders) {
    return Json{{"recorders", std::move(recorders)}};
}

class PackageBuilder {
public:
    // An empty package folder with its "recording" subfolder.
    explicit PackageBuilder(fs::path package) : path_(std::move(package)) {
        fs::create_directories(path_ / "recording");
    }

    // The standard package: one display recorder and a complete screen movie.
    static PackageBuilder standard(const fs::path& package) {
        PackageBuilder builder(package);
        builder.metadata(metadataWith(Json::array({recorder("display", displaySession())})))
            .media("screen.mp4", 9000);
        return builder;
    }

    PackageBuilder& metadata(const Json& json) { return metadataText(json.dump()); }
    PackageBuilder& metadataText(std::string_view text) { return file("recording/metadata.json", text); }
    PackageBuilder& project(const Json& json) { return file("project.json", json.dump()); }
    PackageBuilder& meta(const Json& json) { return file("meta.json", json.dump()); }
    PackageBuilder& media(const std::string& name, std::size_t size) {
        writeMedia(path_ / "recording" / name, size);
        return *this;
    }
    PackageBuilder& mouseMoves(const Json& json, const std::string& name = "mousemoves-0.json") {
        return file("recording/" + name, json.dump());
    }
    PackageBuilder& mouseClicks(const Json& json, const std::string& name = "mouseclicks-0.json") {
        return file("recording/" + name, json.dump());
    }
    PackageBuilder& file(const std::string& relative, std::string_view text) {
        writeFile(path_ / relative, text);
        return *this;
    }

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Every entry below `root` with its kind, bytes (files), link target
// (symbolic links) and modification time: what "never written" compares.
struct EntryState {
    char kind = '?';  // 'd' folder, 'f' file, 'l' link
    std::string content;
    fs::file_time_type modified;
    bool operator==(const EntryState&) const = default;
};

inline std::map<std::string, EntryState> snapshot(const fs::path& root) {
    std::map<std::string, EntryState> entries;
    const auto record = [&entries, &root](const fs::path& path) {
        EntryState state;
        const auto status = fs::symlink_status(path);
        if (fs::is_symlink(status)) {
            state.kind = 'l';
            state.content = fs::read_symlink(path).string();
        } else if (fs::is_directory(status)) {
            state.kind = 'd';
            state.modified = fs::last_write_time(path);
        } else {
            state.kind = 'f';
            std::ifstream in(path, std::ios::binary);
            state.content.assign(std::istreambuf_iterator<char>(in), {});
            state.modified = fs::last_write_time(path);
        }
        entries[fs::relative(path, root.parent_path()).generic_string()] = state;
    };
    record(root);
    for (const auto& entry : fs::recursive_directory_iterator(root)) record(entry.path());
    return entries;
}

inline std::chrono::system_clock::time_point utc(int year, unsigned month, unsigned day, int hour, int minute,
                                                 int second, int millisecond = 0) {
    using namespace std::chrono;
    return time_point_cast<system_clock::duration>(
        sys_days{std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day}} + hours{hour} +
        minutes{minute} + seconds{second} + milliseconds{millisecond});
}

}  // namespace vorpix::import::fixtures
