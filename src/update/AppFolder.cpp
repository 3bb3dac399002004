#include "update/AppFolder.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <string_view>
#include <system_error>
#include <vector>

namespace vorpix::update {
namespace fs = std::filesystem;

namespace {

constexpr int kMaxSearchDepth = 8;

bool isRegularFile(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() == fs::file_type::regular;
}

std::optional<fs::path> findAppAt(const fs::path& folder, int depth) {
    if (isRegularFile(folder / kProgramPath)) return folder;
    if (depth >= kMaxSearchDepth) return std::nullopt;
    std::error_code ec;
    std::vector<fs::path> children;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->symlink_status(ec).type() == fs::file_type::directory) children.push_back(it->path());
    }
    std::sort(children.begin(), children.end());
    for (const fs::path& child : children) {
        if (auto found = findAppAt(child, depth + 1)) return found;
    }
    return std::nullopt;
}

}  // namespace

std::optional<fs::path> appFolderOf(const fs::path& executable) {
    std::error_code ec;
    const fs::path resolved = fs::canonical(executable, ec);
    if (ec || resolved.parent_path().filename() != "bin") return std::nullopt;
    return resolved.parent_path().parent_path();
}

std::optional<fs::path> findApp(const fs::path& folder) {
    return findAppAt(folder, 0);
}

bool isSelfUpdatable(const fs::path& appFolder) {
    std::error_code ec;
    const fs::path folder = fs::weakly_canonical(appFolder, ec);
    if (ec || folder.empty() || !folder.is_absolute()) return false;
    constexpr std::array<std::string_view, 4> kSystemPrefixes{"/", "/usr", "/usr/local", "/opt"};
    if (std::find(kSystemPrefixes.begin(), kSystemPrefixes.end(), folder.native()) != kSystemPrefixes.end()) {
        return false;
    }
    if (!isRegularFile(folder / kSelfUpdateMarkerPath)) return false;
    return access(folder.c_str(), W_OK) == 0 && access(folder.parent_path().c_str(), W_OK) == 0;
}

}  // namespace vorpix::update
