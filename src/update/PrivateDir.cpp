#include "update/PrivateDir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

#include "update/Errors.h"

namespace vorpix::update {
namespace fs = std::filesystem;

Result<fs::path> makePrivateDir(const fs::path& parent, const std::string& prefix) {
    std::string pattern = (parent / (prefix + "XXXXXX")).native();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        const int error = errno;
        return makeError(domain::kUpdate, errc::kFiles,
                         "Could not create a folder in " + parent.native() + ": " + std::strerror(error));
    }
    return fs::path(buffer.data());
}

void removeTreeQuietly(const fs::path& path) {
    if (path.empty()) return;
    std::error_code ec;
    fs::remove_all(path, ec);
}

}  // namespace vorpix::update
