#include "model/FolderReference.h"

#include <algorithm>
#include <cerrno>

namespace vorpix::model {

namespace fs = std::filesystem;

namespace {

// The reference as it may be shown on one line.
std::string printable(std::string_view text) {
    std::string result;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        result.push_back(u < 0x20 || u == 0x7f ? '?' : c);
    }
    return result;
}

}  // namespace

bool staysInsideLexically(std::string_view reference) {
    if (reference.empty() || reference.find('\0') != std::string_view::npos) return false;
    const fs::path p{std::string(reference)};
    if (p.has_root_name() || p.has_root_directory()) return false;
    return std::none_of(p.begin(), p.end(), [](const fs::path& part) { return part == ".."; });
}

Result<fs::path> resolveInside(const fs::path& folder, std::string_view reference) {
    const auto outside = [&] {
        // Appended piece by piece: GCC 12 warns falsely about a literal + string chain here.
        std::string message = "\"";
        message += printable(reference);
        message += "\" lies outside ";
        message += folder.filename().string();
        message += "; it is ignored";
        return makeError(domain::kFile, EACCES, message);
    };
    if (!staysInsideLexically(reference)) return outside();
    std::error_code ec;
    fs::path root = fs::weakly_canonical(folder, ec);
    if (ec) root = folder.lexically_normal();
    const fs::path full = folder / std::string(reference);
    const fs::path real = fs::weakly_canonical(full, ec);
    if (ec) return full;
    // Compare whole path parts; a trailing empty part of the root ("dir/") matches anything.
    auto rootEnd = root.end();
    if (rootEnd != root.begin() && std::prev(rootEnd)->empty()) --rootEnd;
    const auto r = std::mismatch(root.begin(), rootEnd, real.begin(), real.end()).first;
    if (r != rootEnd) return outside();
    return full;
}

std::vector<std::string> referencesOutside(const fs::path& folder, const SessionEvents& events,
                                           const Project& project) {
    std::vector<std::string> lines;
    const auto check = [&](std::string_view what, const std::string& reference) {
        if (auto at = resolveInside(folder, reference); !at) lines.push_back(std::string(what) + " " + at.error().message);
    };
    if (events.webcamFile) check("events.json: webcam movie", *events.webcamFile);
    for (const std::string& name : events.extraAudioFiles.value_or(std::vector<std::string>{}))
        check("events.json: audio file", name);
    for (const AudioClip& clip : project.clips) check("project.json: audio clip", clip.fileName);
    return lines;
}

}  // namespace vorpix::model
