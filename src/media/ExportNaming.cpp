#include "media/ExportNaming.h"

#include <ctime>

namespace vorpix::media {

std::filesystem::path exportsFolder(const std::filesystem::path& movies) {
    const std::filesystem::path folder = movies / kExportsFolderName;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder;
}

namespace {

// The folder's name without its extension. Native folders are named after
// their start time ("2025-03-07 14.05.09"): a dot followed by digits only is
// the seconds, not an extension.
std::string folderTitle(const std::filesystem::path& folder) {
    const std::filesystem::path name =
        folder.filename().empty() ? folder.parent_path().filename() : folder.filename();
    const std::string extension = name.extension().string();
    const bool digits =
        extension.size() > 1 && extension.find_first_not_of("0123456789", 1) == std::string::npos;
    return digits ? name.string() : name.stem().string();
}

}  // namespace

std::string exportFileName(const std::optional<std::string>& displayName, const std::filesystem::path& folder,
                           std::chrono::system_clock::time_point now) {
    std::string name = displayName && !displayName->empty() ? *displayName : folderTitle(folder);
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H.%M", &local);
    name += ' ';
    name += stamp;
    name += ".mp4";
    return name;
}

}  // namespace vorpix::media
