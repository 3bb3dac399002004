#include "model/RecordingItem.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "model/SessionEvents.h"

namespace vorpix::model {
namespace fs = std::filesystem;

namespace {

std::chrono::system_clock::time_point fromTimespec(std::int64_t seconds, std::uint32_t nanoseconds) {
    return std::chrono::system_clock::time_point{std::chrono::duration_cast<std::chrono::system_clock::duration>(
        std::chrono::seconds{seconds} + std::chrono::nanoseconds{nanoseconds})};
}

}  // namespace

bool isScreenStudioPackage(const fs::path& folder) {
    fs::path name = folder.filename();
    if (name.empty()) name = folder.parent_path().filename();  // "pkg.screenstudio/"
    std::string extension = name.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".screenstudio";
}

std::optional<std::chrono::system_clock::time_point> creationDate(const fs::path& path) {
    struct statx info {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &info) != 0) return std::nullopt;
    if ((info.stx_mask & STATX_BTIME) != 0 && (info.stx_btime.tv_sec != 0 || info.stx_btime.tv_nsec != 0)) {
        return fromTimespec(info.stx_btime.tv_sec, info.stx_btime.tv_nsec);
    }
    if ((info.stx_mask & STATX_MTIME) != 0) return fromTimespec(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
    return std::nullopt;
}

Result<RecordingItem> itemFor(const fs::path& folder, const PackagePeek& peek) {
    if (isScreenStudioPackage(folder)) {
        if (!peek) {
            return makeError(domain::kImport, 1,
                             "Screen Studio packages cannot be opened by this build: " + folder.string());
        }
        return peek(folder);
    }

    auto events = readSessionEvents(folder);
    if (!events) return events.error();

    fs::path normalised = folder;
    if (!normalised.has_filename()) normalised = normalised.parent_path();  // trailing slash

    RecordingItem item;
    item.id = normalised.filename().string();
    item.folder = normalised;
    item.createdAt = creationDate(normalised).value_or(std::chrono::system_clock::now());
    item.duration = events->duration;
    item.pixelSize = Size{static_cast<double>(events->pixelWidth), static_cast<double>(events->pixelHeight)};
    item.source = RecordingSource::native;
    item.videoRelativePath = "raw.mov";
    return item;
}

}  // namespace vorpix::model
