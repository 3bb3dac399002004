#include "model/OutputCheck.h"

#include <cerrno>
#include <string>

#include "model/RecordingItem.h"
#include "model/SessionEvents.h"

namespace vorpix::model {
namespace fs = std::filesystem;

namespace {

Error refusal(int code, const fs::path& target, const std::string& why) {
    return makeError(domain::kFile, code, "Could not write " + target.string() + ": " + why);
}

}  // namespace

Result<void> checkOutputFile(const fs::path& target) {
    if (target.empty()) return makeError(domain::kFile, EINVAL, "No output file was given.");
    std::error_code ec;
    if (!target.has_filename() || fs::is_directory(target, ec)) {
        return refusal(EISDIR, target, "it is a folder; name a file.");
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const auto status = fs::status(folder, ec);
    if (!fs::exists(status)) return refusal(ENOENT, target, "the folder " + folder.string() + " does not exist.");
    if (!fs::is_directory(status)) return refusal(ENOTDIR, target, folder.string() + " is not a folder.");
    return {};
}

Result<void> checkOutputOutsideRecordings(const fs::path& target, const std::vector<fs::path>& protectedFiles) {
    if (auto ok = checkOutputFile(target); !ok) return ok;
    std::error_code ec;
    if (fs::exists(target, ec)) {
        for (const auto& file : protectedFiles) {
            if (fs::equivalent(target, file, ec)) {
                return makeError(domain::kFile, EPERM,
                                 "Will not write " + target.string() + ": it is one of the recording's files.");
            }
        }
    }
    // The folder as the file system sees it, so that "..", symbolic links and
    // relative names all lead to the same recording folder.
    const fs::path folder = fs::weakly_canonical(fs::absolute(target, ec).parent_path(), ec);
    for (fs::path at = folder; !at.empty(); at = at.parent_path()) {
        if (isScreenStudioPackage(at)) {
            return makeError(domain::kFile, EPERM,
                             "Will not write " + target.string() + ": it is inside the Screen Studio package " +
                                 at.string() + ".");
        }
        if (fs::exists(at / kEventsFileName, ec)) {
            return makeError(domain::kFile, EPERM,
                             "Will not write " + target.string() + ": it is inside the recording folder " +
                                 at.string() + ".");
        }
        if (at == at.parent_path()) break;
    }
    return {};
}

}  // namespace vorpix::model
